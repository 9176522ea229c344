#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vip {

// The default error display's text: a message whose last character sorts
// after "." gets a full stop ("...not found" -> "...not found."); one ending
// in ".", "!" or another character before "." is shown unchanged.
std::string errorDisplayText(const std::string& message);

// A text from outside (a store file's name, a driver's message) made fit to
// stand in one of our messages: tabs and line breaks become blanks, other
// control characters "\xHH", and a text longer than `limit` bytes keeps its
// beginning and says how many bytes were left off.
inline constexpr std::size_t kMessageTextLimit = 300;
std::string messageText(std::string_view text, std::size_t limit = kMessageTextLimit);

}  // namespace vip
