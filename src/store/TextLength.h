#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "store/Value.h"

namespace vip::store {

// The length of a UTF-8 text as a store counts it for a character column:
// bytes of code page 936 (GBK), UTF-16 code units or characters. A character
// GBK lacks counts as one byte, the '?' SQL Server stores for it; a byte that
// is not valid UTF-8 counts as one of any unit.
std::size_t textLength(std::string_view text, LengthUnit unit);

// The longest beginning of a UTF-8 text whose length in the unit is at most
// `limit`, ending on a character boundary. `cut` tells whether anything was
// left off.
std::string_view fittingPrefix(std::string_view text, std::size_t limit, LengthUnit unit,
                               bool& cut);

}  // namespace vip::store
