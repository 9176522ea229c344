#include "import/SheetSurvey.h"

#include <algorithm>
#include <exception>

#include "import/ColumnPlan.h"

namespace vip::import {

namespace {

// A heading above the titles is one or two rows, seldom more.
constexpr int kLowTitleRows = 10;

}  // namespace

SheetSurvey::SheetSurvey(const sheet::Workbook& workbook,
                         std::span<const std::string_view> tableTitles,
                         std::span<const std::size_t> keys, EmptyCells emptyCells)
    : m_workbook(workbook),
      m_rowCount(workbook.rowCount()),
      m_colCount(workbook.colCount()),
      m_values(tableTitles.size()) {
  readTitles(tableTitles);
  for (int row = 2; row <= m_rowCount; ++row)
    readRow(row, keys, emptyCells);
  findLowTitle(tableTitles);
}

void SheetSurvey::readTitles(std::span<const std::string_view> tableTitles) {
  m_entryByCol.assign(static_cast<std::size_t>(std::max(m_colCount, 0)) + 1, std::nullopt);
  m_lastCol.assign(tableTitles.size(), std::nullopt);
  for (const sheet::Cell& cell : m_workbook.rowCells(1)) {
    const int col = static_cast<int>(cell.col);
    if (col > m_colCount) break;
    Title title;
    title.col = col;
    try {
      title.text = m_workbook.cellText(cell);
      title.entry = findTitle(tableTitles, title.text);
    } catch (const std::exception& failure) {
      title.failure = failure.what();
    }
    m_entryByCol[static_cast<std::size_t>(col)] = title.entry;
    if (title.entry) m_lastCol[*title.entry] = col;
    m_titles.push_back(std::move(title));
  }
}

std::optional<int> SheetSurvey::lastColumnOf(std::size_t entry) const {
  return entry < m_lastCol.size() ? m_lastCol[entry] : std::nullopt;
}

void SheetSurvey::readRow(int row, std::span<const std::size_t> keys, EmptyCells emptyCells) {
  std::vector<std::string> rowValues(keys.size());
  bool holdsText = false;
  bool readable = true;
  for (const sheet::Cell& cell : m_workbook.rowCells(row)) {
    const int col = static_cast<int>(cell.col);
    if (col > m_colCount) break;
    std::string text;
    try {
      text = m_workbook.cellText(cell);
    } catch (const std::exception& failure) {
      m_unreadable.push_back({row, col, failure.what()});
      readable = false;
      continue;
    }
    if (text.empty()) continue;
    holdsText = true;
    const std::optional<std::size_t> entry = m_entryByCol[static_cast<std::size_t>(col)];
    for (std::size_t key = 0; entry && key < keys.size(); ++key) {
      if (keys[key] != *entry) continue;
      // A member row saves the last column of a title, empty or not; a
      // category row its last non-empty one.
      if (emptyCells == EmptyCells::Written && lastColumnOf(*entry) != col) continue;
      rowValues[key] = std::move(text);
      break;
    }
  }
  if (!holdsText && readable) m_emptyRows.push_back(row);
  // A row with a cell that cannot be read fails and saves nothing.
  if (!readable) return;
  for (std::size_t key = 0; key < keys.size(); ++key) {
    if (!rowValues[key].empty()) m_values[keys[key]].push_back({row, std::move(rowValues[key])});
  }
}

const std::vector<SheetSurvey::RowValue>& SheetSurvey::values(std::size_t key) const {
  return m_values.at(key);
}

void SheetSurvey::findLowTitle(std::span<const std::string_view> tableTitles) {
  if (std::any_of(m_titles.begin(), m_titles.end(),
                  [](const Title& t) { return t.entry.has_value(); }))
    return;
  for (int row = 2; row <= std::min(m_rowCount, kLowTitleRows); ++row) {
    for (const sheet::Cell& cell : m_workbook.rowCells(row)) {
      try {
        std::string text = m_workbook.cellText(cell);
        if (findTitle(tableTitles, text)) {
          m_lowTitle = LowTitle{row, std::move(text)};
          return;
        }
      } catch (const std::exception&) {
        // An unreadable cell is reported with its row.
      }
    }
  }
}

std::string columnLetters(int col) {
  std::string letters;
  for (; col > 0; col = (col - 1) / 26)
    letters.insert(letters.begin(), static_cast<char>('A' + (col - 1) % 26));
  return letters;
}

std::string cellName(int row, int col) {
  return columnLetters(col) + std::to_string(row);
}

}  // namespace vip::import
