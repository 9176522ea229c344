#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_map>

#include "sheet/CellValue.h"

namespace vip::sheet {

// Classifies a number format, shared by the .xls and .xlsx readers: built-in
// ids 14-22, 45-47, 27-36 and 50-58 and codes with d, m, y, h or s outside
// quotes, brackets and escapes (elapsed [h]:mm too) are dates; ids 5-8 and
// codes with a currency symbol or a [$sym-...] code are currency.
NumberStyle classifyBuiltinFormat(int id);
NumberStyle classifyFormatCode(std::string_view code);

// The number formats one workbook defines (FORMAT records, <numFmt>
// elements), by id. A cell format's class is the file's own definition of
// its format id where there is one, even for an id that also has a built-in
// meaning; the built-in meaning holds only where the file defines none.
class NumberFormatTable {
 public:
  // A later definition of the same id replaces the earlier one.
  void define(std::uint32_t id, std::string_view code);
  NumberStyle classify(std::uint32_t id) const;

 private:
  std::unordered_map<std::uint32_t, NumberStyle> m_defined;
};

}  // namespace vip::sheet
