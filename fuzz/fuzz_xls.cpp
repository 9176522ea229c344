// Feeds arbitrary bytes to the .xls reader (compound file and BIFF records)
// and reads every present cell's text, as the import would.
#include <cstddef>
#include <cstdint>
#include <span>

#include "sheet/SheetError.h"
#include "sheet/Workbook.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const auto workbook =
        vip::sheet::Workbook::fromBytes(std::span<const unsigned char>(data, size), "fuzz.xls");
    for (int row = 1; row <= workbook->rowCount(); ++row)
      for (const vip::sheet::Cell& cell : workbook->rowCells(row)) {
        try {
          (void)workbook->cellText(cell);
        } catch (const vip::sheet::SheetError&) {
        }
      }
  } catch (const vip::sheet::SheetError&) {
  }
  return 0;
}
