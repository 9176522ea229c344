#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Iconv.h"
#include "sheet/CodePage.h"
#include "sheet/SheetError.h"
#include "sheet/Workbook.h"

namespace vip::sheet {
namespace {

using Grid = std::vector<std::vector<std::string>>;

std::string fixture(const std::string& name) {
  return std::string(VIP_FIXTURES) + "/sheet/xls/" + name;
}

// Every cell of the used range as the import reads it; "#ERROR" where the
// read fails.
Grid grid(const Workbook& workbook) {
  Grid out;
  for (int row = 1; row <= workbook.rowCount(); ++row) {
    std::vector<std::string> line;
    for (int col = 1; col <= workbook.colCount(); ++col) {
      try {
        line.push_back(workbook.cellText(row, col));
      } catch (const SheetError&) {
        line.push_back("#ERROR");
      }
    }
    out.push_back(line);
  }
  return out;
}

Grid read(const std::string& name) {
  return grid(*Workbook::open(fixture(name)));
}

TEST(XlsReader, ValuesOfEveryKindWrittenByXlwt) {
  const auto workbook = Workbook::open(fixture("xlwt_values.xls"));
  ASSERT_EQ(workbook->colCount(), 2);
  // Column A names the case, column B holds the value.
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"number 1001", "1001"},
      {"number 12.5 shown 12.50", "12.5"},
      {"mobile", "13812345678"},
      {"card 16 digits", "6200123456789012"},
      {"small", "5E-5"},
      {"big", "1E20"},
      {"text with blanks", "  padded  "},
      {"text zero", "0"},
      {"chinese", "会员卡 VIP"},
      {"date", "2024-03-15"},
      {"datetime", "2024-03-15 13:45:30"},
      {"time", "07:05:09"},
      {"elapsed", "1899-12-31 12:00:00"},
      {"date shown as month only", "2024-03-15 06:00:00"},
      {"dollar", "1234.5678"},
      {"yuan", "-3"},
      {"yuan tag", "12.5"},
      {"locale tag only", "12.5"},
      {"quoted d is not a date", "7"},
      {"escapes", "quote \" backslash \\ tab\t line\nend"},
      {"true", "True"},
      {"false", "False"},
      {"error", "#ERROR"},
  };
  const Grid cells = grid(*workbook);
  ASSERT_EQ(cells.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(cells[i][0], expected[i].first);
    EXPECT_EQ(cells[i][1], expected[i].second) << expected[i].first;
  }
  EXPECT_THROW(workbook->cellText(static_cast<int>(expected.size()), 2), SheetError);
}

TEST(XlsReader, UsedRangeNotAtA1CountsToItsLastRowAndColumn) {
  const auto workbook = Workbook::open(fixture("xlwt_used_range_b3_d10.xls"));
  EXPECT_EQ(workbook->rowCount(), 10);
  EXPECT_EQ(workbook->colCount(), 4);
  EXPECT_EQ(workbook->cellText(3, 2), "B3");
  EXPECT_EQ(workbook->cellText(6, 3), "42");
  EXPECT_EQ(workbook->cellText(10, 4), "D10");
  EXPECT_EQ(workbook->cellText(1, 1), "");
  EXPECT_EQ(workbook->cellText(11, 5), "");  // outside the used range: empty
}

TEST(XlsReader, FormattedBlanksWidenTheUsedRange) {
  const auto workbook = Workbook::open(fixture("xlwt_formatted_blanks.xls"));
  EXPECT_EQ(workbook->rowCount(), 6);  // B6
  EXPECT_EQ(workbook->colCount(), 7);  // C4:G4 as one MULBLANK
  EXPECT_EQ(workbook->rowCells(4).size(), 5u);
  EXPECT_EQ(workbook->cellText(4, 7), "");
}

TEST(XlsReader, FirstWorksheetEvenWhenTheSecondIsActive) {
  EXPECT_EQ(read("xlwt_second_sheet_active.xls"), (Grid{{"first A1", ""}, {"", "first B2"}}));
}

TEST(XlsReader, Dates1904) {
  EXPECT_EQ(read("xlwt_date1904.xls"),
            (Grid{{"2024-03-15"}, {"1904-01-02 12:00:00"}, {"06:00:00"}, {"00:00:00"}}));
}

