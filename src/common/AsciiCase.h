#pragma once

#include <string>
#include <string_view>

namespace vip {

// Letter case of the ASCII letters only: names, keys and keywords of stores
// and connection strings compare this way whatever the process locale is.
char toLowerAscii(char c);
std::string toLowerAscii(std::string_view text);
std::string toUpperAscii(std::string_view text);

// Same length and the same bytes once ASCII letters are lowered.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace vip
