#pragma once

#include <string>
#include <string_view>

namespace vip::import {

inline constexpr std::string_view Base64Chars =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Standard Base64 with "=" padding and "\r\n" after every 76 characters of
// full groups (after every 19th group of three bytes, the last one included);
// the short final group is never followed by a break. Bytes are taken as
// they are, without any change of character set.
std::string EncodeBase64(std::string_view bytes);

}  // namespace vip::import