// Counts the characters of UTF-8 text.
std::size_t codePoints(const std::string& text) {
  std::size_t n = 0;
  for (const char c : text)
    n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

TEST(XlsReader, LongSharedStringsSplitAcrossContinueRecords) {
  const Grid cells = read("xlwt_long_sst.xls");
  ASSERT_EQ(cells.size(), 12u);
  const std::string alphabet = "abcdefghij会员卡号码KLMNOPqrst";
  for (std::size_t r = 0; r < cells.size(); ++r) {
    // Mixed Latin and Chinese: 16-bit characters throughout.
    const std::string prefix = "row " + std::to_string(r) + " ";
    ASSERT_EQ(cells[r][0].substr(0, prefix.size()), prefix);
    EXPECT_EQ(codePoints(cells[r][0]), prefix.size() + 700 + r * 37) << "row " << r;
    for (std::size_t i = prefix.size(); i < cells[r][0].size();) {
      const std::size_t len = (static_cast<unsigned char>(cells[r][0][i]) >= 0xE0) ? 3 : 1;
      ASSERT_NE(alphabet.find(cells[r][0].substr(i, len)), std::string::npos) << "row " << r;
      i += len;
    }
    // Latin only: 8-bit characters.
    EXPECT_EQ(cells[r][1], "latin " + std::to_string(r) + " " + std::string(900 + r * 91, 'x'));
  }
}

TEST(XlsReader, SharedStringsSwitchingWidthRichTextAndPhoneticBlocks) {
  EXPECT_EQ(read("crafted_sst_split.xls"),
            (Grid{{"plain"}, {"Latin part then 中文部分"}, {"rich text"}, {"after the boundary"}}));
}

TEST(XlsReader, CachedFormulaResultsOfEveryKind) {
  EXPECT_EQ(read("crafted_formulas.xls"), (Grid{
                                              {"12.5", ""},
                                              {"text result", ""},
                                              {"True", ""},
                                              {"False", ""},
                                              {"#ERROR", ""},
                                              {"", ""},   // the empty text
                                              {"", "7"},  // its STRING record is missing
                                              {"会员", ""},
                                              {"2024-03-15 12:00:00", ""},  // date format
                                          }));
}

TEST(XlsReader, MulrkRkAndMulblank) {
  const auto workbook = Workbook::open(fixture("crafted_mulrk.xls"));
  EXPECT_EQ(grid(*workbook), (Grid{
                                 {"1001", "12.5", "0.5", "2024-03-15", "-7", ""},
                                 {"", "", "-2.5", "", "", ""},
                                 {"", "", "", "", "", ""},
                                 {"", "", "", "", "", "99"},
                             }));
  EXPECT_EQ(workbook->rowCells(3).size(), 4u);  // B3:E3, blanks
}

TEST(XlsReader, LabelRstringBoolerrOutOfOrderAndDuplicates) {
  // Rows stored out of order, a DIMENSIONS record claiming A1 alone, and D3
  // stored twice: the later value wins.
  EXPECT_EQ(read("crafted_cell_records.xls"), (Grid{
                                                  {"label 8-bit", "标签 16-bit", "", ""},
                                                  {"rich", "True", "#ERROR", ""},
                                                  {"third row", "", "", "2"},
                                              }));
}

TEST(XlsReader, Biff5TextInCodePage936) {
  // The chart sheet comes first in sheet order; the first worksheet is read.
  EXPECT_EQ(read("crafted_biff5_cp936.xls"), (Grid{
                                                 {"姓名", "余额", "日期"},
                                                 {"王小明", "1234.5", "2024-03-15"},
                                                 {"ASCII only", "会员", ""},
                                             }));
}

TEST(XlsReader, EmbeddedChartCellsAndLargeSectors) {
  // The chart's own records (one looks like a cell at AO41) stay out.
  EXPECT_EQ(read("crafted_chart_4k_sectors.xls"), (Grid{{"1", ""}, {"", "2"}}));
}

// A FORMAT record that redefines a built-in id wins over its built-in
// meaning; an id the file leaves undefined keeps it.
TEST(XlsReader, FormatRecordsRedefiningBuiltinIdsWin) {
  EXPECT_EQ(read("crafted_redefined_formats.xls"), (Grid{
                                                       {"1234.56785"},  // id 5 as #,##0.00
                                                       {"45366"},       // id 31 as 0.0
                                                       {"45366"},       // id 57 as a number
                                                       {"2024-03-15"},  // id 14, built in
                                                       {"2024-03-15"},  // id 30 as a date
                                                   }));
}

// Writers' oddities that other readers take: each file reads whole.
TEST(XlsReader, RecordsOfWritersSeenInTheField) {
  const std::vector<std::pair<std::string, Grid>> cases = {
      // FORMULA records with the BIFF4 id 0x0406 in a BIFF8 workbook.
      {"crafted_formula_0406.xls", {{"12.5"}, {"text result"}, {"True"}, {"2024-03-15"}}},
      // Code page 10029, Mac Central Europe.
      {"crafted_biff5_cp10029.xls", {{"Łódź", "Příliš žluťoučký kůň"}}},
      // An empty LABEL without its flag byte.
      {"crafted_empty_label.xls", {{"before", "", "after"}}},
      // A FORMAT record a byte short of its string still names a date.
      {"crafted_format_cut_short.xls", {{"2024-03-15", "7"}}},
      // Text outside the BMP, a pair split by a CONTINUE record.
      {"crafted_surrogate_pairs.xls",
       {{"\U00020000\U00020001 会员"}, {"\U00020BB7"}, {"王\U0002A6A5"}}},
      // A workbook stream whose sectors are not one run, and a FAT that
      // needs a DIFAT sector.
      {"crafted_difat_chain.xls", {{"1", ""}, {"", "after the DIFAT"}}},
  };
  for (const auto& [name, expected] : cases)
    EXPECT_EQ(read(name), expected) << name;
  const Grid fragmented = read("crafted_fragmented_stream.xls");
  ASSERT_EQ(fragmented.size(), 30u);
  EXPECT_EQ(fragmented[29][7], "297");
}

// A file that ends inside its last sector reads as if the sector were padded.
TEST(XlsReader, LastSectorCutShort) {
  EXPECT_EQ(read("xlwt_short_last_sector.xls"), read("xlwt_values.xls"));
}

// Excel 2.x-4.x worksheets, stored as bare BIFF streams.
TEST(XlsReader, Biff2To4Worksheets) {
  const std::string error = "#ERROR";
  EXPECT_EQ(read("biff2_worksheet.xls"), (Grid{
                                             {"1001", "12.5", "café!", ""},
                                             {"2024-03-15", "1234.5678", "True", error},
                                             {"3", "abcd", "", ""},
                                             {"", "", "", ""},
                                         }));
  EXPECT_EQ(read("biff3_worksheet.xls"), (Grid{
                                             {"name", "12.5", ""},
                                             {"2024-03-15 12:00:00", "-2.5", ""},  // 1904 dates
                                             {"result", "False", ""},
                                             {"", "", ""},
                                             {"", "", ""},
                                         }));
  // Code page 936, a currency format, FORMULA 0x0406, an embedded chart.
  EXPECT_EQ(read("biff4_worksheet.xls"), (Grid{
                                             {"姓名", "余额", "日期"},
                                             {"王小明", "1234.5678", "2024-03-15"},
                                         }));
}

// Every code page a CODEPAGE record names goes through one table to a name
// this system's iconv opens (the Mac pages glibc lacks aside).
TEST(XlsReader, CodePageNumbersReachIconv) {
  const std::vector<std::pair<std::uint16_t, std::string>> named = {
      {367, "ASCII"},      {1200, "UTF-16LE"},   {10000, "MACINTOSH"}, {10029, "MAC-CENTRALEUROPE"},
      {21010, "UTF-16LE"}, {32768, "MACINTOSH"}, {65001, "UTF-8"},     {936, "CP936"},
      {1258, "CP1258"},
  };
  for (const auto& [id, name] : named)
    EXPECT_EQ(codePageName(id), name) << id;
  const std::vector<std::uint16_t> known = {
      437,   737,   775,   850,   852,   855,   857,   860,   861,   862,   863,   864,
      865,   866,   869,   874,   932,   936,   949,   950,   1200,  1250,  1251,  1252,
      1253,  1254,  1255,  1256,  1257,  1258,  1361,  10000, 10001, 10002, 10003, 10007,
      10008, 10017, 10029, 10079, 20866, 21010, 21866, 32768, 32769, 65000, 65001};
  for (const std::uint16_t id : known)
    EXPECT_TRUE(Iconv("UTF-8", codePageName(id).c_str()).isOpen()) << id;
}

}  // namespace
}  // namespace vip::sheet
