#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sheet/NumberFormat.h"

namespace vip::sheet {
namespace {

const char* name(NumberStyle style) {
  switch (style) {
    case NumberStyle::Date:
      return "Date";
    case NumberStyle::Currency:
      return "Currency";
    case NumberStyle::General:
      break;
  }
  return "General";
}

TEST(NumberFormat, BuiltinIdsAtTheEdgesOfEachRange) {
  const std::vector<std::pair<int, NumberStyle>> cases = {
      {0, NumberStyle::General},   {4, NumberStyle::General},  {5, NumberStyle::Currency},
      {8, NumberStyle::Currency},  {9, NumberStyle::General},  {13, NumberStyle::General},
      {14, NumberStyle::Date},     {22, NumberStyle::Date},    {23, NumberStyle::General},
      {26, NumberStyle::General},  {27, NumberStyle::Date},    {36, NumberStyle::Date},
      {37, NumberStyle::General},  {44, NumberStyle::General}, {45, NumberStyle::Date},
      {47, NumberStyle::Date},     {48, NumberStyle::General}, {49, NumberStyle::General},
      {50, NumberStyle::Date},     {58, NumberStyle::Date},    {59, NumberStyle::General},
      {164, NumberStyle::General}, {-1, NumberStyle::General},
  };
  for (const auto& [id, style] : cases)
    EXPECT_STREQ(name(classifyBuiltinFormat(id)), name(style)) << "id " << id;
}

TEST(NumberFormat, FormatCodes) {
  const std::vector<std::pair<std::string, NumberStyle>> cases = {
      {"General", NumberStyle::General},
      {"0.00", NumberStyle::General},
      {"#,##0;-#,##0", NumberStyle::General},
      {"0.00E+00", NumberStyle::General},
      {"@", NumberStyle::General},
      {"", NumberStyle::General},
      {"yyyy-mm-dd", NumberStyle::Date},
      {"m/d/yy", NumberStyle::Date},
      {"DD.MM.YYYY", NumberStyle::Date},
      {"h:mm AM/PM", NumberStyle::Date},
      {"mmm yyyy", NumberStyle::Date},
      {"ss.0", NumberStyle::Date},
      // Elapsed time counts; other brackets (colours, conditions) do not.
      {"[h]:mm:ss", NumberStyle::Date},
      {"[mm]:ss", NumberStyle::Date},
      {"[SS]", NumberStyle::Date},
      {"[Red]0.00", NumberStyle::General},
      {"[Blue]#,##0;[Red]-#,##0", NumberStyle::General},
      {"[>=100]0;0.0", NumberStyle::General},
      // Letters in quotes, escaped, padded or used as fill are shown, not dates.
      {"0 \"days\"", NumberStyle::General},
      {"\"Date: \"0", NumberStyle::General},
      {"\\d0", NumberStyle::General},
      {"0_d", NumberStyle::General},
      {"*s0", NumberStyle::General},
      {"0.00_);(0.00)", NumberStyle::General},
      // Locale tags alone are not currency.
      {"[$-804]0.00", NumberStyle::General},
      {"[$-F800]dddd, mmmm dd, yyyy", NumberStyle::Date},
      // Currency symbols, quoted, escaped or bare, and [$symbol-locale] codes.
      {"\"$\"#,##0.00", NumberStyle::Currency},
      {"\"$\"#,##0.00_);[Red](\"$\"#,##0.00)", NumberStyle::Currency},
      {"$#,##0;$-#,##0", NumberStyle::Currency},
      {"¥#,##0.00", NumberStyle::Currency},
      {"\\¥#,##0;\\¥-#,##0", NumberStyle::Currency},
      {"￥#,##0", NumberStyle::Currency},
      {"€ #,##0.00", NumberStyle::Currency},
      {"£0.00", NumberStyle::Currency},
      {"[$¥-804]#,##0.00", NumberStyle::Currency},
      {"[$USD] #,##0", NumberStyle::Currency},
      {"[$€-2] #,##0.00", NumberStyle::Currency},
      // The date test comes first.
      {"[$¥-804]yyyy\"年\"m\"月\"", NumberStyle::Date},
      {"\"$\"0 dd", NumberStyle::Date},
      // Unterminated quotes and brackets end the scan without running off.
      {"\"unterminated", NumberStyle::General},
      {"[Red", NumberStyle::General},
      {"0\\", NumberStyle::General},
      {"\xE2\x82", NumberStyle::General},  // a cut UTF-8 sequence
  };
  for (const auto& [code, style] : cases)
    EXPECT_STREQ(name(classifyFormatCode(code)), name(style)) << "code " << code;
}

// The file's own definition of an id wins, even where it looks like General;
// the built-in meaning holds only for ids the file leaves undefined.
TEST(NumberFormat, TableOfTheFilesOwnFormats) {
  NumberFormatTable table;
  table.define(5, "#,##0.00");
  table.define(14, "General");
  table.define(31, "0.0");
  table.define(164, "yyyy-mm-dd");
  table.define(165, "0.00");
  table.define(165, "\"$\"0.00");  // a later definition replaces the earlier one
  const std::vector<std::pair<std::uint32_t, NumberStyle>> cases = {
      {5, NumberStyle::General},     {14, NumberStyle::General},   {31, NumberStyle::General},
      {164, NumberStyle::Date},      {165, NumberStyle::Currency}, {6, NumberStyle::Currency},
      {22, NumberStyle::Date},       {57, NumberStyle::Date},      {166, NumberStyle::General},
      {70000, NumberStyle::General},
  };
  for (const auto& [id, style] : cases)
    EXPECT_STREQ(name(table.classify(id)), name(style)) << "id " << id;
}

}  // namespace
}  // namespace vip::sheet
