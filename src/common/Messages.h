#pragma once

#include <string>

namespace vip {

// The default error display's text: a message whose last character sorts
// after "." gets a full stop ("...not found" -> "...not found."); one ending
// in ".", "!" or another character before "." is shown unchanged.
std::string errorDisplayText(const std::string& message);

}  // namespace vip
