#pragma once

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "sheet/Workbook.h"

namespace vip::import {

// Row 1 of a workbook (the column titles), read once per phase, and the walk
// over a data row's columns that costs time by the cells the two rows hold,
// not by the column count. A column empty in both rows reads as two empty
// texts, which can never write anything (an empty category value is skipped,
// an empty title matches no member column), so leaving it out gives exactly
// the results of reading every column from 1 to the column count.
class TitleRow {
 public:
  TitleRow(const sheet::Workbook& workbook, int colCount);

  // Calls visit(title, value) for every column present in row 1 or in `row`,
  // in column order up to the column count. A cell that cannot be read throws
  // its reader's failure, the title before the value of the same column.
  template <typename Visit>
  void forEachColumn(int row, Visit&& visit) const;

 private:
  struct Title {
    int col = 0;
    std::string text;
    std::exception_ptr failure;  // the read failure of a title cell
  };
  const std::string& titleText(const Title& title) const;

  const sheet::Workbook& m_workbook;
  int m_colCount;
  std::vector<Title> m_titles;
};

template <typename Visit>
void TitleRow::forEachColumn(int row, Visit&& visit) const {
  static const std::string kEmpty;
  const auto cells = m_workbook.rowCells(row);
  auto cell = cells.begin();
  auto title = m_titles.begin();
  for (;;) {
    const int cellCol = cell != cells.end() ? static_cast<int>(cell->col) : m_colCount + 1;
    const int titleCol = title != m_titles.end() ? title->col : m_colCount + 1;
    const int col = std::min(cellCol, titleCol);
    if (col > m_colCount) return;
    const std::string& titleText = col == titleCol ? this->titleText(*title) : kEmpty;
    const std::string value = col == cellCol ? m_workbook.cellText(*cell) : std::string();
    visit(titleText, value);
    if (col == cellCol) ++cell;
    if (col == titleCol) ++title;
  }
}

}  // namespace vip::import
