#include "sheet/XlsReader.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "sheet/BiffStream.h"
#include "sheet/ByteReader.h"
#include "sheet/CodePage.h"
#include "sheet/CompoundFile.h"
#include "sheet/ContinuedReader.h"
#include "sheet/NumberFormat.h"
#include "sheet/SheetError.h"

namespace vip::sheet {
namespace {

// Record types of the BIFF5/7 and BIFF8 workbook stream.
enum : std::uint16_t {
  kFormula = 0x0006,
  kEof = 0x000A,
  kDateMode = 0x0022,
  kFilePass = 0x002F,
  kCodePage = 0x0042,
  kBoundSheet = 0x0085,
  kMulRk = 0x00BD,
  kMulBlank = 0x00BE,
  kRString = 0x00D6,
  kXf = 0x00E0,
  kSst = 0x00FC,
  kLabelSst = 0x00FD,
  kBlank = 0x0201,
  kNumber = 0x0203,
  kLabel = 0x0204,
  kBoolErr = 0x0205,
  kString = 0x0207,
  kRk = 0x027E,
  kFormat = 0x041E,
  kBof = 0x0809,
};
// BOF records of the older BIFF versions, which this reader does not take.
constexpr std::uint16_t kOldBofs[] = {0x0009, 0x0209, 0x0409};

constexpr std::uint16_t kBiff5 = 0x0500, kBiff8 = 0x0600;
constexpr std::uint16_t kGlobalsSubstream = 0x0005, kWorksheetSubstream = 0x0010;
constexpr std::uint8_t kWorksheetSheetType = 0;

// An RK number: a 30-bit integer or the high 30 bits of a double, either
// possibly scaled by 100.
double decodeRk(std::uint32_t rk) {
  double value;
  if (rk & 0x02) {
    value = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
  } else {
    const std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
    std::memcpy(&value, &bits, sizeof value);
  }
  return rk & 0x01 ? value / 100 : value;
}

// The number of cells in a MULRK or MULBLANK record: `cellSize` bytes each
// between the row and first column in front and the last column at the end,
// which must agree with that count.
std::size_t multipleCellCount(std::span<const unsigned char> data, std::size_t cellSize,
                              std::uint16_t first, const char* what) {
  if (data.size() < 6 || (data.size() - 6) % cellSize != 0)
    throw SheetError(std::string(what) + " has a length of " + std::to_string(data.size()));
  const std::size_t count = (data.size() - 6) / cellSize;
  ByteReader tail(data.subspan(data.size() - 2), what);
  if (static_cast<std::size_t>(tail.u16()) != first + count - 1)
    throw SheetError(std::string(what) + "'s last column does not match its cells");
  return count;
}

class XlsParser {
 public:
  explicit XlsParser(std::span<const unsigned char> stream) : m_stream(stream) {}

  SheetData parse() {
    readGlobals();
    readFirstWorksheet();
    m_sheet.setDate1904(m_date1904);
    m_sheet.finish();
    return std::move(m_sheet);
  }

 private:
  void readGlobals();
  void readFirstWorksheet();
  void readFormat(const BiffRecord& record);
  void readSharedStrings(const BiffRecord& record);
  void resolveStyles();
  void readCellRecord(const BiffRecord& record);
  void addNumber(std::uint16_t row, std::uint16_t col, std::uint16_t xf, double value);
  void addCell(std::uint16_t row, std::uint16_t col, Cell cell);
  std::uint32_t readLabelText(const BiffRecord& record, std::size_t textOffset);
  NumberStyle style(std::uint16_t xf) const {
    return xf < m_xfStyles.size() ? m_xfStyles[xf] : NumberStyle::General;
  }

