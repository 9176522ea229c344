#pragma once

#include <span>
#include <string>

#include "sheet/SheetData.h"

namespace vip::sheet {

// Reads the first worksheet of an .xls (OLE2 compound file, BIFF5/7/8).
// `name` stands for the file in messages. Throws SheetError.
SheetData readXls(std::span<const unsigned char> bytes, const std::string& name);

}  // namespace vip::sheet
