#include "sheet/XlsReader.h"

#include <algorithm>
#include <cstring>
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

// Record types of the workbook stream, BIFF2 to BIFF8.
enum : std::uint16_t {
  kBlank2 = 0x0001,  // BIFF2 cell records, with 3 bytes of cell attributes
  kInteger2 = 0x0002,
  kNumber2 = 0x0003,
  kLabel2 = 0x0004,
  kBoolErr2 = 0x0005,
  kFormula = 0x0006,  // BIFF2 (with attributes) and BIFF5-8
  kString2 = 0x0007,
  kEof = 0x000A,
  kFormat2 = 0x001E,  // BIFF2-3: the formats are numbered in their order
  kDateMode = 0x0022,
  kFilePass = 0x002F,
  kCodePage = 0x0042,
  kXf2 = 0x0043,
  kIxfe = 0x0044,  // BIFF2: the XF index of the next cell, where its own says 63
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
  kFormula3 = 0x0206,
  kString = 0x0207,
  kXf3 = 0x0243,
  kRk = 0x027E,
  kFormula4 = 0x0406,  // some BIFF8 writers use it too
  kFormat = 0x041E,
  kXf4 = 0x0443,
  kBof2 = 0x0009,
  kBof3 = 0x0209,
  kBof4 = 0x0409,
  kBof = 0x0809,
};

enum class Biff { V2, V3, V4, V5, V8 };

constexpr std::uint16_t kBiff5 = 0x0500, kBiff8 = 0x0600;
constexpr std::uint16_t kGlobalsSubstream = 0x0005, kWorksheetSubstream = 0x0010;
constexpr std::uint16_t kBiff4WorkbookSubstream = 0x0100;
constexpr std::uint8_t kWorksheetSheetType = 0;
constexpr unsigned kBiff2FormatMask = 0x3F;

bool isBof(std::uint16_t type) {
  return type == kBof2 || type == kBof3 || type == kBof4 || type == kBof;
}

ByteReader recordReader(const BiffRecord& record, const char* what) {
  return ByteReader(record.data, what, record.dataOffset());
}

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
std::size_t multipleCellCount(const BiffRecord& record, std::size_t cellSize, std::uint16_t first,
                              const char* what) {
  const auto data = record.data;
  if (data.size() < 6 || (data.size() - 6) % cellSize != 0)
    throw SheetError(std::string(what) + " at offset " + std::to_string(record.offset) +
                     " has a length of " + std::to_string(data.size()));
  const std::size_t count = (data.size() - 6) / cellSize;
  ByteReader tail(data.subspan(data.size() - 2), what, record.dataOffset() + data.size() - 2);
  if (static_cast<std::size_t>(tail.u16()) != first + count - 1)
    throw SheetError(std::string(what) + "'s last column does not match its cells");
  return count;
}

// What a cell record gives before its value: where it is and its format.
struct CellHead {
  std::uint16_t row = 0, col = 0;
  NumberStyle style = NumberStyle::General;
};

class XlsParser {
 public:
  explicit XlsParser(std::span<const unsigned char> stream) : m_stream(stream) {}

  SheetData parse() {
    readFirstBof();
    m_sheet.setDate1904(m_date1904);
    m_sheet.finish();
    return std::move(m_sheet);
  }

 private:
  void readFirstBof();
  void readGlobals();
  void readFirstWorksheet();
  void readSheetRecords();
  bool readSettingRecord(const BiffRecord& record);
  void readFormat(const BiffRecord& record);
  void readXf(const BiffRecord& record);
  void readSharedStrings(const BiffRecord& record);
  void resolveStyles();
  bool readCellRecord(const BiffRecord& record);
  bool readBiff2CellRecord(const BiffRecord& record);
  void readFormula(const BiffRecord& record);
  CellHead readHead(ByteReader& reader);
  CellHead readBiff2Head(ByteReader& reader);
  void addNumber(const CellHead& head, double value);
  void addCell(std::uint16_t row, std::uint16_t col, Cell cell);
  void addText(std::uint16_t row, std::uint16_t col, std::uint32_t text);
  std::uint32_t readLabelText(const BiffRecord& record, std::size_t textOffset);
  std::uint32_t readByteText(ByteReader& reader, std::size_t length);
  NumberStyle style(std::uint16_t xf) {
    if (!m_stylesResolved) resolveStyles();
    return xf < m_xfStyles.size() ? m_xfStyles[xf] : NumberStyle::General;
  }

