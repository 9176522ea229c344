#pragma once

#include <cstdint>
#include <string>

namespace vip::sheet {

class SheetData;
class XlsxArchive;

// The workbook's shared string table, read into the sheet's string pool so
// that a cell's t="s" index is its pool index.
class XlsxSharedStrings {
 public:
  // A cap far above any real workbook, which bounds the pool's bookkeeping
  // for a package whose strings are empty elements inflated from nothing.
  static constexpr std::uint32_t kMaxStrings = 16u << 20;

  // Adds the strings to `sheet` (whose pool must be empty) and returns how
  // many there are.
  static std::uint32_t read(XlsxArchive& archive, const std::string& part, SheetData& sheet);
};

}  // namespace vip::sheet
