#include "store/odbc/OdbcWideText.h"

#include "common/Utf8.h"

namespace vip::store {

WideText toWide(std::string_view utf8) {
  WideText out;
  out.reserve(utf8.size());
  utf8ToUtf16(utf8, [&out](char16_t unit) { out.push_back(static_cast<SQLWCHAR>(unit)); });
  return out;
}

std::string fromWide(const SQLWCHAR* text, std::size_t units) {
  std::string out;
  out.reserve(units);
  Utf16ToUtf8 writer(out);
  for (std::size_t i = 0; i < units; ++i)
    writer.unit(static_cast<char16_t>(text[i]));
  writer.finish();
  return out;
}

}  // namespace vip::store
