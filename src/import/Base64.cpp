#include "import/Base64.h"

namespace vip::import {

namespace {

constexpr std::size_t kGroupsPerLine = 19;  // 76 characters

char sextet(unsigned value) {
  return Base64Chars[value & 0x3Fu];
}

}  // namespace

std::string EncodeBase64(std::string_view bytes) {
  const std::size_t groups = bytes.size() / 3;
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4 + bytes.size() / 57 * 2);
  auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  for (std::size_t g = 0; g < groups; ++g) {
    const unsigned b1 = byteAt(3 * g), b2 = byteAt(3 * g + 1), b3 = byteAt(3 * g + 2);
    out += sextet(b1 >> 2);
    out += sextet((b1 << 4) | (b2 >> 4));
    out += sextet((b2 << 2) | (b3 >> 6));
    out += sextet(b3);
    if ((g + 1) % kGroupsPerLine == 0) out += "\r\n";
  }
  const std::size_t rest = bytes.size() - 3 * groups;
  if (rest == 1) {
    const unsigned b1 = byteAt(3 * groups);
    out += sextet(b1 >> 2);
    out += sextet(b1 << 4);
    out += "==";
  } else if (rest == 2) {
    const unsigned b1 = byteAt(3 * groups), b2 = byteAt(3 * groups + 1);
    out += sextet(b1 >> 2);
    out += sextet((b1 << 4) | (b2 >> 4));
    out += sextet(b2 << 2);
    out += "=";
  }
  return out;
}

}  // namespace vip::import
