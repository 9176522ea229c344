#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/FormatSettings.h"
#include "sheet/SheetError.h"
#include "sheet/Workbook.h"
#include "sheet/XlsxWriter.h"

namespace vip::sheet {
namespace {

std::string scratchPath(const std::string& name) {
  const auto dir = std::filesystem::temp_directory_path() / "vip-xlsx-writer";
  std::filesystem::create_directories(dir);
  return (dir / name).string();
}

// Whatever texts a workbook we write holds, our reader gives them back: the
// rows to fix that an import writes are imported again as they stand.
TEST(XlsxWriter, TextsReadBackExactly) {
  const std::vector<std::string> texts = {
      "plain",
      "会员卡号",
      " 前后空格 ",
      "_x0041_",
      "_X0041_ and _x005F_",
      "a\tb\nc",
      "cr\r\nlf",
      std::string("nul\0inside", 10),
      "\x01\x1f",
      "0012",
      "1001",
      "=1+1",
  };
  const std::string path = scratchPath("round_trip.xlsx");
  {
    XlsxWriter writer(path);
    writer.addSheet("未导入");
    writer.addRow({"title", "", "third"});
    for (const std::string& text : texts)
      writer.addRow({text});
    writer.addSheet("已部分导入");
    writer.addRow({"second sheet"});
    writer.close();
  }
  const auto workbook = Workbook::open(path, defaultFormatSettings());
  ASSERT_EQ(workbook->rowCount(), static_cast<int>(texts.size()) + 1);
  EXPECT_EQ(workbook->colCount(), 3);
  EXPECT_EQ(workbook->cellText(1, 1), "title");
  EXPECT_EQ(workbook->cellText(1, 2), "");
  EXPECT_EQ(workbook->cellText(1, 3), "third");
  for (std::size_t i = 0; i < texts.size(); ++i)
    EXPECT_EQ(workbook->cellText(static_cast<int>(i) + 2, 1), texts[i]) << "row " << i + 2;
}

TEST(XlsxWriter, FailuresNameTheFile) {
  try {
    XlsxWriter writer("/nonexistent-folder/rejects.xlsx");
    writer.addRow({"x"});
    writer.close();
    ADD_FAILURE() << "a workbook was written into a folder that does not exist";
  } catch (const SheetError& error) {
    EXPECT_NE(std::string(error.what()).find("/nonexistent-folder/rejects.xlsx"), std::string::npos)
        << error.what();
  }
  XlsxWriter writer(scratchPath("too_long.xlsx"));
  EXPECT_THROW(writer.addRow({std::string(40000, 'x')}), SheetError);
}

}  // namespace
}  // namespace vip::sheet
