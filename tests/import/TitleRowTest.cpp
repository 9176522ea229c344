#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "import/TitleRow.h"
#include "sheet/SheetError.h"
#include "sheet/Workbook.h"

namespace vip::import {
namespace {

using sheet::Cell;
using sheet::CellKind;

// A small sheet built in memory: (row, col, text) cells, "#ERR" standing for
// an error value whose text cannot be read.
sheet::Workbook makeSheet(const std::vector<std::tuple<int, int, std::string>>& cells) {
  sheet::SheetData data;
  for (const auto& [row, col, text] : cells) {
    Cell cell;
    cell.col = static_cast<std::uint32_t>(col);
    if (text == "#ERR") {
      cell.kind = CellKind::Error;
      cell.errorCode = 0x07;  // #DIV/0!
    } else {
      cell.kind = CellKind::Text;
      cell.text = data.addString(text);
    }
    data.addCell(static_cast<std::uint32_t>(row), cell);
  }
  data.finish();
  return sheet::Workbook(std::move(data), defaultFormatSettings());
}

using Visits = std::vector<std::pair<std::string, std::string>>;

Visits walk(const sheet::Workbook& workbook, int row) {
  const TitleRow titles(workbook, workbook.colCount());
  Visits visits;
  titles.forEachColumn(row, [&](std::size_t slot, std::string_view value) {
    visits.emplace_back(titles.text(slot), value);
  });
  return visits;
}

// What reading every column from 1 to the column count gives, less the
// columns empty in both rows (they can never write anything).
Visits fullWalk(const sheet::Workbook& workbook, int row) {
  Visits visits;
  for (int col = 1; col <= workbook.colCount(); ++col) {
    std::string title = workbook.cellText(1, col), value = workbook.cellText(row, col);
    if (!title.empty() || !value.empty()) visits.emplace_back(title, value);
  }
  return visits;
}

TEST(TitleRow, VisitsTheColumnsEitherRowHoldsInColumnOrder) {
  const auto workbook = makeSheet({{1, 2, "类别编号"},
                                   {1, 4, "类别名称"},
                                   {1, 9, "备注"},
                                   {2, 1, "left of every title"},
                                   {2, 4, "金卡"},
                                   {2, 5, "under no title"},
                                   {3, 2, "02"},
                                   {4, 16000, "stray"}});
  ASSERT_EQ(workbook.colCount(), 16000);
  EXPECT_EQ(walk(workbook, 2), (Visits{{"", "left of every title"},
                                       {"类别编号", ""},
                                       {"类别名称", "金卡"},
                                       {"", "under no title"},
                                       {"备注", ""}}));
  for (int row = 2; row <= 5; ++row)
    EXPECT_EQ(walk(workbook, row), fullWalk(workbook, row));
  EXPECT_EQ(walk(workbook, 4).back(), (std::pair<std::string, std::string>{"", "stray"}));
}

TEST(TitleRow, TheFirstFailingReadInColumnOrderFailsTheRowTitleBeforeValue) {
  const auto workbook = makeSheet(
      {{1, 1, "姓名"}, {1, 3, "#ERR"}, {2, 2, "#ERR"}, {2, 3, "x"}, {3, 3, "#ERR"}, {4, 1, "甲"}});
  const std::string titleError = [&] {
    try {
      (void)workbook.cellText(1, 3);
    } catch (const sheet::SheetError& e) {
      return std::string(e.what());
    }
    return std::string("no failure");
  }();
  ASSERT_NE(titleError, "no failure");

  const TitleRow titles(workbook, workbook.colCount());
  for (const int row : {2, 3, 4}) {
    std::vector<std::string> seen;
    try {
      titles.forEachColumn(
          row, [&](std::size_t slot, std::string_view) { seen.push_back(titles.text(slot)); });
      ADD_FAILURE() << "row " << row << " read without a failure";
    } catch (const sheet::SheetError& e) {
      // Row 2 fails at its own value in column 2, before the broken title of
      // column 3; rows 3 and 4 fail at that title.
      EXPECT_EQ(seen, std::vector<std::string>{"姓名"}) << "row " << row;
      if (row != 2) {
        EXPECT_EQ(std::string(e.what()), titleError) << "row " << row;
      }
    }
  }
}

TEST(TitleRow, NoColumnsWhenTheColumnCountIsZero) {
  const auto workbook = makeSheet({{1, 1, "姓名"}, {2, 1, "甲"}});
  const TitleRow titles(workbook, 0);
  int visits = 0;
  titles.forEachColumn(2, [&](std::size_t, std::string_view) { ++visits; });
  EXPECT_EQ(visits, 0);
}

}  // namespace
}  // namespace vip::import
