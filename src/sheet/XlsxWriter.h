#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vip::sheet {

// A workbook written as .xlsx (through libxlsxwriter): worksheets of text
// cells, filled row by row, in constant memory however many rows there are.
// Every text reads back exactly as written: our reader and the spreadsheet
// programs decode "_xHHHH_" escapes, so a text that holds one, or a
// character XML cannot carry, is written escaped itself.
class XlsxWriter {
 public:
  // Starts the workbook at `path`; nothing is on disk until close().
  // Throws SheetError.
  explicit XlsxWriter(const std::string& path);
  ~XlsxWriter();
  XlsxWriter(const XlsxWriter&) = delete;
  XlsxWriter& operator=(const XlsxWriter&) = delete;

  // Adds a worksheet; the rows that follow go to it. A workbook's sheets
  // are filled one after the other.
  void addSheet(const std::string& name);
  // Appends one row of texts to the current sheet; empty texts leave their
  // cells empty. Throws SheetError (a text over the 32,767 characters a cell
  // holds, a sheet past its last row).
  void addRow(const std::vector<std::string>& cells);
  // Writes the file. Throws SheetError with the library's reason.
  void close();

 private:
  struct Workbook;
  std::unique_ptr<Workbook> m_workbook;
  std::string m_path;
};

// A text as a cell of a written workbook must hold it: "_xHHHH_" sequences
// and characters XML cannot carry escaped, so reading gives the text back.
std::string escapedCellText(std::string_view text);

}  // namespace vip::sheet
