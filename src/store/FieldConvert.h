#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/FormatSettings.h"
#include "store/Value.h"

namespace vip::store {

// Writing a cell text into a column of each kind, with the data layer's fixed
// messages ("'%s' is not a valid integer value for field '%s'", the 16-bit
// range message, "'%s' is not a valid date and time", ...). Throws StoreError.
// Character columns: the text cut to the declared length (on a character
// boundary, counted in the field's unit); `cut` tells whether it was.
Value textToValue(const FieldDef& field, std::string_view text, const FormatSettings& settings,
                  bool& cut);

// Typed values handed to a column by the program itself.
Value integerToValue(const FieldDef& field, std::int64_t value);
Value doubleToValue(const FieldDef& field, double value, const FormatSettings& settings, bool& cut);
Value dateTimeToValue(const FieldDef& field, const vip::DateTime& value,
                      const FormatSettings& settings, bool& cut);

// A stored value as text (for reading a column back): NULL gives "".
std::string valueToText(const Value& value, const FormatSettings& settings);

// A date, a date and time, or a time alone, as the settings read them.
bool parseDateTimeText(std::string_view text, const FormatSettings& settings, vip::DateTime& out);

}  // namespace vip::store
