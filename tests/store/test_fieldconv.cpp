#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "common/DateTime.h"
#include "common/FormatSettings.h"
#include "store/FieldConvert.h"
#include "store/StoreError.h"
#include "store/TextLength.h"

namespace {

using vip::FormatSettings;
using vip::store::Decimal4;
using vip::store::FieldDef;
using vip::store::FieldKind;
using vip::store::LengthUnit;
using vip::store::Value;

FieldDef column(FieldKind kind, int size = 0, LengthUnit unit = LengthUnit::GbkBytes) {
  FieldDef field;
  field.name = "X";
  field.kind = kind;
  field.size = size;
  field.lengthUnit = unit;
  return field;
}

vip::DateTime at(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                 int millisecond = 0) {
  return vip::DateTime{year, month, day, hour, minute, second, millisecond};
}

// A value as a readable line, so a failing case shows the kind it came out as.
std::string describe(const Value& value) {
  struct Describer {
    std::string operator()(std::monostate) const { return "NULL"; }
    std::string operator()(const std::string& text) const { return "text '" + text + "'"; }
    std::string operator()(std::int64_t integer) const { return "int " + std::to_string(integer); }
    std::string operator()(double real) const {
      char buf[40];
      std::snprintf(buf, sizeof buf, "double %.17g", real);
      return buf;
    }
    std::string operator()(const Decimal4& decimal) const {
      return "decimal " + std::to_string(decimal.units);
    }
    std::string operator()(const vip::DateTime& moment) const {
      return "datetime " + vip::isoText(moment);
    }
    std::string operator()(bool flag) const { return flag ? "bool true" : "bool false"; }
  };
  return std::visit(Describer{}, value);
}

std::string fails(const std::string& message) {
  return "error: " + message;
}

// What writing a text gives: the value, or the message it was refused with.
std::string written(const FieldDef& field, std::string_view text,
                    const FormatSettings& settings = FormatSettings{}, bool* cutOut = nullptr) {
  try {
    bool cut = false;
    const Value value = vip::store::textToValue(field, text, settings, cut);
    if (cutOut) *cutOut = cut;
    return describe(value);
  } catch (const vip::store::StoreError& e) {
    return fails(e.what());
  }
}

struct TextCase {
  FieldKind kind;
  std::string text;
  std::string expected;
};

void expectAll(const std::vector<TextCase>& cases, const FormatSettings& settings = {}) {
  for (const auto& c : cases)
    EXPECT_EQ(written(column(c.kind), c.text, settings), c.expected) << "text '" << c.text << "'";
}

TEST(FieldConvertText, IntegerColumnsReadWholeNumbersOnly) {
  const std::string bad = "' is not a valid integer value for field 'X'";
  expectAll({
      {FieldKind::Integer, "", "NULL"},
      {FieldKind::Integer, "42", "int 42"},
      {FieldKind::Integer, "   -17", "int -17"},
      {FieldKind::Integer, "+5", "int 5"},
      {FieldKind::Integer, "007", "int 7"},
      {FieldKind::Integer, "2147483647", "int 2147483647"},
      {FieldKind::Integer, "-2147483648", "int -2147483648"},
      {FieldKind::Integer, "2147483648", fails("'2147483648" + bad)},
      {FieldKind::Integer, "-2147483649", fails("'-2147483649" + bad)},
      {FieldKind::Integer, "99999999999999999999999", fails("'99999999999999999999999" + bad)},
      {FieldKind::Integer, "12 ", fails("'12 " + bad)},
      {FieldKind::Integer, "3.5", fails("'3.5" + bad)},
      {FieldKind::Integer, "1e3", fails("'1e3" + bad)},
      {FieldKind::Integer, " ", fails("' " + bad)},
      {FieldKind::Integer, "+", fails("'+" + bad)},
      {FieldKind::Integer, "- 5", fails("'- 5" + bad)},
      {FieldKind::Integer, "\t5", fails("'\t5" + bad)},
      {FieldKind::Integer, "1,000", fails("'1,000" + bad)},
      {FieldKind::LargeInt, "9223372036854775807", "int 9223372036854775807"},
      {FieldKind::LargeInt, "-9223372036854775808", "int -9223372036854775808"},
      {FieldKind::LargeInt, "9223372036854775808", fails("'9223372036854775808" + bad)},
      {FieldKind::LargeInt, "-9223372036854775809", fails("'-9223372036854775809" + bad)},
      {FieldKind::LargeInt, "6200123456789012", "int 6200123456789012"},
      {FieldKind::LargeInt, "", "NULL"},
  });
}

TEST(FieldConvertText, HexadecimalIntegersWrapLikeBitPatterns) {
  const std::string bad = "' is not a valid integer value for field 'X'";
  expectAll({
      {FieldKind::Integer, "$FF", "int 255"},
      {FieldKind::Integer, "x1f", "int 31"},
      {FieldKind::Integer, "X10", "int 16"},
      {FieldKind::Integer, "0x10", "int 16"},
      {FieldKind::Integer, "  -$10", "int -16"},
      {FieldKind::Integer, "$7FFFFFFF", "int 2147483647"},
      {FieldKind::Integer, "$80000000", "int -2147483648"},
      {FieldKind::Integer, "$FFFFFFFF", "int -1"},
      {FieldKind::Integer, "-$FFFFFFFF", "int 1"},
      {FieldKind::Integer, "$100000000", fails("'$100000000" + bad)},
      {FieldKind::Integer, "$", fails("'$" + bad)},
      {FieldKind::Integer, "0x", fails("'0x" + bad)},
      {FieldKind::Integer, "$FG", fails("'$FG" + bad)},
      {FieldKind::Integer, "FF", fails("'FF" + bad)},
      {FieldKind::LargeInt, "$FFFFFFFF", "int 4294967295"},
      {FieldKind::LargeInt, "$FFFFFFFFFFFFFFFF", "int -1"},
      {FieldKind::LargeInt, "$8000000000000000", "int -9223372036854775808"},
      {FieldKind::LargeInt, "$10000000000000000", fails("'$10000000000000000" + bad)},
      // A 16-bit column sees the wrapped 32-bit value, not the digits.
      {FieldKind::Word, "$FFFF", "int 65535"},
      {FieldKind::SmallInt, "$FFFFFFFF", "int -1"},
  });
}

TEST(FieldConvertText, SixteenBitColumnsGiveTheRangeMessage) {
  expectAll({
      {FieldKind::SmallInt, "32767", "int 32767"},
      {FieldKind::SmallInt, "-32768", "int -32768"},
      {FieldKind::SmallInt, "40000",
       fails("40000 is not a valid value for field 'X'. The allowed range is -32768 to 32767")},
      {FieldKind::SmallInt, "-32769",
       fails("-32769 is not a valid value for field 'X'. The allowed range is -32768 to 32767")},
      {FieldKind::SmallInt, "1000000",
       fails("1000000 is not a valid value for field 'X'. The allowed range is -32768 to 32767")},
      {FieldKind::SmallInt, "$FFFF",
       fails("65535 is not a valid value for field 'X'. The allowed range is -32768 to 32767")},
      // Beyond 32 bits the text is not a valid integer at all.
      {FieldKind::SmallInt, "3000000000",
       fails("'3000000000' is not a valid integer value for field 'X'")},
      {FieldKind::Word, "65535", "int 65535"},
      {FieldKind::Word, "0", "int 0"},
      {FieldKind::Word, "-1",
       fails("-1 is not a valid value for field 'X'. The allowed range is 0 to 65535")},
      {FieldKind::Word, "65536",
       fails("65536 is not a valid value for field 'X'. The allowed range is 0 to 65535")},
  });
}

TEST(FieldConvertText, FloatColumnsReadPlainDecimalNumbers) {
  const std::string bad = "' is not a valid floating point value for field 'X'";
  expectAll({
      {FieldKind::Float, "", "NULL"},
      {FieldKind::Float, "1.5", "double 1.5"},
      {FieldKind::Float, "  -2.5e3  ", "double -2500"},
      {FieldKind::Float, "+1E-2", "double 0.01"},
      {FieldKind::Float, ".5", "double 0.5"},
      {FieldKind::Float, "5.", "double 5"},
      {FieldKind::Float, "0.1", "double 0.10000000000000001"},
      {FieldKind::Float, "123456789012345678901234567890", "double 1.2345678901234568e+29"},
      // Correctly rounded: the nearest double to this text is 2^-1074 x 2, not 2^-1074.
      {FieldKind::Float, "9.8813129168249309e-324", "double 9.8813129168249309e-324"},
      {FieldKind::Float, "1e-400", "double 0"},
      {FieldKind::Float, "1e400", fails("'1e400" + bad)},
      {FieldKind::Float, "1,5", fails("'1,5" + bad)},
      {FieldKind::Float, "1 000", fails("'1 000" + bad)},
      {FieldKind::Float, "1e", fails("'1e" + bad)},
      {FieldKind::Float, "1e+", fails("'1e+" + bad)},
      {FieldKind::Float, ".", fails("'." + bad)},
      {FieldKind::Float, "-", fails("'-" + bad)},
      {FieldKind::Float, "inf", fails("'inf" + bad)},
      {FieldKind::Float, "nan", fails("'nan" + bad)},
      {FieldKind::Float, "0x1p3", fails("'0x1p3" + bad)},
      {FieldKind::Float, "1.5x", fails("'1.5x" + bad)},
  });

  FormatSettings comma;
  comma.decimalSeparator = ',';
  expectAll(
      {{FieldKind::Float, "1,5", "double 1.5"}, {FieldKind::Float, "1.5", fails("'1.5" + bad)}},
      comma);
}

TEST(FieldConvertText, ExactDecimalsRoundToFourPlacesTiesToEven) {
  const std::string bad = "' is not a valid floating point value for field 'X'";
  expectAll({
      {FieldKind::Decimal, "", "NULL"},
      {FieldKind::Decimal, "12.5", "decimal 125000"},
      {FieldKind::Decimal, "1.00005", "decimal 10000"},
      {FieldKind::Decimal, "1.00015", "decimal 10002"},
      {FieldKind::Decimal, "1.000050000000000001", "decimal 10001"},
      {FieldKind::Decimal, "-1.00005", "decimal -10000"},
      {FieldKind::Decimal, "-1.00015", "decimal -10002"},
      {FieldKind::Decimal, "0.00005", "decimal 0"},
      {FieldKind::Decimal, "0.000049999", "decimal 0"},
      {FieldKind::Decimal, "0.00015", "decimal 2"},
      {FieldKind::Decimal, "1e-4", "decimal 1"},
      {FieldKind::Decimal, "1.5E+3", "decimal 15000000"},
      {FieldKind::Decimal, "123456789.12345678", "decimal 1234567891235"},
      {FieldKind::Decimal, "0e999999999999", "decimal 0"},
      {FieldKind::Decimal, "5e-999999999999", "decimal 0"},
      {FieldKind::Decimal, "922337203685477.5807", "decimal 9223372036854775807"},
      {FieldKind::Decimal, "-922337203685477.5808", "decimal -9223372036854775808"},
      {FieldKind::Decimal, "922337203685477.5808", fails("'922337203685477.5808" + bad)},
      {FieldKind::Decimal, "922337203685477.58075", fails("'922337203685477.58075" + bad)},
      {FieldKind::Decimal, "1e20", fails("'1e20" + bad)},
      {FieldKind::Decimal, "abc", fails("'abc" + bad)},
  });
}

TEST(FieldConvertText, DatesFollowTheUserSettings) {
  const int year = vip::localNow().year;
  const std::string bad = "' is not a valid date and time";
  // Two-digit years land in the hundred years that begin 50 years back.
  char firstOfWindow[16];
  char lastOfWindow[16];
  std::snprintf(firstOfWindow, sizeof firstOfWindow, "%02d-06-01", (year - 50) % 100);
  std::snprintf(lastOfWindow, sizeof lastOfWindow, "%02d-06-01", (year - 51) % 100);
  const auto date = [](const vip::DateTime& d) { return "datetime " + vip::isoText(d); };

  expectAll({
      {FieldKind::DateTime, "", "NULL"},
      {FieldKind::DateTime, "2024-01-05", date(at(2024, 1, 5))},
      {FieldKind::DateTime, "2024-1-5 7:05", date(at(2024, 1, 5, 7, 5))},
      {FieldKind::DateTime, "2024-01-05 10:30:15.250", date(at(2024, 1, 5, 10, 30, 15, 250))},
      {FieldKind::DateTime, " 2024 - 01 - 05  10 : 30 ", date(at(2024, 1, 5, 10, 30))},
      {FieldKind::DateTime, "24-01-05", date(at(2024, 1, 5))},
      {FieldKind::DateTime, "0024-01-05", date(at(24, 1, 5))},
      {FieldKind::DateTime, firstOfWindow, date(at(year - 50, 6, 1))},
      {FieldKind::DateTime, lastOfWindow, date(at(year + 49, 6, 1))},
      {FieldKind::DateTime, "1-5", date(at(year, 1, 5))},
      {FieldKind::DateTime, "2024-02-29", date(at(2024, 2, 29))},
      {FieldKind::DateTime, "2023-02-29", fails("'2023-02-29" + bad)},
      {FieldKind::DateTime, "2024-13-01", fails("'2024-13-01" + bad)},
      {FieldKind::DateTime, "2024/01/05", fails("'2024/01/05" + bad)},
      {FieldKind::DateTime, "2024-01-05T10:00", fails("'2024-01-05T10:00" + bad)},
      {FieldKind::DateTime, "2024-01-05 10:30 x", fails("'2024-01-05 10:30 x" + bad)},
      {FieldKind::DateTime, "2024-01-05-", fails("'2024-01-05-" + bad)},
      {FieldKind::DateTime, "0000-01-05", fails("'0000-01-05" + bad)},
      {FieldKind::DateTime, "abc", fails("'abc" + bad)},
  });
}

TEST(FieldConvertText, DateOrderAndSeparatorComeFromTheSettings) {
  const int year = vip::localNow().year;
  const auto date = [](const vip::DateTime& d) { return "datetime " + vip::isoText(d); };
  const std::string bad = "' is not a valid date and time";

  FormatSettings dayFirst;
  dayFirst.shortDateFormat = "dd/mm/yyyy";
  dayFirst.dateSeparator = '/';
  expectAll({{FieldKind::DateTime, "5/1/2024", date(at(2024, 1, 5))},
             {FieldKind::DateTime, "5/1", date(at(year, 1, 5))},
             {FieldKind::DateTime, "2024-01-05", fails("'2024-01-05" + bad)}},
            dayFirst);

  FormatSettings monthFirst;
  monthFirst.shortDateFormat = "m/d/yyyy";
  monthFirst.dateSeparator = '/';
  expectAll({{FieldKind::DateTime, "1/5/2024", date(at(2024, 1, 5))},
             {FieldKind::DateTime, "1/5", date(at(year, 1, 5))},
             {FieldKind::DateTime, "1/5/24 3:00 PM", date(at(2024, 1, 5, 15))},
             {FieldKind::DateTime, "2024-01-05", fails("'2024-01-05" + bad)},
             {FieldKind::DateTime, "13/5/2024", fails("'13/5/2024" + bad)}},
            monthFirst);
}

TEST(FieldConvertText, ATimeAloneFallsOnTheDayZero) {
  const auto time = [](int h, int n, int s = 0) {
    return "datetime " + vip::isoText(at(1899, 12, 30, h, n, s));
  };
  const std::string bad = "' is not a valid date and time";
  expectAll({
      {FieldKind::DateTime, "10:30", time(10, 30)},
      {FieldKind::DateTime, "10:30:15", time(10, 30, 15)},
      {FieldKind::DateTime, "7", time(7, 0)},
      {FieldKind::DateTime, "2:15 PM", time(14, 15)},
      {FieldKind::DateTime, "pm 2:15", time(14, 15)},
      {FieldKind::DateTime, "2:15am", time(2, 15)},
      {FieldKind::DateTime, "12:00 AM", time(0, 0)},
      {FieldKind::DateTime, "12 PM", time(12, 0)},
      {FieldKind::DateTime, "13:00 PM", fails("'13:00 PM" + bad)},
      {FieldKind::DateTime, "0:30 AM", fails("'0:30 AM" + bad)},
      {FieldKind::DateTime, "24:00", fails("'24:00" + bad)},
      {FieldKind::DateTime, "10:60", fails("'10:60" + bad)},
      {FieldKind::DateTime, "10:", fails("'10:" + bad)},
      {FieldKind::DateTime, "PM", fails("'PM" + bad)},
  });

  FormatSettings chinese;
  chinese.timeAMString = "上午";
  chinese.timePMString = "下午";
  expectAll({{FieldKind::DateTime, "下午 2:15", time(14, 15)},
             {FieldKind::DateTime, "2:15 上午", time(2, 15)},
             {FieldKind::DateTime, "2:15 PM", time(14, 15)}},
            chinese);
}

TEST(FieldConvertText, BooleansByBeginningOfTheWord) {
  const std::string bad = "' is not a valid boolean value for field 'X'";
  expectAll({
      {FieldKind::Boolean, "", "NULL"},
      {FieldKind::Boolean, "f", "bool false"},
      {FieldKind::Boolean, "fa", "bool false"},
      {FieldKind::Boolean, "FALSE", "bool false"},
      {FieldKind::Boolean, "T", "bool true"},
      {FieldKind::Boolean, "tRu", "bool true"},
      {FieldKind::Boolean, "true", "bool true"},
      {FieldKind::Boolean, "1", fails("'1" + bad)},
      {FieldKind::Boolean, "0", fails("'0" + bad)},
      {FieldKind::Boolean, "yes", fails("'yes" + bad)},
      {FieldKind::Boolean, "falsey", fails("'falsey" + bad)},
      {FieldKind::Boolean, " true", fails("' true" + bad)},
  });
}

TEST(FieldConvertText, CharacterColumnsCutToTheirDeclaredLength) {
  const struct {
    FieldKind kind;
    int size;
    LengthUnit unit;
    std::string text;
    std::string stored;
    bool cut;
  } cases[] = {
      {FieldKind::String, 5, LengthUnit::GbkBytes, "", "", false},
      {FieldKind::String, 5, LengthUnit::GbkBytes, "abcde", "abcde", false},
      {FieldKind::String, 5, LengthUnit::GbkBytes, "abcdef", "abcde", true},
      // Two bytes a Chinese character: the third would end at byte 6.
      {FieldKind::String, 5, LengthUnit::GbkBytes, "中文测试", "中文", true},
      {FieldKind::String, 5, LengthUnit::GbkBytes, "ab中文", "ab中", true},
      {FieldKind::String, 5, LengthUnit::GbkBytes, "中文ab", "中文a", true},
      // Six bytes of UTF-8 are four of GBK.
      {FieldKind::String, 4, LengthUnit::GbkBytes, "中文", "中文", false},
      // GBK lacks the emoji (stored as '?', one byte); the euro sign is one byte.
      {FieldKind::String, 3, LengthUnit::GbkBytes, "😀😀😀😀", "😀😀😀", true},
      {FieldKind::String, 3, LengthUnit::GbkBytes, "€€€€", "€€€", true},
      {FieldKind::String, 3, LengthUnit::GbkBytes, "\xff\xfe ab", "\xff\xfe ", true},
      {FieldKind::String, 0, LengthUnit::GbkBytes, std::string(5000, 'x'), std::string(5000, 'x'),
       false},
      {FieldKind::WideString, 4, LengthUnit::Utf16Units, "", "", false},
      {FieldKind::WideString, 3, LengthUnit::Utf16Units, "ab😀c", "ab", true},
      {FieldKind::WideString, 3, LengthUnit::Utf16Units, "a😀", "a😀", false},
      {FieldKind::WideString, 3, LengthUnit::Utf16Units, "中文测试", "中文测", true},
      {FieldKind::WideString, 3, LengthUnit::Characters, "😀😀😀😀", "😀😀😀", true},
      {FieldKind::String, 3, LengthUnit::Characters, "中文测试", "中文测", true},
      {FieldKind::String, 3, LengthUnit::Characters, "中文测", "中文测", false},
  };
  for (const auto& c : cases) {
    bool cut = !c.cut;
    EXPECT_EQ(written(column(c.kind, c.size, c.unit), c.text, {}, &cut), describe(Value{c.stored}))
        << "text '" << c.text << "' size " << c.size;
    EXPECT_EQ(cut, c.cut) << "text '" << c.text << "' size " << c.size;
  }
}

TEST(FieldConvertText, LengthsCountedPerUnit) {
  const struct {
    std::string text;
    std::size_t gbk, utf16, characters;
  } cases[] = {
      {"", 0, 0, 0},   {"abc", 3, 3, 3},      {"会员卡", 6, 3, 3},
      {"a😀", 2, 3, 2}, {"\xe4\xb8", 2, 2, 2},  // a cut-off UTF-8 sequence: one unit per byte
  };
  for (const auto& c : cases) {
    EXPECT_EQ(vip::store::textLength(c.text, LengthUnit::GbkBytes), c.gbk) << c.text;
    EXPECT_EQ(vip::store::textLength(c.text, LengthUnit::Utf16Units), c.utf16) << c.text;
    EXPECT_EQ(vip::store::textLength(c.text, LengthUnit::Characters), c.characters) << c.text;
  }
}

TEST(FieldConvertText, LongTextIsNeverCutAndEmptyIsNull) {
  const std::string longText(100000, 'z');
  EXPECT_EQ(written(column(FieldKind::Memo, 16), longText), describe(Value{longText}));
  EXPECT_EQ(written(column(FieldKind::Memo), ""), "NULL");
}

TEST(FieldConvertText, ReadOnlyColumnsRefuseAfterTheKindHasReadTheText) {
  const std::string readOnly = fails("Field 'X' cannot be modified");
  const struct {
    FieldKind kind;
    std::string text;
    std::string expected;
  } cases[] = {
      {FieldKind::Integer, "5", readOnly},
      {FieldKind::Integer, "", readOnly},
      {FieldKind::String, "", readOnly},
      {FieldKind::String, "abc", readOnly},
      {FieldKind::Memo, "", readOnly},
      {FieldKind::Boolean, "t", readOnly},
      {FieldKind::Integer, "abc", fails("'abc' is not a valid integer value for field 'X'")},
      {FieldKind::SmallInt, "40000",
       fails("40000 is not a valid value for field 'X'. The allowed range is -32768 to 32767")},
      {FieldKind::DateTime, "x", fails("'x' is not a valid date and time")},
      {FieldKind::Boolean, "1", fails("'1' is not a valid boolean value for field 'X'")},
  };
  for (const auto& c : cases) {
    FieldDef field = column(c.kind);
    field.writable = false;
    field.identity = true;
    EXPECT_EQ(written(field, c.text), c.expected) << "text '" << c.text << "'";
  }
}

// What a typed value handed to a column gives.
template <typename F>
std::string handed(F&& convert) {
  try {
    return describe(convert());
  } catch (const vip::store::StoreError& e) {
    return fails(e.what());
  }
}

TEST(FieldConvertTyped, IntegersByColumnKind) {
  const struct {
    FieldKind kind;
    std::int64_t value;
    std::string expected;
  } cases[] = {
      {FieldKind::Integer, 1, "int 1"},
      {FieldKind::SmallInt, 1, "int 1"},
      {FieldKind::SmallInt, 40000,
       fails("40000 is not a valid value for field 'X'. The allowed range is -32768 to 32767")},
      {FieldKind::Word, -1,
       fails("-1 is not a valid value for field 'X'. The allowed range is 0 to 65535")},
      {FieldKind::Integer, 3000000000,
       fails("'3000000000' is not a valid integer value for field 'X'")},
      {FieldKind::LargeInt, 3000000000, "int 3000000000"},
      {FieldKind::String, 1, "text '1'"},
      {FieldKind::WideString, -25, "text '-25'"},
      {FieldKind::Float, 1, "double 1"},
      {FieldKind::Decimal, 1, "decimal 10000"},
      {FieldKind::Decimal, 1000000000000000,
       fails("'1000000000000000' is not a valid floating point value for field 'X'")},
      {FieldKind::DateTime, 1, fails("Cannot access field 'X' as type Integer")},
      {FieldKind::Boolean, 1, fails("Cannot access field 'X' as type Integer")},
      {FieldKind::Memo, 1, fails("Cannot access field 'X' as type Integer")},
  };
  for (const auto& c : cases)
    EXPECT_EQ(handed([&] { return vip::store::integerToValue(column(c.kind), c.value); }),
              c.expected)
        << c.value;

  FieldDef identity = column(FieldKind::Integer);
  identity.writable = false;
  EXPECT_EQ(handed([&] { return vip::store::integerToValue(identity, 1); }),
            fails("Field 'X' cannot be modified"));
}

TEST(FieldConvertTyped, DoublesByColumnKind) {
  const double amount = static_cast<double>(100.1f);  // 100.09999847412109375
  const struct {
    FieldKind kind;
    double value;
    std::string expected;
  } cases[] = {
      {FieldKind::Float, amount, "double 100.09999847412109"},
      {FieldKind::Decimal, amount, "decimal 1001000"},
      // Binary ties at the fourth place: 1.03125 and 1.09375 are exact doubles.
      {FieldKind::Decimal, 1.03125, "decimal 10312"},
      {FieldKind::Decimal, 1.09375, "decimal 10938"},
      {FieldKind::Decimal, -1.03125, "decimal -10312"},
      {FieldKind::Decimal, 0.00005, "decimal 1"},  // the double lies just above the tie
      {FieldKind::Decimal, 1e300,
       fails("'1E300' is not a valid floating point value for field 'X'")},
      {FieldKind::Integer, 2.5, "int 2"},
      {FieldKind::Integer, 3.5, "int 4"},
      {FieldKind::Integer, -2.5, "int -2"},
      {FieldKind::SmallInt, 40000.4,
       fails("40000 is not a valid value for field 'X'. The allowed range is -32768 to 32767")},
      {FieldKind::Integer, 1e10, fails("'10000000000' is not a valid integer value for field 'X'")},
      {FieldKind::LargeInt, 1e19, fails("'1E19' is not a valid integer value for field 'X'")},
      {FieldKind::String, 12.5, "text '12.5'"},
      {FieldKind::String, amount, "text '100.099998474121'"},
      {FieldKind::DateTime, 45296.5, "datetime 2024-01-05 12:00:00"},
      {FieldKind::DateTime, 1e12, fails("'1000000000000' is not a valid date and time")},
      // The last instant of 9999-12-31 rounds to the millisecond into no valid day.
      {FieldKind::DateTime, std::nextafter(2958466.0, 0.0),
       fails("'2958466' is not a valid date and time")},
      {FieldKind::DateTime, -693594.0, fails("'-693594' is not a valid date and time")},
      {FieldKind::DateTime, -693593.5, "datetime 0001-01-01 12:00:00"},
      {FieldKind::Float, std::numeric_limits<double>::quiet_NaN(),
       fails("'NAN' is not a valid floating point value for field 'X'")},
      {FieldKind::Boolean, 1, fails("Cannot access field 'X' as type Float")},
      {FieldKind::Memo, 1, fails("Cannot access field 'X' as type Float")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(handed([&] {
                bool cut = false;
                return vip::store::doubleToValue(column(c.kind), c.value, {}, cut);
              }),
              c.expected)
        << c.value;
  }

  bool cut = false;
  EXPECT_EQ(describe(vip::store::doubleToValue(column(FieldKind::String, 3), 12.5, {}, cut)),
            "text '12.'");
  EXPECT_TRUE(cut);
}

TEST(FieldConvertTyped, DateTimesByColumnKind) {
  const vip::DateTime moment = at(2024, 1, 5, 10, 30);
  const struct {
    FieldDef field;
    std::string expected;
    bool cut;
  } cases[] = {
      {column(FieldKind::DateTime), "datetime 2024-01-05 10:30:00", false},
      {column(FieldKind::String, 40), "text '2024-01-05 10:30:00'", false},
      {column(FieldKind::WideString, 10, LengthUnit::Utf16Units), "text '2024-01-05'", true},
      {column(FieldKind::Float), "double 45296.4375", false},
      {column(FieldKind::Decimal), "decimal 452964375", false},
      {column(FieldKind::Integer), fails("Cannot access field 'X' as type DateTime"), false},
      {column(FieldKind::Boolean), fails("Cannot access field 'X' as type DateTime"), false},
      {column(FieldKind::Memo), fails("Cannot access field 'X' as type DateTime"), false},
  };
  for (const auto& c : cases) {
    bool cut = !c.cut;
    EXPECT_EQ(handed([&] { return vip::store::dateTimeToValue(c.field, moment, {}, cut); }),
              c.expected);
    if (c.expected.rfind("error", 0) != 0) {
      EXPECT_EQ(cut, c.cut) << c.expected;
    }
  }
}

TEST(FieldConvertTyped, ValuesReadBackAsText) {
  const struct {
    Value value;
    std::string text;
  } cases[] = {
      {std::monostate{}, ""},
      {std::string("会员"), "会员"},
      {std::int64_t{-42}, "-42"},
      {12.5, "12.5"},
      {1e20, "1E20"},
      {Decimal4{125000}, "12.5"},
      {Decimal4{10000}, "1"},
      {Decimal4{-1}, "-0.0001"},
      {Decimal4{0}, "0"},
      {Decimal4{std::numeric_limits<std::int64_t>::min()}, "-922337203685477.5808"},
      {at(2024, 1, 5), "2024-01-05"},
      {at(2024, 1, 5, 10, 30), "2024-01-05 10:30:00"},
      {true, "True"},
      {false, "False"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(vip::store::valueToText(c.value, FormatSettings{}), c.text) << describe(c.value);
}

}  // namespace
