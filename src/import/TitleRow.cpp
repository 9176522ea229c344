#include "import/TitleRow.h"

namespace vip::import {

TitleRow::TitleRow(const sheet::Workbook& workbook, int colCount)
    : m_workbook(workbook), m_colCount(colCount) {
  if (colCount < 1 || workbook.rowCount() < 1) return;
  for (const sheet::Cell& cell : workbook.rowCells(1)) {
    if (static_cast<int>(cell.col) > colCount) break;
    Title title;
    title.col = static_cast<int>(cell.col);
    // A title that cannot be read fails every row that reaches its column,
    // with the reader's own failure; keep it to throw there.
    try {
      title.text = workbook.cellText(cell);
    } catch (...) {
      title.failure = std::current_exception();
    }
    m_titles.push_back(std::move(title));
  }
}

const std::string& TitleRow::text(std::size_t slot) const {
  static const std::string kEmpty;
  if (slot >= m_titles.size()) return kEmpty;
  if (m_titles[slot].failure) std::rethrow_exception(m_titles[slot].failure);
  return m_titles[slot].text;
}

}  // namespace vip::import
