#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <string_view>

namespace vip::store {

// Text crosses the ODBC boundary as UTF-16 (the drivers' wide calls), so
// that Chinese text reaches the store whatever the process's locale is.
using WideText = std::basic_string<SQLWCHAR>;

// UTF-8 to UTF-16; a byte that is not valid UTF-8 becomes U+FFFD.
WideText toWide(std::string_view utf8);
// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string fromWide(const SQLWCHAR* text, std::size_t units);
inline std::string fromWide(const WideText& text) {
  return fromWide(text.data(), text.size());
}

}  // namespace vip::store
