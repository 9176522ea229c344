#include "common/Utf8.h"

namespace vip {

Utf8Char decodeUtf8(std::string_view text, std::size_t pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  Utf8Char invalid;
  invalid.codePoint = lead;
  if (lead < 0x80) return {lead, 1, true};
  std::size_t length = 0;
  char32_t cp = 0, minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, cp = lead & 0x1Fu, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, cp = lead & 0x0Fu, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, cp = lead & 0x07u, minimum = 0x10000;
  } else {
    return invalid;
  }
  if (text.size() - pos < length) return invalid;
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[pos + i]);
    if ((next & 0xC0) != 0x80) return invalid;
    cp = cp << 6 | (next & 0x3Fu);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return invalid;
  return {cp, length, true};
}

// The rarer path of unit(): a surrogate, or any unit while one is pending.
void Utf16ToUtf8::surrogate(char16_t unit) {
  if (m_highSurrogate && isLowSurrogate(unit)) {
    appendUtf8(m_out, 0x10000 + ((static_cast<char32_t>(m_highSurrogate) - 0xD800) << 10) +
                          (static_cast<char32_t>(unit) - 0xDC00));
    m_highSurrogate = 0;
    return;
  }
  finish();
  if (isHighSurrogate(unit)) {
    m_highSurrogate = unit;
    return;
  }
  appendUtf8(m_out, isLowSurrogate(unit) ? kReplacementCharacter : unit);
}

void Utf16ToUtf8::codePoint(char32_t codePoint) {
  finish();
  appendUtf8(m_out, codePoint);
}

void Utf16ToUtf8::finish() {
  if (m_highSurrogate) {
    m_highSurrogate = 0;
    appendUtf8(m_out, kReplacementCharacter);
  }
}

}  // namespace vip
