// libFuzzer target for the .xlsx reader: any bytes either load as a sheet
// whose every present cell yields a text (or the error-value failure), or
// fail with one SheetError. Crashes, hangs and runaway memory are findings.
#include <cstddef>
#include <cstdint>
#include <span>

#include "common/FormatSettings.h"
#include "sheet/CellText.h"
#include "sheet/SheetError.h"
#include "sheet/XlsxReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    vip::sheet::SheetData sheet =
        vip::sheet::readXlsx(std::span<const unsigned char>(data, size), "fuzz.xlsx");
    for (std::uint32_t row = 1; row <= sheet.lastRow(); ++row) {
      for (const vip::sheet::Cell& cell : sheet.rowCells(row)) {
        try {
          (void)vip::sheet::cellText(cell, sheet, vip::defaultFormatSettings());
        } catch (const vip::sheet::SheetError&) {
        }
      }
    }
  } catch (const vip::sheet::SheetError&) {
  }
  return 0;
}