  BiffStream m_stream;
  Biff m_biff = Biff::V8;
  bool m_date1904 = false;
  CodePage m_codePage;
  NumberFormatTable m_formats;
  std::uint32_t m_formatCount = 0;  // BIFF2-4 number their formats in order
  std::vector<std::uint32_t> m_xfFormats;
  std::vector<NumberStyle> m_xfStyles;
  bool m_stylesResolved = false;
  std::uint32_t m_sstBase = 0, m_sstCount = 0;
  bool m_haveSheet = false;
  std::size_t m_sheetOffset = 0;
  // A formula whose text result is in the STRING record that comes next.
  bool m_awaitingString = false;
  std::uint16_t m_formulaRow = 0, m_formulaCol = 0;
  SheetData m_sheet{SheetData::kXlsMaxRows, SheetData::kXlsMaxCols};
};

void XlsParser::readFirstBof() {
  BiffRecord record;
  if (!m_stream.next(record)) throw SheetError("the workbook stream is empty");
  if (!isBof(record.type)) throw SheetError("the workbook stream does not start with a BOF record");
  ByteReader bof = recordReader(record, "the BOF record");
  std::uint16_t substream = 0;
  if (record.type == kBof) {
    const std::uint16_t version = bof.u16();
    if (version != kBiff8 && version != kBiff5)
      throw SheetError("unsupported BIFF version " + std::to_string(version >> 8));
    m_biff = version == kBiff8 ? Biff::V8 : Biff::V5;
    substream = bof.u16();
  } else {
    m_biff = record.type == kBof2 ? Biff::V2 : record.type == kBof3 ? Biff::V3 : Biff::V4;
    bof.skip(2);  // version
    substream = bof.u16();
  }

  if (substream == kWorksheetSubstream) {
    // A worksheet on its own (Excel 2.x-4.x, some exports): its formats,
    // code page and date system are among its own records.
    readSheetRecords();
  } else if (m_biff >= Biff::V5 && substream == kGlobalsSubstream) {
    readGlobals();
    readFirstWorksheet();
  } else if (m_biff == Biff::V4 && substream == kBiff4WorkbookSubstream) {
    throw SheetError(
        "the file is an Excel 4.0 workbook (several sheets in one stream), which is not "
        "supported; save it as a newer workbook or each sheet as an Excel 4.0 worksheet");
  } else if (m_biff >= Biff::V5) {
    throw SheetError("the workbook stream does not start with the workbook globals");
  } else {
    throw SheetError("the workbook holds no worksheet (an Excel 2.x-4.x chart or macro sheet)");
  }
}

// Records that set up how cells read, in the globals of a workbook or in a
// worksheet stream of its own. False for any other record.
bool XlsParser::readSettingRecord(const BiffRecord& record) {
  switch (record.type) {
    case kFilePass:
      throw SheetError("the workbook is encrypted (saved with a password), which is not supported");
    case kCodePage: {
      ByteReader reader = recordReader(record, "the CODEPAGE record");
      m_codePage.select(reader.u16());
      return true;
    }
    case kDateMode: {
      ByteReader reader = recordReader(record, "the DATEMODE record");
      m_date1904 = reader.u16() == 1;
      return true;
    }
    case kFormat:
    case kFormat2:
      readFormat(record);
      return true;
    case kXf:
    case kXf3:
    case kXf4:
      readXf(record);
      return true;
    default:
      return false;
  }
}

