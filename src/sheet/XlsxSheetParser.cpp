#include "sheet/XlsxSheetParser.h"

#include "sheet/SheetData.h"
#include "sheet/SheetError.h"
#include "sheet/XlsxValues.h"

namespace vip::sheet {

namespace {

std::string columnName(std::uint32_t col) {
  std::string name;
  while (col > 0) {
    name.insert(name.begin(), static_cast<char>('A' + (col - 1) % 26));
    col = (col - 1) / 26;
  }
  return name;
}

}  // namespace

XlsxSheetParser::XlsxSheetParser(SheetData& sheet, const XlsxStyles& styles,
                                 std::uint32_t sharedStrings, std::string fileName)
    : m_sheet(sheet),
      m_styles(styles),
      m_sharedStrings(sharedStrings),
      m_fileName(std::move(fileName)) {}

void XlsxSheetParser::fail(const std::string& reason) const {
  throw SheetError(m_fileName + ": " + reason);
}

std::string XlsxSheetParser::cellName() const {
  return columnName(m_cellCol) + std::to_string(m_cellRow);
}

void XlsxSheetParser::startElement(std::string_view name, const char** attributes) {
  if (!m_inSheetData) {
    if (name == "sheetData") m_inSheetData = true;
    return;
  }
  if (name == "c") {
    startCell(attributes);
  } else if (!m_inCell) {
    if (name == "row") startRow(attributes);
  } else if (name == "v") {
    m_inValue = true;
    m_hasValue = true;
  } else if (name == "is") {
    m_inInline = true;
    m_hasInline = true;
  } else if (name == "rPh") {
    ++m_phonetic;
  } else if (name == "t" && m_inInline && m_phonetic == 0) {
    m_inInlineText = true;
  }
}

void XlsxSheetParser::endElement(std::string_view name) {
  if (!m_inSheetData) return;
  if (name == "c") {
    if (m_inCell) endCell();
  } else if (name == "v") {
    m_inValue = false;
  } else if (name == "t") {
    m_inInlineText = false;
  } else if (name == "rPh") {
    if (m_phonetic > 0) --m_phonetic;
  } else if (name == "is") {
    m_inInline = false;
  } else if (name == "sheetData") {
    m_inSheetData = false;
  }
}

void XlsxSheetParser::characters(std::string_view text) {
  if (m_inValue) {
    m_value.append(text);
  } else if (m_inInlineText) {
    m_inline.append(text);
  }
}

void XlsxSheetParser::startRow(const char** attributes) {
  const char* r = xmlAttribute(attributes, "r");
  if (r != nullptr) {
    auto row = XlsxValues::rowNumber(r);
    if (!row)
      fail("the worksheet has a row numbered \"" + std::string(r) + "\", outside 1 to 1048576");
    m_row = *row;
  } else {
    // A row without a number follows the previous one.
    if (m_row >= XlsxValues::kMaxRows) fail("the worksheet has more than 1048576 rows");
    ++m_row;
  }
  m_nextCol = 1;
}

void XlsxSheetParser::startCell(const char** attributes) {
  const char* r = nullptr;
  const char* s = nullptr;
  const char* t = nullptr;
  for (const char** a = attributes; a[0] != nullptr; a += 2) {
    // Nearly every attribute here is one unprefixed letter; only others need
    // their prefix looked for.
    std::string_view attribute =
        a[0][0] != '\0' && a[0][1] == '\0' ? std::string_view(a[0], 1) : xmlLocalName(a[0]);
    if (attribute == "r") {
      r = a[1];
    } else if (attribute == "s") {
      s = a[1];
    } else if (attribute == "t") {
      t = a[1];
    }
  }

  if (r != nullptr) {
    auto ref = XlsxValues::cellRef(r);
    if (!ref) {
      fail("the worksheet has a cell at \"" + std::string(r) +
           "\", which is not a cell reference inside A1:XFD1048576");
    }
    m_cellRow = ref->row;
    m_cellCol = ref->col;
  } else {
    // A cell without a reference takes the next column of its row.
    m_cellRow = m_row == 0 ? 1 : m_row;
    m_cellCol = m_nextCol;
    if (m_cellCol > XlsxValues::kMaxCols) {
      fail("row " + std::to_string(m_cellRow) + " of the worksheet runs past column XFD");
    }
  }
  m_nextCol = m_cellCol + 1;

  m_xf = 0;
  // s="" is a cell without a style, as if the attribute were left out.
  if (s != nullptr && *s != '\0') {
    auto xf = XlsxValues::index(s);
    if (!xf) fail("cell " + cellName() + " has the style index \"" + s + "\", which is no number");
    m_xf = *xf;
  }

  std::string_view type = t == nullptr ? std::string_view("n") : std::string_view(t);
  if (type == "n") {
    m_type = Type::Number;
  } else if (type == "s") {
    m_type = Type::Shared;
  } else if (type == "str") {
    m_type = Type::FormulaText;
  } else if (type == "inlineStr") {
    m_type = Type::Inline;
  } else if (type == "b") {
    m_type = Type::Boolean;
  } else if (type == "e") {
    m_type = Type::Error;
  } else if (type == "d") {
    m_type = Type::Date;
  } else {
    fail("cell " + cellName() + " has the unknown type \"" + std::string(type) + "\"");
  }

  m_inCell = true;
  m_inValue = m_hasValue = false;
  m_inInline = m_inInlineText = m_hasInline = false;
  m_phonetic = 0;
  m_value.clear();
  m_inline.clear();
}

void XlsxSheetParser::readDate(Cell& cell) {
  cell.kind = CellKind::Number;
  cell.style = NumberStyle::Date;
  if (const auto serial = XlsxValues::isoDateSerial(m_value)) {
    // Serials of a 1904 workbook count from 1904-01-01, 1462 days later;
    // the date written out must come back as itself. A time alone (below
    // one day) reads the same in both date systems.
    cell.number = m_sheet.date1904() && (*serial >= 1 || *serial < 0) ? *serial - 1462 : *serial;
  } else if (const auto days = XlsxValues::isoDurationDays(m_value)) {
    // A duration is a time value: the time of day it reaches from midnight.
    cell.number = *days;
  } else {
    // Only this cell's read fails, as a cell whose value has no text would.
    cell.kind = CellKind::Unreadable;
    cell.text =
        m_sheet.addString("cell " + cellName() + " holds \"" + m_value + "\", which is not a date");
  }
}

void XlsxSheetParser::endCell() {
  m_inCell = false;
  m_inValue = m_inInline = m_inInlineText = false;
  if (++m_cellCount > kMaxCells) {
    fail("the worksheet holds more than " + std::to_string(kMaxCells) + " cells");
  }

  Cell cell;
  cell.col = m_cellCol;
  // A formula whose result was never cached, or a formatted blank: the cell
  // is there (it counts in the used range) but holds nothing.
  cell.kind = CellKind::Empty;

  switch (m_type) {
    case Type::Number:
      if (m_hasValue && !m_value.empty()) {
        auto value = XlsxValues::number(m_value);
        if (!value)
          fail("cell " + cellName() + " holds \"" + m_value + "\", which is not a number");
        cell.kind = CellKind::Number;
        cell.number = *value;
        cell.style = m_styles.style(m_xf);
      }
      break;
    case Type::Date:
      if (m_hasValue && !m_value.empty()) readDate(cell);
      break;
    case Type::Shared:
      if (m_hasValue && !m_value.empty()) {
        auto index = XlsxValues::index(m_value);
        if (!index || *index >= m_sharedStrings) {
          fail("cell " + cellName() + " refers to shared string \"" + m_value +
               "\", but the table holds " + std::to_string(m_sharedStrings));
        }
        cell.kind = CellKind::Text;
        cell.text = *index;
      }
      break;
    case Type::FormulaText:
    case Type::Inline: {
      std::string* text = m_hasInline ? &m_inline : m_hasValue ? &m_value : nullptr;
      if (text != nullptr) {
        XlsxValues::decodeEscapes(*text);
        cell.kind = CellKind::Text;
        cell.text = m_sheet.addString(*text);
      }
      break;
    }
    case Type::Boolean:
      if (m_hasValue && !m_value.empty()) {
        auto value = XlsxValues::index(m_value);
        if (value && *value <= 1) {
          cell.boolean = *value == 1;
        } else if (m_value == "true" || m_value == "false") {
          cell.boolean = m_value == "true";
        } else {
          fail("cell " + cellName() + " holds \"" + m_value + "\", which is not a boolean");
        }
        cell.kind = CellKind::Boolean;
      }
      break;
    case Type::Error:
      if (m_hasValue && !m_value.empty()) {
        cell.kind = CellKind::Error;
        cell.errorCode = XlsxValues::errorCode(m_value);
      }
      break;
  }
  m_sheet.addCell(m_cellRow, cell);
}

}  // namespace vip::sheet
