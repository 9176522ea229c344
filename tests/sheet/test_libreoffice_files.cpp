// Workbooks saved by LibreOffice Calc (recipe: fixtures/sheet/libreoffice/
// make_fixtures.sh): another writer's records, formula results and styles.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sheet/Workbook.h"

namespace vip::sheet {
namespace {

const std::string kError = "<error>";

std::vector<std::vector<std::string>> expectedCells(const std::string& sixteenDigits) {
  return {
      {"类别编号", "姓名", "数字", "公式", "", "日期", "布尔"},
      {"01", "张三", "1001", "2002", "", "2024-03-15", "True"},
      {"02", "  李四 ", "12.5", "0.3", "", "2024-03-15 08:30:00", "False"},
      {"03", "王五", "13812345678", "abcd", "", "06:00:00", ""},
      {"04", "赵六", sixteenDigits, "True", "", "1234.5679", ""},
      {"05", "", "5E-5", kError, "", "-3", ""},
      {"06", "钱七", "1E20", "", "", "45000", ""},
  };
}

void expectSheet(const std::string& file, const std::vector<std::vector<std::string>>& cells) {
  auto workbook = Workbook::open(std::string(VIP_FIXTURES) + "/sheet/libreoffice/" + file);
  ASSERT_EQ(workbook->rowCount(), static_cast<int>(cells.size()));
  ASSERT_EQ(workbook->colCount(), static_cast<int>(cells[0].size()));
  for (int r = 1; r <= workbook->rowCount(); ++r) {
    for (int c = 1; c <= workbook->colCount(); ++c) {
      std::string text;
      try {
        text = workbook->cellText(r, c);
      } catch (const SheetError&) {
        text = kError;
      }
      EXPECT_EQ(text, cells[static_cast<size_t>(r - 1)][static_cast<size_t>(c - 1)])
          << file << " row " << r << " column " << c;
    }
  }
}

TEST(LibreOfficeFiles, XlsReadsAsTheImportSeesIt) {
  expectSheet("lo_values.xls", expectedCells("6200123456789012"));
}

// LibreOffice writes numbers into .xlsx with 15 significant digits, so the
// 16-digit number arrives as 6200123456789010: the file's own value.
TEST(LibreOfficeFiles, XlsxReadsAsTheImportSeesIt) {
  expectSheet("lo_values.xlsx", expectedCells("6200123456789010"));
}

}  // namespace
}  // namespace vip::sheet
