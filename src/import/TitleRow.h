#pragma once

#include <algorithm>
#include <cstddef>
#include <exception>
#include <limits>
#include <string>
#include <string_view>
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
  // The slot of a column without a title cell.
  static constexpr std::size_t kNoTitle = std::numeric_limits<std::size_t>::max();

  TitleRow(const sheet::Workbook& workbook, int colCount);

  // The title cells of row 1, in column order; a column's slot indexes them.
  std::size_t size() const { return m_titles.size(); }
  // A slot's title text; "" for kNoTitle. Throws the reader's failure of a
  // title cell that could not be read.
  const std::string& text(std::size_t slot) const;

  // Calls visit(slot, value) for every column present in row 1 or in `row`,
  // in column order up to the column count. A cell that cannot be read
  // throws its reader's failure, the title before the value of the same
  // column.
  template <typename Visit>
  void forEachColumn(int row, Visit&& visit) const;

 private:
  struct Title {
    int col = 0;
    std::string text;
    std::exception_ptr failure;  // the read failure of a title cell
  };

  const sheet::Workbook& m_workbook;
  int m_colCount;
  std::vector<Title> m_titles;
};

template <typename Visit>
void TitleRow::forEachColumn(int row, Visit&& visit) const {
  const auto cells = m_workbook.rowCells(row);
  auto cell = cells.begin();
  std::size_t slot = 0;
  for (;;) {
    const int cellCol = cell != cells.end() ? static_cast<int>(cell->col) : m_colCount + 1;
    const int titleCol = slot < m_titles.size() ? m_titles[slot].col : m_colCount + 1;
    const int col = std::min(cellCol, titleCol);
    if (col > m_colCount) return;
    const bool titled = col == titleCol;
    if (titled && m_titles[slot].failure) std::rethrow_exception(m_titles[slot].failure);
    const std::string value = col == cellCol ? m_workbook.cellText(*cell) : std::string();
    visit(titled ? slot : kNoTitle, std::string_view(value));
    if (col == cellCol) ++cell;
    if (titled) ++slot;
  }
}

}  // namespace vip::import
