#pragma once

#include <span>
#include <string>

#include "sheet/SheetData.h"

namespace vip::sheet {

// Reads the first worksheet of an .xls held in an OLE2 compound file
// (BIFF2-BIFF8 in its "Workbook" or "Book" stream). `name` stands for the
// file in messages. Throws SheetError.
SheetData readXls(std::span<const unsigned char> bytes, const std::string& name);

// True where the bytes start like a bare BIFF stream (a BOF record), as the
// single-sheet files of Excel 2.x-4.x and some exports are stored.
bool isBiffStream(std::span<const unsigned char> bytes);
// Reads the worksheet of a bare BIFF stream. Throws SheetError.
SheetData readBiffStream(std::span<const unsigned char> bytes, const std::string& name);

}  // namespace vip::sheet
