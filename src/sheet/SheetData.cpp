#include "sheet/SheetData.h"

#include <algorithm>
#include <limits>

#include "sheet/SheetError.h"

namespace vip::sheet {

SheetData::SheetData(std::uint32_t maxRows, std::uint32_t maxCols)
    : m_maxRows(maxRows), m_maxCols(maxCols) {}

void SheetData::addCell(std::uint32_t row, const Cell& cell) {
  // A reference past the sheet's edge is a damaged file, never a cell to wrap
  // round onto another row or column.
  if (row < 1 || row > m_maxRows || cell.col < 1 || cell.col > m_maxCols)
    throw SheetError("cell at row " + std::to_string(row) + ", column " + std::to_string(cell.col) +
                     " lies outside the sheet's " + std::to_string(m_maxRows) + " rows and " +
                     std::to_string(m_maxCols) + " columns");
  if (m_finished) throw SheetError("a cell was added to a sheet already indexed");
  if (m_inOrder) {
    if (m_cells.empty() || row > m_currentRow ||
        (row == m_currentRow && cell.col > m_cells.back().col)) {
      appendInOrder(row, cell);
      return;
    }
    if (row == m_currentRow && cell.col == m_cells.back().col) {
      m_cells.back() = cell;  // the later of two cells at one place wins
      return;
    }
    switchToPending();
  }
  if (m_pending.size() >= std::numeric_limits<std::uint32_t>::max())
    throw SheetError("too many cells in the sheet");
  m_pending.push_back({row, static_cast<std::uint32_t>(m_pending.size()), cell});
}

void SheetData::appendInOrder(std::uint32_t row, const Cell& cell) {
  if (m_cells.size() >= std::numeric_limits<std::uint32_t>::max())
    throw SheetError("too many cells in the sheet");
  // Rows up to and including this one start at the current end; the rows
  // skipped in between are empty.
  if (m_rowStart.empty()) m_rowStart.push_back(0);
  while (m_currentRow < row) {
    m_rowStart.push_back(static_cast<std::uint32_t>(m_cells.size()));
    ++m_currentRow;
  }
  m_cells.push_back(cell);
}

void SheetData::switchToPending() {
  m_pending.reserve(m_cells.size() + 1);
  for (std::uint32_t row = 1; row <= m_currentRow; ++row) {
    const std::uint32_t end =
        row < m_currentRow ? m_rowStart[row + 1] : static_cast<std::uint32_t>(m_cells.size());
    for (std::uint32_t i = m_rowStart[row]; i < end; ++i)
      m_pending.push_back({row, static_cast<std::uint32_t>(m_pending.size()), m_cells[i]});
  }
  std::vector<Cell>().swap(m_cells);
  std::vector<std::uint32_t>().swap(m_rowStart);
  m_inOrder = false;
}

void SheetData::reserveCells(std::size_t count) {
  if (m_inOrder && m_cells.empty()) m_cells.reserve(count);
}

std::uint32_t SheetData::addString(std::string text) {
  if (m_strings.size() >= std::numeric_limits<std::uint32_t>::max())
    throw SheetError("too many strings in the workbook");
  m_strings.push_back(std::move(text));
  return static_cast<std::uint32_t>(m_strings.size() - 1);
}

void SheetData::noSuchString(std::uint32_t index) const {
  throw SheetError("a cell refers to string " + std::to_string(index) + " of " +
                   std::to_string(m_strings.size()));
}

void SheetData::finish() {
  if (m_finished) return;
  if (m_inOrder) {
    // Already in order: close the row index with the end of the last row.
    if (m_rowStart.empty()) m_rowStart.push_back(0);
    m_rowStart.push_back(static_cast<std::uint32_t>(m_cells.size()));
    std::uint32_t lastCol = 0;
    for (const Cell& cell : m_cells)
      lastCol = std::max(lastCol, cell.col);
    m_lastRow = std::max<std::uint32_t>(m_currentRow, 1);
    m_lastCol = std::max<std::uint32_t>(lastCol, 1);
    m_finished = true;
    return;
  }
  m_finished = true;
  const auto before = [](const Pending& a, const Pending& b) {
    if (a.row != b.row) return a.row < b.row;
    if (a.cell.col != b.cell.col) return a.cell.col < b.cell.col;
    return a.seq < b.seq;
  };
  // Writers nearly always store cells row by row, so the sort is usually skipped.
  if (!std::is_sorted(m_pending.begin(), m_pending.end(), before))
    std::sort(m_pending.begin(), m_pending.end(), before);

  m_cells.clear();
  m_cells.reserve(m_pending.size());
  const std::uint32_t lastRow = m_pending.empty() ? 0 : m_pending.back().row;
  std::uint32_t lastCol = 0;
  m_rowStart.assign(static_cast<std::size_t>(lastRow) + 2, 0);
  for (std::size_t i = 0; i < m_pending.size(); ++i) {
    const Pending& p = m_pending[i];
    // Of several cells at one place the one stored last wins.
    if (i + 1 < m_pending.size() && m_pending[i + 1].row == p.row &&
        m_pending[i + 1].cell.col == p.cell.col)
      continue;
    lastCol = std::max(lastCol, p.cell.col);
    m_cells.push_back(p.cell);
    ++m_rowStart[p.row + 1];
  }
  for (std::size_t r = 1; r < m_rowStart.size(); ++r)
    m_rowStart[r] += m_rowStart[r - 1];

  // An empty sheet still reports one row and one column, as a spreadsheet does.
  m_lastRow = std::max<std::uint32_t>(lastRow, 1);
  m_lastCol = std::max<std::uint32_t>(lastCol, 1);
  std::vector<Pending>().swap(m_pending);
}

std::span<const Cell> SheetData::rowCells(std::uint32_t row) const {
  if (row < 1 || row + 1 >= m_rowStart.size()) return {};
  const std::uint32_t begin = m_rowStart[row], end = m_rowStart[row + 1];
  return std::span<const Cell>(m_cells).subspan(begin, end - begin);
}

const Cell* SheetData::find(std::uint32_t row, std::uint32_t col) const {
  const auto cells = rowCells(row);
  if (cells.empty() || col < cells.front().col || col > cells.back().col) return nullptr;
  // A row without gaps is indexed directly; otherwise search it.
  if (cells.back().col - cells.front().col + 1 == cells.size())
    return &cells[col - cells.front().col];
  const auto it =
      std::lower_bound(cells.begin(), cells.end(), col,
                       [](const Cell& c, std::uint32_t value) { return c.col < value; });
  return it != cells.end() && it->col == col ? &*it : nullptr;
}

}  // namespace vip::sheet
