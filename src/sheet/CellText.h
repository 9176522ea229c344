#pragma once

#include <string>

#include "common/FormatSettings.h"
#include "sheet/CellValue.h"
#include "sheet/SheetData.h"

namespace vip::sheet {

// The text a cell's value yields, as the import reads and compares it:
// numbers in the general decimal form, dates in the short date (and long time)
// format, currency rounded to four places, booleans "True"/"False". An error
// value throws SheetError "Could not convert variant of type (Error) into type (String)".
std::string cellText(const Cell& cell, const SheetData& sheet, const FormatSettings& settings);

// The pieces, for readers and tests.
std::string dateText(double serial, bool date1904, const FormatSettings& settings);
std::string currencyText(double value, char decimalSeparator);

}  // namespace vip::sheet