  BiffStream m_stream;
  bool m_biff8 = true;
  bool m_date1904 = false;
  CodePage m_codePage;
  std::unordered_map<std::uint16_t, NumberStyle> m_formats;
  std::vector<std::uint16_t> m_xfFormats;
  std::vector<NumberStyle> m_xfStyles;
  std::uint32_t m_sstBase = 0, m_sstCount = 0;
  bool m_haveSheet = false;
  std::size_t m_sheetOffset = 0;
  // A formula whose text result is in the STRING record that comes next.
  bool m_awaitingString = false;
  std::uint16_t m_formulaRow = 0, m_formulaCol = 0;
  SheetData m_sheet{SheetData::kXlsMaxRows, SheetData::kXlsMaxCols};
};

void XlsParser::readGlobals() {
  BiffRecord record;
  if (!m_stream.next(record)) throw SheetError("the workbook stream is empty");
  for (const std::uint16_t old : kOldBofs)
    if (record.type == old)
      throw SheetError("the workbook is in an Excel 2.x-4.x format, which is not supported");
  if (record.type != kBof) throw SheetError("the workbook stream does not start with a BOF record");
  ByteReader bof(record.data, "the BOF record");
  const std::uint16_t version = bof.u16();
  const std::uint16_t substream = bof.u16();
  if (version != kBiff8 && version != kBiff5)
    throw SheetError("unsupported BIFF version " + std::to_string(version >> 8));
  if (substream != kGlobalsSubstream)
    throw SheetError("the workbook stream does not start with the workbook globals");
  m_biff8 = version == kBiff8;

  for (;;) {
    if (!m_stream.next(record))
      throw SheetError("the workbook stream is truncated: the workbook globals have no end");
    switch (record.type) {
      case kEof:
        resolveStyles();
        return;
      case kFilePass:
        throw SheetError(
            "the workbook is encrypted (saved with a password), which is not supported");
      case kCodePage: {
        ByteReader reader(record.data, "the CODEPAGE record");
        m_codePage.select(reader.u16());
        break;
      }
      case kDateMode: {
        ByteReader reader(record.data, "the DATEMODE record");
        m_date1904 = reader.u16() == 1;
        break;
      }
      case kFormat:
        readFormat(record);
        break;
      case kXf: {
        ByteReader reader(record.data, "an XF record");
        reader.skip(2);  // font
        m_xfFormats.push_back(reader.u16());
        break;
      }
      case kBoundSheet: {
        ByteReader reader(record.data, "a BOUNDSHEET record");
        const std::uint32_t offset = reader.u32();
        reader.skip(1);  // visibility: a hidden worksheet still counts
        const std::uint8_t type = reader.u8();
        if (type == kWorksheetSheetType && !m_haveSheet) {
          m_haveSheet = true;
          m_sheetOffset = offset;
        }
        break;
      }
      case kSst:
        readSharedStrings(record);
        break;
      default:
        break;
    }
  }
}

void XlsParser::readFormat(const BiffRecord& record) {
  std::string code;
  std::uint16_t id = 0;
  if (m_biff8) {
    const std::span<const unsigned char> segments[] = {record.data};
    ContinuedReader reader(segments, "a FORMAT record");
    id = reader.u16();
    const std::uint16_t length = reader.u16();
    reader.unicodeChars(length, code);
  } else {
    ByteReader reader(record.data, "a FORMAT record");
    id = reader.u16();
    const std::uint8_t length = reader.u8();
    m_codePage.appendUtf8(reader.bytes(length), code);
  }
  m_formats[id] = classifyFormatCode(code);
}

void XlsParser::resolveStyles() {
  m_xfStyles.reserve(m_xfFormats.size());
  for (const std::uint16_t format : m_xfFormats) {
    // A format the workbook spells out is judged by its code; the built-in
    // meaning of its id still holds where the code shows nothing special.
    NumberStyle style = NumberStyle::General;
    if (const auto it = m_formats.find(format); it != m_formats.end()) style = it->second;
    if (style == NumberStyle::General) style = classifyBuiltinFormat(format);
    m_xfStyles.push_back(style);
  }
}

void XlsParser::readSharedStrings(const BiffRecord& record) {
  if (!m_biff8) return;  // BIFF5 has no shared strings
  ContinuedReader reader(m_stream.withContinuations(record), "the shared string table");
  reader.u32();  // total references
  const std::uint32_t unique = reader.u32();
  m_sstBase = 0;
  m_sstCount = 0;
  // Each string takes at least three bytes, so a count that lies cannot make
  // the table larger than the record holds.
  m_sheet.reserveStrings(std::min<std::size_t>(unique, reader.remaining() / 3));
  std::uint32_t index = 0;
  for (; index < unique && reader.remaining() > 0; ++index) {
    std::string text;
    const std::uint16_t length = reader.u16();
    reader.unicodeChars(length, text);
    const std::uint32_t poolIndex = m_sheet.addString(std::move(text));
    if (index == 0) m_sstBase = poolIndex;
  }
  m_sstCount = index;
}

void XlsParser::readFirstWorksheet() {
  if (!m_haveSheet) throw SheetError("the workbook holds no worksheet");
  m_stream.seek(m_sheetOffset);
  BiffRecord record;
  if (!m_stream.next(record) || record.type != kBof)
    throw SheetError("the first worksheet does not start where the workbook says (offset " +
                     std::to_string(m_sheetOffset) + ")");
  ByteReader bof(record.data, "the worksheet's BOF record");
  bof.skip(2);
  if (bof.u16() != kWorksheetSubstream)
    throw SheetError("the first sheet's BOF record does not announce a worksheet");

  // Cell records take at least ten bytes each; a guess that spares the cell
  // vector its regrowth without reserving more than the stream could hold.
  m_sheet.reserveCells((m_stream.size() - m_sheetOffset) / 12);
  int depth = 1;
  while (depth > 0) {
    if (!m_stream.next(record))
      throw SheetError("the workbook stream is truncated: the first worksheet has no end");
    if (record.type == kBof) {
      ++depth;  // an embedded chart's records, up to its own EOF
    } else if (record.type == kEof) {
      --depth;
    } else if (depth == 1) {
      readCellRecord(record);
    }
  }
}

void XlsParser::addCell(std::uint16_t row, std::uint16_t col, Cell cell) {
  cell.col = static_cast<std::uint32_t>(col) + 1;
  m_sheet.addCell(static_cast<std::uint32_t>(row) + 1, cell);
}

void XlsParser::addNumber(std::uint16_t row, std::uint16_t col, std::uint16_t xf, double value) {
  Cell cell;
  cell.kind = CellKind::Number;
  cell.style = style(xf);
  cell.number = value;
  addCell(row, col, cell);
}

std::uint32_t XlsParser::readLabelText(const BiffRecord& record, std::size_t textOffset) {
  std::string text;
  if (m_biff8) {
    const auto segments = m_stream.withContinuations(record);
    ContinuedReader reader(segments, "a text cell");
    reader.skip(textOffset);
    const std::uint16_t length = reader.u16();
    reader.unicodeChars(length, text);
  } else {
    ByteReader reader(record.data, "a text cell");
    reader.skip(textOffset);
    const std::uint16_t length = reader.u16();
    m_codePage.appendUtf8(reader.bytes(length), text);
  }
  return m_sheet.addString(std::move(text));
}

void XlsParser::readCellRecord(const BiffRecord& record) {
  switch (record.type) {
    case kNumber: {
      ByteReader reader(record.data, "a NUMBER record");
      const std::uint16_t row = reader.u16(), col = reader.u16(), xf = reader.u16();
      addNumber(row, col, xf, reader.f64());
      break;
    }
    case kRk: {
      ByteReader reader(record.data, "an RK record");
      const std::uint16_t row = reader.u16(), col = reader.u16(), xf = reader.u16();
      addNumber(row, col, xf, decodeRk(reader.u32()));
      break;
    }
    case kMulRk: {
      ByteReader reader(record.data, "a MULRK record");
      const std::uint16_t row = reader.u16(), first = reader.u16();
      const std::size_t count = multipleCellCount(record.data, 6, first, "a MULRK record");
      for (std::size_t i = 0; i < count; ++i) {
        const std::uint16_t xf = reader.u16();
        addNumber(row, static_cast<std::uint16_t>(first + i), xf, decodeRk(reader.u32()));
      }
      break;
    }
    case kBlank: {
      ByteReader reader(record.data, "a BLANK record");
      const std::uint16_t row = reader.u16(), col = reader.u16();
      addCell(row, col, Cell());
      break;
    }
    case kMulBlank: {
      ByteReader reader(record.data, "a MULBLANK record");
      const std::uint16_t row = reader.u16(), first = reader.u16();
      const std::size_t count = multipleCellCount(record.data, 2, first, "a MULBLANK record");
      for (std::size_t i = 0; i < count; ++i)
        addCell(row, static_cast<std::uint16_t>(first + i), Cell());
      break;
    }
    case kLabelSst: {
      ByteReader reader(record.data, "a LABELSST record");
      const std::uint16_t row = reader.u16(), col = reader.u16();
      reader.skip(2);
      const std::uint32_t index = reader.u32();
      if (index >= m_sstCount)
        throw SheetError("a cell refers to shared string " + std::to_string(index) +
                         " but the workbook holds " + std::to_string(m_sstCount));
      Cell cell;
      cell.kind = CellKind::Text;
      cell.text = m_sstBase + index;
      addCell(row, col, cell);
      break;
    }
    case kLabel:
    case kRString: {
      ByteReader reader(record.data, "a LABEL record");
      const std::uint16_t row = reader.u16(), col = reader.u16();
      Cell cell;
      cell.kind = CellKind::Text;
      cell.text = readLabelText(record, 6);
      addCell(row, col, cell);
      break;
    }
    case kBoolErr: {
      ByteReader reader(record.data, "a BOOLERR record");
      const std::uint16_t row = reader.u16(), col = reader.u16();
      reader.skip(2);
      const std::uint8_t value = reader.u8();
      Cell cell;
      if (reader.u8()) {
        cell.kind = CellKind::Error;
        cell.errorCode = value;
      } else {
        cell.kind = CellKind::Boolean;
        cell.boolean = value != 0;
      }
      addCell(row, col, cell);
      break;
    }
    case kFormula: {
      ByteReader reader(record.data, "a FORMULA record");
      const std::uint16_t row = reader.u16(), col = reader.u16(), xf = reader.u16();
      const auto result = reader.bytes(8);
      if (result[6] != 0xFF || result[7] != 0xFF) {
        ByteReader number(result, "a FORMULA record");
        addNumber(row, col, xf, number.f64());
        break;
      }
      Cell cell;
      m_awaitingString = false;
      switch (result[0]) {
        case 0:  // text, in the STRING record that follows; empty until it comes
          m_formulaRow = row;
          m_formulaCol = col;
          m_awaitingString = true;
          break;
        case 1:
          cell.kind = CellKind::Boolean;
          cell.boolean = result[2] != 0;
          break;
        case 2:
          cell.kind = CellKind::Error;
          cell.errorCode = result[2];
          break;
        default:  // 3: the empty text
          break;
      }
      addCell(row, col, cell);
      return;
    }
    case kString: {
      if (!m_awaitingString) break;
      m_awaitingString = false;
      Cell cell;
      cell.kind = CellKind::Text;
      cell.text = readLabelText(record, 0);
      addCell(m_formulaRow, m_formulaCol, cell);
      return;
    }
    default:
      return;
  }
  m_awaitingString = false;
}

}  // namespace

SheetData readXls(std::span<const unsigned char> bytes, const std::string& name) {
  try {
    CompoundFile file(bytes);
    auto stream = file.stream("Workbook");
    if (!stream) stream = file.stream("Book");
    if (!stream)
      throw SheetError("the compound file holds no workbook stream (not an Excel workbook)");
    return XlsParser(*stream).parse();
  } catch (const SheetError& error) {
    throw SheetError(name + ": " + error.what());
  }
}

}  // namespace vip::sheet
