#pragma once

#include <span>
#include <string>

#include "sheet/SheetData.h"
#include "sheet/XlsxArchive.h"

namespace vip::sheet {

// Reads the first worksheet of an .xlsx/.xlsm (zip + XML, transitional or
// Strict). `name` stands for the file in messages; `limits` are the archive's
// caps against zip bombs. Throws SheetError.
SheetData readXlsx(std::span<const unsigned char> bytes, const std::string& name,
                   const XlsxArchive::Limits& limits = XlsxArchive::Limits{});

}  // namespace vip::sheet
