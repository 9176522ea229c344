#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sheet/CellText.h"
#include "sheet/SheetError.h"
#include "sheet/Workbook.h"
#include "sheet/XlsxArchive.h"
#include "sheet/XlsxReader.h"

namespace vip::sheet {
namespace {

std::string fixturePath(const std::string& name) {
  return std::string(VIP_FIXTURES) + "/sheet/xlsx/" + name;
}

std::vector<unsigned char> fixtureBytes(const std::string& name) {
  std::ifstream in(fixturePath(name), std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

SheetData readFixture(const std::string& name) {
  return readXlsx(fixtureBytes(name), name);
}

// The cell text as the import reads it; "<absent>" where the sheet holds no
// cell, "<error: ...>" where the read fails.
std::string text(const SheetData& sheet, std::uint32_t row, std::uint32_t col) {
  const Cell* cell = sheet.find(row, col);
  if (cell == nullptr) return "<absent>";
  try {
    return cellText(*cell, sheet, defaultFormatSettings());
  } catch (const SheetError& e) {
    return std::string("<error: ") + e.what() + ">";
  }
}

struct Expected {
  std::uint32_t row, col;
  std::string text;
};

void expectCells(const std::string& fixture, const std::vector<Expected>& cells) {
  SheetData sheet = readFixture(fixture);
  for (const Expected& e : cells) {
    EXPECT_EQ(text(sheet, e.row, e.col), e.text) << fixture << " row " << e.row << " col " << e.col;
  }
}

const std::string kErrorRead =
    "<error: Could not convert variant of type (Error) into type (String)>";

TEST(XlsxReader, ValuesSavedByOpenpyxl) {
  expectCells("plain_values.xlsx", {
                                       {1, 1, "number"},
                                       {1, 2, "1001"},
                                       {2, 2, "12.5"},
                                       {3, 2, "13812345678"},
                                       {4, 2, "6212345678901234"},
                                       {5, 2, "  text with blanks  "},
                                       {6, 2, "0"},
                                       {7, 2, "True"},
                                       {8, 2, "False"},
                                       {9, 2, "王小明"},
                                       {10, 2, "-2.5"},
                                       {11, 2, "5E-5"},
                                       {12, 2, "1E20"},
                                       {13, 2, "2024-03-01"},
                                       {14, 2, "2024-03-01 13:45:30"},
                                       {15, 2, "08:30:00"},
                                       {16, 2, "1234.5679"},  // "¥"#,##0.00: currency
                                       {17, 2, "12.5"},       // [$¥-804]: currency
                                       {18, 2, "12.5"},       // [$-804]: a locale only
                                       {19, 2, ""},           // formula saved without its result
                                       {19, 3, "<absent>"},
                                   });
}

TEST(XlsxReader, CellTypesAndStrings) {
  expectCells("cell_types.xlsx", {
                                     {1, 1, "plain"},
                                     {1, 2, "rich run"},  // runs joined
                                     {1, 3, "東京"},      // phonetic run left out
                                     {2, 1, "inline"},
                                     {2, 2, "rich inline"},  // inline runs, phonetics left out
                                     {3, 1, "ab"},           // t="str" formula result
                                     {3, 2, ""},             // formula without cached value
                                     {3, 3, ""},
                                     {4, 1, "True"},
                                     {4, 2, "False"},
                                     {4, 3, kErrorRead},
                                     {4, 4, kErrorRead},
                                     {5, 1, "2024-03-01"},  // t="d"
                                     {5, 2, "2024-03-01 13:45:30"},
                                     {5, 3, "08:30:00"},
                                     {5, 4, ""},  // formatted blank
                                     {6, 1, "a\rb"},
                                     {6, 2, "_x0041_"},
                                     {6, 3, "tab\there"},
                                     {6, 4, "\xF0\x9F\x98\x80 中"},
                                 });
  SheetData sheet = readFixture("cell_types.xlsx");
  EXPECT_EQ(sheet.lastRow(), 6u);
  EXPECT_EQ(sheet.lastCol(), 4u);
  EXPECT_EQ(sheet.find(3, 2)->kind, CellKind::Empty);
  EXPECT_EQ(sheet.find(4, 3)->errorCode, 0x07);
}

TEST(XlsxReader, CellsAndRowsWithoutReferencesFollowThePreviousOnes) {
  expectCells("cells_without_ref.xlsx", {
                                            {1, 1, "a1"},
                                            {1, 2, "2"},
                                            {2, 3, "3"},
                                            {2, 4, "4"},
                                            {5, 1, "5"},
                                            {6, 1, "6"},
                                            {3, 1, "<absent>"},
                                        });
}

TEST(XlsxReader, NumberFormatsDecideDateAndCurrency) {
  expectCells("number_formats.xlsx", {
                                         {1, 1, "2024-03-01"},           // built-in 14
                                         {1, 2, "2024-03-01 12:00:00"},  // built-in 22
                                         {1, 3, "1234.5679"},            // [$¥-804]#,##0.00
                                         {1, 4, "12.5"},                 // [$-804]0.00
                                         {1, 5, "12.5"},                 // built-in 2
                                         {1, 6, "18:00:00"},             // [h]:mm
                                         {1, 7, "-3"},                   // built-in 7
                                         {1, 8, "7"},  // style index past the table
                                     });
}

TEST(XlsxReader, Date1904) {
  expectCells("plain_date1904.xlsx", {{1, 1, "2024-03-01"}});
  expectCells("date1904_crafted.xlsx", {
                                           {1, 2, "2024-03-01"},  // serial 43890
                                           {1, 3, "2024-03-01"},  // t="d" keeps its date
                                           {1, 4, "08:30:00"},
                                           {1, 5, "1900-03-01 06:00:00"},
                                       });
  EXPECT_TRUE(readFixture("date1904_crafted.xlsx").date1904());
  EXPECT_FALSE(readFixture("cell_types.xlsx").date1904());
}

// A numFmt that redefines a built-in id wins, by the rule the .xls reader
// follows too.
TEST(XlsxReader, NumFmtsRedefiningBuiltinIdsWin) {
  expectCells("redefined_formats.xlsx", {
                                            {1, 1, "1234.56785"},  // id 5 as #,##0.00
                                            {1, 2, "45366"},       // id 31 as 0.0
                                            {1, 3, "45366"},       // id 57 as a number
                                            {1, 4, "2024-03-15"},  // id 14, built in
                                            {1, 5, "2024-03-15"},  // id 30 as a date
                                        });
}

TEST(XlsxReader, PackagesOfWritersSeenInTheField) {
  // Only "_x" with a lower-case x is an escape.
  expectCells("escape_upper_x.xlsx",
              {{1, 1, "_X0041_aB"}, {1, 2, "_X0041_"}, {1, 3, "_X0041_ A_X0042_"}});
  // Entry names with "\" separators.
  expectCells("backslash_names.xlsx", {{1, 1, "backslash"}, {1, 2, "2024-03-15"}});
  // s="" is no style.
  expectCells("empty_style_attribute.xlsx",
              {{1, 1, "12.5"}, {1, 2, "styled nothing"}, {1, 3, "2024-03-15"}});
}

// Strict t="d" cells: date-times with any zone form, durations as times; a
// value that is neither fails the read of its own cell only.
TEST(XlsxReader, StrictDateCellsAndDurations) {
  expectCells("strict_dates_durations.xlsx",
              {
                  {1, 1, "2024-03-15 13:45:30"},
                  {1, 2, "2024-03-15 13:45:30"},  // +0800
                  {1, 3, "2024-03-15 08:00:00"},  // +08
                  {2, 1, "08:30:00"},             // PT8H30M
                  {2, 2, "1899-12-31 12:00:00"},  // P1DT12H: a day and a half
                  {2, 3, "00:00:45"},
                  {3, 1, "<error: cell A3 holds \"P1Y2M\", which is not a date>"},
                  {3, 2, "<error: cell B3 holds \"soon\", which is not a date>"},
                  {3, 3, "3"},
              });
}

TEST(XlsxReader, StrictNamespacesReadLikeTransitional) {
  expectCells("strict_namespaces.xlsx", {{1, 1, "strict"}, {1, 2, "2024-03-01"}});
}

TEST(XlsxReader, UsedRangeEndsAtTheLastCellHeld) {
  struct Case {
    const char* fixture;
    std::uint32_t rows, cols;
  };
  const Case cases[] = {
      {"plain_used_range_b3_d10.xlsx", 10, 4},
      {"plain_formatted_blank.xlsx", 7, 5},  // a formatted blank counts
      {"plain_empty.xlsx", 1, 1},
      {"plain_values.xlsx", 19, 2},
  };
  for (const Case& c : cases) {
    SheetData sheet = readFixture(c.fixture);
    EXPECT_EQ(sheet.lastRow(), c.rows) << c.fixture;
    EXPECT_EQ(sheet.lastCol(), c.cols) << c.fixture;
  }
}

TEST(XlsxReader, FirstWorksheetInWorkbookOrder) {
  // Saved with the second sheet active: the first sheet is read all the same.
  expectCells("plain_second_sheet_active.xlsx", {{1, 1, "first sheet"}, {2, 3, "1"}});
  // Workbook order lists sheet2.xml first (after a chart sheet, which is no
  // worksheet), whatever the part names say.
  SheetData sheet = readFixture("sheet_order.xlsx");
  EXPECT_EQ(text(sheet, 1, 1), "2");
  EXPECT_EQ(sheet.lastRow(), 2u);
  expectCells("no_package_rels.xlsx", {{1, 1, "42"}});
}

TEST(XlsxReader, StrayCellAtTheLastCellCostsOneCell) {
  auto started = std::chrono::steady_clock::now();
  SheetData sheet = readFixture("stray_last_cell.xlsx");
  EXPECT_EQ(sheet.lastRow(), 1048576u);
  EXPECT_EQ(sheet.lastCol(), 16384u);
  EXPECT_EQ(sheet.rowCells(1).size(), 1u);
  EXPECT_EQ(sheet.rowCells(1048576).size(), 1u);
  EXPECT_EQ(text(sheet, 1048576, 16384), "2");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
}

// Every broken or hostile package: one SheetError naming the file and the reason.
TEST(XlsxReader, HostilePackagesFailWithOneClearLine) {
  struct Case {
    const char* fixture;
    const char* reason;
  };
  const Case cases[] = {
      {"bad_ref_xfe1.xlsx", "\"XFE1\", which is not a cell reference inside A1:XFD1048576"},
      {"bad_ref_row_overflow.xlsx", "\"A4294967297\", which is not a cell reference"},
      {"bad_no_cached_row_after_last.xlsx", "more than 1048576 rows"},
      {"bad_shared_index.xlsx", "refers to shared string \"4294967295\", but the table holds 1"},
      {"bad_number.xlsx", "cell A1 holds \"12abc\", which is not a number"},
      {"bad_xml.xlsx", "malformed XML in xl/worksheets/sheet1.xml"},
      {"entity_bomb.xlsx", "document type declaration"},
      {"external_entity.xlsx", "document type declaration"},
      {"zip_bomb.xlsx", "inflates more than 200 times its compressed size"},
      {"truncated.xlsx", "not a zip package"},
      {"missing_worksheet.xlsx", "the worksheet part xl/worksheets/sheet1.xml is missing"},
      {"no_workbook.xlsx", "the package holds no workbook"},
      {"renamed_ods.xlsx", "an OpenDocument file"},
      {"duplicate_entry.xlsx", "two entries named xl/worksheets/sheet1.xml"},
  };
  for (const Case& c : cases) {
    auto started = std::chrono::steady_clock::now();
    try {
      readFixture(c.fixture);
      ADD_FAILURE() << c.fixture << " was read";
    } catch (const SheetError& e) {
      std::string message = e.what();
      EXPECT_TRUE(message.starts_with(std::string(c.fixture) + ": ")) << message;
      EXPECT_NE(message.find(c.reason), std::string::npos) << message;
      EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2)) << c.fixture;
  }
}

TEST(XlsxReader, NotAZipAtAll) {
  const std::string inputs[] = {"", "PK\x03\x04", "PK\x03\x04 and then garbage",
                                std::string(1000, '\0')};
  for (const std::string& input : inputs) {
    std::vector<unsigned char> bytes(input.begin(), input.end());
    EXPECT_THROW(readXlsx(bytes, "x.xlsx"), SheetError) << input.size();
  }
}

// The caps themselves, with limits small enough for a fixture.
TEST(XlsxArchive, InflationCaps) {
  std::vector<unsigned char> bytes = fixtureBytes("plain_values.xlsx");
  const std::string part = "xl/worksheets/sheet1.xml";
  auto drain = [&](XlsxArchive& archive) { archive.read(part, [](std::span<const char>) {}); };

  XlsxArchive::Limits total;
  total.totalBytes = 100;
  XlsxArchive small(bytes, "t.xlsx", total);
  try {
    drain(small);
    ADD_FAILURE() << "the total cap did not hold";
  } catch (const SheetError& e) {
    EXPECT_NE(std::string(e.what()).find("inflates to more than"), std::string::npos) << e.what();
  }

  XlsxArchive::Limits ratio;
  ratio.ratioFloor = 0;
  ratio.maxRatio = 1;
  XlsxArchive tight(bytes, "r.xlsx", ratio);
  EXPECT_THROW(drain(tight), SheetError);

  XlsxArchive normal(bytes, "n.xlsx");
  EXPECT_NO_THROW(drain(normal));
  EXPECT_TRUE(normal.contains("/XL/Workbook.xml"));  // part names ignore case
  EXPECT_FALSE(normal.contains("xl/nothing.xml"));
}

// Every part read ahead on a second thread: the same bytes, the same caps,
// and a parse failure midway stops the thread cleanly.
TEST(XlsxArchive, ReadAheadGivesTheSameBytes) {
  std::vector<unsigned char> bytes = fixtureBytes("zip_bomb.xlsx");
  const std::string part = "xl/worksheets/sheet1.xml";
  auto collect = [&](XlsxArchive& archive) {
    std::string text;
    archive.read(part,
                 [&](std::span<const char> chunk) { text.append(chunk.data(), chunk.size()); });
    return text;
  };
  XlsxArchive::Limits plain;
  plain.maxRatio = 1u << 20;
  XlsxArchive::Limits ahead = plain;
  ahead.readAheadFloor = 0;
  XlsxArchive one(bytes, "a.xlsx", plain), two(bytes, "b.xlsx", ahead);
  const std::string expected = collect(one);
  EXPECT_GT(expected.size(), 40u << 20);
  EXPECT_TRUE(collect(two) == expected);

  XlsxArchive capped(bytes, "c.xlsx", XlsxArchive::Limits{.readAheadFloor = 0});
  EXPECT_THROW(collect(capped), SheetError);

  XlsxArchive stopped(bytes, "d.xlsx", ahead);
  int chunks = 0;
  EXPECT_THROW(stopped.read(part,
                            [&](std::span<const char>) {
                              if (++chunks == 2) throw SheetError("stop");
                            }),
               SheetError);
}

TEST(XlsxReader, ThroughTheWorkbook) {
  auto book = Workbook::open(fixturePath("plain_used_range_b3_d10.xlsx"));
  EXPECT_EQ(book->rowCount(), 10);
  EXPECT_EQ(book->colCount(), 4);
  EXPECT_EQ(book->cellText(3, 2), "top left");
  EXPECT_EQ(book->cellText(10, 4), "bottom right");
  EXPECT_EQ(book->cellText(5, 3), "7");
  EXPECT_EQ(book->cellText(1, 1), "");
  try {
    Workbook::open(fixturePath("zip_bomb.xlsx"));
    ADD_FAILURE() << "the zip bomb was read";
  } catch (const SheetError& e) {
    EXPECT_TRUE(std::string(e.what()).starts_with(fixturePath("zip_bomb.xlsx") + ": "));
  }
}

}  // namespace
}  // namespace vip::sheet
