#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sheet/CellValue.h"

namespace vip::sheet {

// The cells of one worksheet, indexed once when the workbook is opened.
// Readers add cells in any order (later duplicates win), then call finish().
class SheetData {
 public:
  static constexpr std::uint32_t kXlsMaxRows = 65536, kXlsMaxCols = 256;
  static constexpr std::uint32_t kXlsxMaxRows = 1048576, kXlsxMaxCols = 16384;

  explicit SheetData(std::uint32_t maxRows = kXlsxMaxRows, std::uint32_t maxCols = kXlsxMaxCols);

  // Row and column are 1-based; outside the sheet's limits throws SheetError.
  void addCell(std::uint32_t row, const Cell& cell);
  // A hint from the reader of how many cells are coming.
  void reserveCells(std::size_t count);
  std::uint32_t addString(std::string text);
  // A hint from the reader of how many strings are coming.
  void reserveStrings(std::size_t count) { m_strings.reserve(m_strings.size() + count); }
  void setDate1904(bool value) { m_date1904 = value; }
  void finish();

  // Index of the last used row and column of the used range (1 × 1 when empty).
  std::uint32_t lastRow() const { return m_lastRow; }
  std::uint32_t lastCol() const { return m_lastCol; }
  bool date1904() const { return m_date1904; }

  // nullptr when the sheet holds no cell there.
  const Cell* find(std::uint32_t row, std::uint32_t col) const;
  // The cells present in a row, in column order.
  std::span<const Cell> rowCells(std::uint32_t row) const;
  // Throws SheetError for an index the pool does not hold.
  const std::string& string(std::uint32_t index) const {
    if (index >= m_strings.size()) noSuchString(index);
    return m_strings[index];
  }

 private:
  struct Pending {
    std::uint32_t row;
    std::uint32_t seq;
    Cell cell;
  };
  void appendInOrder(std::uint32_t row, const Cell& cell);
  [[noreturn]] void noSuchString(std::uint32_t index) const;
  void switchToPending();

  std::uint32_t m_maxRows, m_maxCols;
  // While cells arrive in (row, column) order they go straight into m_cells
  // and m_rowStart; the first one out of order moves them all to m_pending,
  // which finish() sorts.
  bool m_inOrder = true;
  bool m_finished = false;
  std::uint32_t m_currentRow = 0;
  std::vector<Pending> m_pending;
  std::vector<Cell> m_cells;              // sorted by (row, col)
  std::vector<std::uint32_t> m_rowStart;  // m_rowStart[r] .. m_rowStart[r+1]
  std::vector<std::string> m_strings;
  std::uint32_t m_lastRow = 1, m_lastCol = 1;
  bool m_date1904 = false;
};

}  // namespace vip::sheet
