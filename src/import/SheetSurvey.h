#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sheet/Workbook.h"

namespace vip::import {

// What a workbook's first sheet holds beyond what its rows import: its
// titles against a column table, the rows that hold nothing, the cells that
// cannot be read, and the values of some columns as the import would save
// them. Read once, row by row, as the import reads them.
class SheetSurvey {
 public:
  // Whether an empty cell of a known column is written (member rows) or
  // leaves the column to the store (category rows): which of two columns
  // with one title gives a row's value.
  enum class EmptyCells { Written, Skipped };

  struct Title {
    int col = 0;
    std::string text;
    std::optional<std::string> failure;  // the reader's message for a title it cannot read
    std::optional<std::size_t> entry;    // in the column table: the first equal title
  };
  struct UnreadableCell {
    int row = 0;
    int col = 0;
    std::string message;
  };
  struct RowValue {
    int row = 0;
    std::string text;  // never empty
  };
  // A known title standing in a row below the title row.
  struct LowTitle {
    int row = 0;
    std::string text;
  };

  // Collects the values of the table entries `keys` for every data row.
  SheetSurvey(const sheet::Workbook& workbook, std::span<const std::string_view> tableTitles,
              std::span<const std::size_t> keys, EmptyCells emptyCells);

  int rowCount() const { return m_rowCount; }
  int colCount() const { return m_colCount; }
  int dataRows() const { return m_rowCount > 1 ? m_rowCount - 1 : 0; }
  // The title cells of row 1 up to the column count, in column order.
  const std::vector<Title>& titles() const { return m_titles; }
  // The last column whose title is the entry's: the one whose value a
  // member row saves.
  std::optional<int> lastColumnOf(std::size_t entry) const;
  // Data rows in which no cell has a text, in ascending order.
  const std::vector<int>& emptyRows() const { return m_emptyRows; }
  const std::vector<UnreadableCell>& unreadableCells() const { return m_unreadable; }
  // The rows' non-empty values of a key entry, by row.
  const std::vector<RowValue>& values(std::size_t key) const;
  // Where no title of row 1 is known: the first known title in the rows
  // just below it, which suggests a heading row above the titles.
  const std::optional<LowTitle>& lowTitle() const { return m_lowTitle; }

 private:
  void readTitles(std::span<const std::string_view> tableTitles);
  void readRow(int row, std::span<const std::size_t> keys, EmptyCells emptyCells);
  void findLowTitle(std::span<const std::string_view> tableTitles);

  const sheet::Workbook& m_workbook;
  int m_rowCount = 0;
  int m_colCount = 0;
  std::vector<Title> m_titles;
  std::vector<std::optional<std::size_t>> m_entryByCol;  // [col], for titled columns
  std::vector<std::optional<int>> m_lastCol;             // by entry of the column table
  std::vector<int> m_emptyRows;
  std::vector<UnreadableCell> m_unreadable;
  std::vector<std::vector<RowValue>> m_values;  // by entry of the column table
  std::optional<LowTitle> m_lowTitle;
};

// A1-style names: "A", "Z", "AA"; "C5".
std::string columnLetters(int col);
std::string cellName(int row, int col);

}  // namespace vip::import
