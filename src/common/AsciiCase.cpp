#include "common/AsciiCase.h"

#include <algorithm>

namespace vip {

char toLowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

std::string toLowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    c = toLowerAscii(c);
  return out;
}

std::string toUpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
  return out;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return toLowerAscii(x) == toLowerAscii(y); });
}

}  // namespace vip
