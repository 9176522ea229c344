#pragma once

#include <cstdint>
#include <string>

#include "sheet/CellValue.h"
#include "sheet/XlsxStyles.h"
#include "sheet/XlsxXmlParser.h"

namespace vip::sheet {

class SheetData;

// Turns a worksheet part's <sheetData> into cells of a SheetData, one <c> at
// a time as the XML streams past; only the cells present cost anything, so a
// stray cell at XFD1048576 is one cell, not a billion empty ones.
class XlsxSheetParser : public XlsxXmlHandler {
 public:
  // More cells than this refuses the sheet: a bound on memory for a package
  // that inflates to hundreds of millions of empty <c/> elements.
  static constexpr std::uint32_t kMaxCells = 32u << 20;

  XlsxSheetParser(SheetData& sheet, const XlsxStyles& styles, std::uint32_t sharedStrings,
                  std::string fileName);

  void startElement(std::string_view name, const char** attributes) override;
  void endElement(std::string_view name) override;
  void characters(std::string_view text) override;

 private:
  enum class Type : std::uint8_t { Number, Shared, FormulaText, Inline, Boolean, Error, Date };

  void startRow(const char** attributes);
  void startCell(const char** attributes);
  void endCell();
  void readDate(Cell& cell);
  [[noreturn]] void fail(const std::string& reason) const;
  std::string cellName() const;

  SheetData& m_sheet;
  const XlsxStyles& m_styles;
  std::uint32_t m_sharedStrings;
  std::string m_fileName;
  std::uint32_t m_cellCount = 0;

  bool m_inSheetData = false;
  std::uint32_t m_row = 0;      // current <row>, 0 before the first
  std::uint32_t m_nextCol = 1;  // column of a following <c> without r

  // The cell being read.
  bool m_inCell = false;
  std::uint32_t m_cellRow = 0, m_cellCol = 0;
  std::uint32_t m_xf = 0;
  Type m_type = Type::Number;
  bool m_inValue = false, m_hasValue = false;
  bool m_inInline = false, m_inInlineText = false, m_hasInline = false;
  int m_phonetic = 0;
  std::string m_value;  // reused for every cell: no allocation once grown
  std::string m_inline;
};

}  // namespace vip::sheet
