// libFuzzer target for the .xlsx reader. Input that starts like a zip is read
// as a whole package; anything else is read as a worksheet part on its own,
// so that mutations reach the XML parser and the cell reader instead of
// dying at the zip's checksums. Either it loads, and every present cell
// yields a text (or the error-value failure), or it fails with one
// SheetError. Crashes, hangs and runaway memory are findings. The zip bomb
// caps are set low (kFuzzLimits) so that inputs can reach them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "common/FormatSettings.h"
#include "sheet/CellText.h"
#include "sheet/SheetError.h"
#include "sheet/XlsxArchive.h"
#include "sheet/XlsxReader.h"
#include "sheet/XlsxSheetParser.h"
#include "sheet/XlsxStyles.h"
#include "sheet/XlsxXmlParser.h"

namespace {

// Caps small enough that mutated packages reach them: the total, the ratio
// of large parts, and the read-ahead thread all come into play within the
// fuzzer's input sizes.
const vip::sheet::XlsxArchive::Limits kFuzzLimits{
    .totalBytes = 4u << 20,
    .ratioFloor = 64u << 10,
    .maxRatio = 50,
    .readAheadFloor = 16u << 10,
};

void readEveryCell(const vip::sheet::SheetData& sheet) {
  for (std::uint32_t row = 1; row <= sheet.lastRow(); ++row) {
    for (const vip::sheet::Cell& cell : sheet.rowCells(row)) {
      try {
        (void)vip::sheet::cellText(cell, sheet, vip::defaultFormatSettings());
      } catch (const vip::sheet::SheetError&) {
      }
    }
  }
}

vip::sheet::SheetData readWorksheetPart(std::span<const unsigned char> bytes) {
  vip::sheet::SheetData sheet;
  vip::sheet::XlsxStyles styles;
  vip::sheet::XlsxSheetParser cells(sheet, styles, 4, "fuzz.xlsx");
  vip::sheet::XlsxXmlParser parser(cells, "fuzz.xlsx", "xl/worksheets/sheet1.xml");
  // The first byte picks the chunk size, so tokens get cut at every place.
  const std::size_t chunk = bytes.empty() ? 1 : bytes[0] % 16 + 1;
  std::span<const char> text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  while (!text.empty()) {
    const std::size_t size = std::min(chunk, text.size());
    parser.feed(text.first(size));
    text = text.subspan(size);
  }
  parser.finish();
  for (std::uint32_t i = 0; i < 4; ++i)
    sheet.addString("s");
  sheet.finish();
  return sheet;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const unsigned char> bytes(data, size);
  try {
    if (size >= 4 && std::memcmp(data, "PK\x03\x04", 4) == 0) {
      readEveryCell(vip::sheet::readXlsx(bytes, "fuzz.xlsx", kFuzzLimits));
    } else {
      readEveryCell(readWorksheetPart(bytes));
    }
  } catch (const vip::sheet::SheetError&) {
  }
  return 0;
}
