#pragma once

#include <span>
#include <string>

#include "sheet/SheetData.h"

namespace vip::sheet {

// Reads the first worksheet of an .xlsx/.xlsm (zip + XML, transitional or
// Strict). `name` stands for the file in messages. Throws SheetError.
SheetData readXlsx(std::span<const unsigned char> bytes, const std::string& name);

}  // namespace vip::sheet