void XlsParser::readGlobals() {
  BiffRecord record;
  for (;;) {
    if (!m_stream.next(record))
      throw SheetError("the workbook stream is truncated: the workbook globals have no end");
    if (readSettingRecord(record)) continue;
    switch (record.type) {
      case kEof:
        resolveStyles();
        return;
      case kBoundSheet: {
        ByteReader reader = recordReader(record, "a BOUNDSHEET record");
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

void XlsParser::readXf(const BiffRecord& record) {
  ByteReader reader = recordReader(record, "an XF record");
  if (m_biff >= Biff::V5) {
    reader.skip(2);  // font
    m_xfFormats.push_back(reader.u16());
  } else {
    reader.skip(1);  // font
    m_xfFormats.push_back(reader.u8());
  }
  m_stylesResolved = false;
}

// A FORMAT record whose string is shorter than it says (a broken writer cut
// it) still gives the characters it holds: a format code only decides how a
// number reads, so what is there is the best guess of what was meant.
void XlsParser::readFormat(const BiffRecord& record) {
  std::string code;
  std::uint32_t id = 0;
  if (m_biff == Biff::V8) {
    ByteReader head = recordReader(record, "a FORMAT record");
    id = head.u16();
    std::size_t length = head.u16();
    if (head.remaining() > 0) {
      const std::size_t width = record.data[4] & 0x01 ? 2 : 1;
      length = std::min(length, (head.remaining() - 1) / width);
    }
    const BiffSegment segments[] = {{record.data, record.dataOffset()}};
    ContinuedReader reader(segments, "a FORMAT record");
    reader.skip(4);
    reader.unicodeChars(length, code);
  } else {
    ByteReader reader = recordReader(record, "a FORMAT record");
    if (m_biff == Biff::V5) {
      id = reader.u16();
    } else {
      if (record.type == kFormat) reader.skip(2);  // BIFF4: not used
      id = m_formatCount++;
    }
    const std::size_t length = std::min<std::size_t>(reader.u8(), reader.remaining());
    m_codePage.appendUtf8(reader.bytes(length), code);
  }
  m_formats.define(id, code);
  m_stylesResolved = false;
}

void XlsParser::resolveStyles() {
  m_xfStyles.clear();
  m_xfStyles.reserve(m_xfFormats.size());
  for (const std::uint32_t format : m_xfFormats)
    m_xfStyles.push_back(m_formats.classify(format));
  m_stylesResolved = true;
}

void XlsParser::readSharedStrings(const BiffRecord& record) {
  if (m_biff != Biff::V8) return;  // BIFF5 has no shared strings
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
  ByteReader bof = recordReader(record, "the worksheet's BOF record");
  bof.skip(2);
  if (bof.u16() != kWorksheetSubstream)
    throw SheetError("the first sheet's BOF record does not announce a worksheet");
  readSheetRecords();
}

// The records of a worksheet after its BOF, up to its EOF.
void XlsParser::readSheetRecords() {
  // Cell records take at least ten bytes each; a guess that spares the cell
  // vector its regrowth without reserving more than the stream could hold.
  m_sheet.reserveCells((m_stream.size() - m_sheetOffset) / 12);
  BiffRecord record;
  for (int depth = 1; depth > 0;) {
    if (!m_stream.next(record))
      throw SheetError("the workbook stream is truncated: the first worksheet has no end");
    // Cell records are nearly all of a sheet, so they are looked for first.
    if (depth == 1 && readCellRecord(record)) continue;
    if (isBof(record.type)) {
      ++depth;  // an embedded chart's records, up to its own EOF
    } else if (record.type == kEof) {
      --depth;
    } else if (depth == 1) {
      readSettingRecord(record);
    }
  }
}

void XlsParser::addCell(std::uint16_t row, std::uint16_t col, Cell cell) {
  cell.col = static_cast<std::uint32_t>(col) + 1;
  m_sheet.addCell(static_cast<std::uint32_t>(row) + 1, cell);
}

void XlsParser::addNumber(const CellHead& head, double value) {
  Cell cell;
  cell.kind = CellKind::Number;
  cell.style = head.style;
  cell.number = value;
  addCell(head.row, head.col, cell);
}

void XlsParser::addText(std::uint16_t row, std::uint16_t col, std::uint32_t text) {
  Cell cell;
  cell.kind = CellKind::Text;
  cell.text = text;
  addCell(row, col, cell);
}

CellHead XlsParser::readHead(ByteReader& reader) {
  CellHead head;
  head.row = reader.u16();
  head.col = reader.u16();
  head.style = style(reader.u16());
  return head;
}

// BIFF2 cells carry their attributes in three bytes; the second names the
// cell's FORMAT record by its place in the file.
CellHead XlsParser::readBiff2Head(ByteReader& reader) {
  CellHead head;
  head.row = reader.u16();
  head.col = reader.u16();
  reader.skip(1);  // XF index, hidden, locked
  head.style = m_formats.classify(reader.u8() & kBiff2FormatMask);
  reader.skip(1);  // alignment, borders
  return head;
}

std::uint32_t XlsParser::readByteText(ByteReader& reader, std::size_t length) {
  std::string text;
  m_codePage.appendUtf8(reader.bytes(length), text);
  return m_sheet.addString(std::move(text));
}

std::uint32_t XlsParser::readLabelText(const BiffRecord& record, std::size_t textOffset) {
  if (m_biff != Biff::V8) {
    ByteReader reader = recordReader(record, "a text cell");
    reader.skip(textOffset);
    return readByteText(reader, reader.u16());
  }
  std::string text;
  ContinuedReader reader(m_stream.withContinuations(record), "a text cell");
  reader.skip(textOffset);
  const std::uint16_t length = reader.u16();
  reader.unicodeChars(length, text);
  return m_sheet.addString(std::move(text));
}

void XlsParser::readFormula(const BiffRecord& record) {
  ByteReader reader = recordReader(record, "a FORMULA record");
  const CellHead head = m_biff == Biff::V2 ? readBiff2Head(reader) : readHead(reader);
  const auto result = reader.bytes(8);
  m_awaitingString = false;
  if (result[6] != 0xFF || result[7] != 0xFF) {
    ByteReader number(result, "a FORMULA record", record.dataOffset());
    addNumber(head, number.f64());
    return;
  }
  Cell cell;
  switch (result[0]) {
    case 0:  // text, in the STRING record that follows; empty until it comes
      m_formulaRow = head.row;
      m_formulaCol = head.col;
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
  addCell(head.row, head.col, cell);
}

bool XlsParser::readBiff2CellRecord(const BiffRecord& record) {
  switch (record.type) {
    case kIxfe:  // the format comes from the cell's own attributes
      return true;
    case kBlank2: {
      ByteReader reader = recordReader(record, "a BLANK record");
      const CellHead head = readBiff2Head(reader);
      addCell(head.row, head.col, Cell());
      break;
    }
    case kInteger2: {
      ByteReader reader = recordReader(record, "an INTEGER record");
      const CellHead head = readBiff2Head(reader);
      addNumber(head, reader.u16());
      break;
    }
    case kNumber2: {
      ByteReader reader = recordReader(record, "a NUMBER record");
      const CellHead head = readBiff2Head(reader);
      addNumber(head, reader.f64());
      break;
    }
    case kLabel2: {
      ByteReader reader = recordReader(record, "a LABEL record");
      const CellHead head = readBiff2Head(reader);
      addText(head.row, head.col, readByteText(reader, reader.u8()));
      break;
    }
    case kBoolErr2: {
      ByteReader reader = recordReader(record, "a BOOLERR record");
      const CellHead head = readBiff2Head(reader);
      const std::uint8_t value = reader.u8();
      Cell cell;
      if (reader.u8()) {
        cell.kind = CellKind::Error;
        cell.errorCode = value;
      } else {
        cell.kind = CellKind::Boolean;
        cell.boolean = value != 0;
      }
      addCell(head.row, head.col, cell);
      break;
    }
    case kString2: {
      if (!m_awaitingString) break;
      m_awaitingString = false;
      ByteReader reader = recordReader(record, "a STRING record");
      addText(m_formulaRow, m_formulaCol, readByteText(reader, reader.u8()));
      return true;
    }
    default:
      return false;
  }
  m_awaitingString = false;
  return true;
}

// False for a record that is no cell record.
bool XlsParser::readCellRecord(const BiffRecord& record) {
  if (m_biff == Biff::V2 && readBiff2CellRecord(record)) return true;
  switch (record.type) {
    case kNumber: {
      ByteReader reader = recordReader(record, "a NUMBER record");
      const CellHead head = readHead(reader);
      addNumber(head, reader.f64());
      break;
    }
    case kRk: {
      ByteReader reader = recordReader(record, "an RK record");
      const CellHead head = readHead(reader);
      addNumber(head, decodeRk(reader.u32()));
      break;
    }
    case kMulRk: {
      ByteReader reader = recordReader(record, "a MULRK record");
      const std::uint16_t row = reader.u16(), first = reader.u16();
      const std::size_t count = multipleCellCount(record, 6, first, "a MULRK record");
      for (std::size_t i = 0; i < count; ++i) {
        CellHead head{row, static_cast<std::uint16_t>(first + i), style(reader.u16())};
        addNumber(head, decodeRk(reader.u32()));
      }
      break;
    }
    case kBlank: {
      ByteReader reader = recordReader(record, "a BLANK record");
      const std::uint16_t row = reader.u16(), col = reader.u16();
      addCell(row, col, Cell());
      break;
    }
    case kMulBlank: {
      ByteReader reader = recordReader(record, "a MULBLANK record");
      const std::uint16_t row = reader.u16(), first = reader.u16();
      const std::size_t count = multipleCellCount(record, 2, first, "a MULBLANK record");
      for (std::size_t i = 0; i < count; ++i)
        addCell(row, static_cast<std::uint16_t>(first + i), Cell());
      break;
    }
    case kLabelSst: {
      ByteReader reader = recordReader(record, "a LABELSST record");
      const std::uint16_t row = reader.u16(), col = reader.u16();
      reader.skip(2);
      const std::uint32_t index = reader.u32();
      if (index >= m_sstCount)
        throw SheetError("a cell refers to shared string " + std::to_string(index) +
                         " but the workbook holds " + std::to_string(m_sstCount));
      addText(row, col, m_sstBase + index);
      break;
    }
    case kLabel:
    case kRString: {
      ByteReader reader = recordReader(record, "a LABEL record");
      const std::uint16_t row = reader.u16(), col = reader.u16();
      addText(row, col, readLabelText(record, 6));
      break;
    }
    case kBoolErr: {
      ByteReader reader = recordReader(record, "a BOOLERR record");
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
    case kFormula:
    case kFormula3:
    case kFormula4:
      readFormula(record);
      return true;
    case kString: {
      if (!m_awaitingString) break;
      m_awaitingString = false;
      addText(m_formulaRow, m_formulaCol, readLabelText(record, 0));
      return true;
    }
    default:
      return false;
  }
  m_awaitingString = false;
  return true;
}

SheetData parseStream(std::span<const unsigned char> stream, const std::string& name) {
  try {
    return XlsParser(stream).parse();
  } catch (const SheetError& error) {
    throw SheetError(name + ": " + error.what());
  }
}

}  // namespace

SheetData readXls(std::span<const unsigned char> bytes, const std::string& name) {
  try {
    CompoundFile file(bytes);
    auto found = file.stream("Workbook");
    if (!found) found = file.stream("Book");
    if (!found) {
      // A password-protected .xlsx is a compound file holding the package
      // encrypted, not a zip.
      if (file.contains("EncryptedPackage") && file.contains("EncryptionInfo"))
        throw SheetError(
            "the workbook is encrypted (saved with a password), which is not supported");
      throw SheetError("the compound file holds no workbook stream (not an Excel workbook)");
    }
    return XlsParser(*found).parse();
  } catch (const SheetError& error) {
    throw SheetError(name + ": " + error.what());
  }
}

bool isBiffStream(std::span<const unsigned char> bytes) {
  if (bytes.size() < 4) return false;
  const auto type = static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
  const auto length = static_cast<std::uint16_t>(bytes[2] | bytes[3] << 8);
  return isBof(type) && length >= 4 && length <= 20;
}

SheetData readBiffStream(std::span<const unsigned char> bytes, const std::string& name) {
  return parseStream(bytes, name);
}

}  // namespace vip::sheet
