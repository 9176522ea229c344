#pragma once

#include <string_view>

#include "sheet/CellValue.h"

namespace vip::sheet {

// Classifies a number format, shared by the .xls and .xlsx readers: built-in
// ids 14-22, 45-47, 27-36 and 50-58 and codes with d, m, y, h or s outside
// quotes, brackets and escapes (elapsed [h]:mm too) are dates; ids 5-8 and
// codes with a currency symbol or a [$sym-...] code are currency.
NumberStyle classifyBuiltinFormat(int id);
NumberStyle classifyFormatCode(std::string_view code);

}  // namespace vip::sheet
