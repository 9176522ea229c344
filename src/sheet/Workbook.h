#pragma once

#include <memory>
#include <span>
#include <string>

#include "common/FormatSettings.h"
#include "sheet/SheetData.h"
#include "sheet/SheetError.h"

namespace vip::sheet {

// An open workbook: the first worksheet in the workbook's sheet order, read
// whole at open (.xls in a compound file or as a bare BIFF stream, .xlsx or
// .xlsm, chosen by the file's signature bytes).
// Every failure to open throws SheetError with one line naming the file and
// the reason; nothing is ever passed off as the whole workbook.
class Workbook {
 public:
  static std::unique_ptr<Workbook> open(const std::string& path,
                                        const FormatSettings& settings = defaultFormatSettings());
  // Parses bytes already in memory; `name` stands for the file in messages.
  static std::unique_ptr<Workbook> fromBytes(
      std::span<const unsigned char> bytes, const std::string& name,
      const FormatSettings& settings = defaultFormatSettings());

  Workbook(SheetData sheet, const FormatSettings& settings);

  // Index of the used range's last row / last column.
  int rowCount() const;
  int colCount() const;
  // The cell text of a 1-based row and column; "" where the sheet holds nothing.
  // Throws SheetError where the value has no text (an error value).
  std::string cellText(int row, int col) const;
  // The cells present in a row, in column order, for walks that must not
  // visit every empty column.
  std::span<const Cell> rowCells(int row) const;
  std::string cellText(const Cell& cell) const;
  void close();

 private:
  SheetData m_sheet;
  FormatSettings m_settings;
};

}  // namespace vip::sheet
