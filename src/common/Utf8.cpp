#include "common/Utf8.h"

namespace vip {

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | cp >> 6));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | cp >> 12));
    out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | cp >> 18));
    out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

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

void Utf16ToUtf8::unit(char16_t unit) {
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
