#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vip {

// UTF-8 and UTF-16, written once for every subsystem. The rules for bad
// input are the callers' to choose, so the decoder only reports what it saw.
inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Appends a code point (at most U+10FFFF, not a surrogate) as UTF-8. Inline:
// the readers call it for every character.
inline void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    const char bytes[] = {static_cast<char>(0xC0 | cp >> 6), static_cast<char>(0x80 | (cp & 0x3F))};
    out.append(bytes, 2);
  } else if (cp < 0x10000) {
    const char bytes[] = {static_cast<char>(0xE0 | cp >> 12),
                          static_cast<char>(0x80 | (cp >> 6 & 0x3F)),
                          static_cast<char>(0x80 | (cp & 0x3F))};
    out.append(bytes, 3);
  } else {
    const char bytes[] = {
        static_cast<char>(0xF0 | cp >> 18), static_cast<char>(0x80 | (cp >> 12 & 0x3F)),
        static_cast<char>(0x80 | (cp >> 6 & 0x3F)), static_cast<char>(0x80 | (cp & 0x3F))};
    out.append(bytes, 4);
  }
}

// One character of UTF-8 text. A byte that starts no well-formed character
// (a stray continuation byte, a sequence cut short, an overlong form, a
// surrogate, a value past U+10FFFF) is one invalid unit of length 1 whose
// code point is the byte itself.
struct Utf8Char {
  char32_t codePoint = 0;
  std::size_t length = 1;
  bool valid = false;
};
// The character that starts at `pos`, which must lie inside `text`.
Utf8Char decodeUtf8(std::string_view text, std::size_t pos);

inline bool isHighSurrogate(char32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
inline bool isLowSurrogate(char32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Turns UTF-16 code units, given one at a time, into UTF-8 appended to a
// string; a surrogate pair may arrive in two calls. A surrogate without its
// partner becomes U+FFFD. Code points given directly (Latin-1 bytes, say)
// end a pending high surrogate first.
class Utf16ToUtf8 {
 public:
  explicit Utf16ToUtf8(std::string& out) : m_out(out) {}
  ~Utf16ToUtf8() { finish(); }
  Utf16ToUtf8(const Utf16ToUtf8&) = delete;
  Utf16ToUtf8& operator=(const Utf16ToUtf8&) = delete;

  void unit(char16_t unit) {
    if (!m_highSurrogate && !isHighSurrogate(unit) && !isLowSurrogate(unit)) {
      appendUtf8(m_out, unit);
      return;
    }
    surrogate(unit);
  }
  void codePoint(char32_t codePoint);
  // Ends the text: a high surrogate still waiting becomes U+FFFD.
  void finish();

 private:
  void surrogate(char16_t unit);

  std::string& m_out;
  char16_t m_highSurrogate = 0;
};

// UTF-8 to UTF-16 code units handed to `sink` one by one; each invalid byte
// becomes one U+FFFD.
template <typename Sink>
void utf8ToUtf16(std::string_view text, Sink&& sink) {
  for (std::size_t pos = 0; pos < text.size();) {
    const Utf8Char ch = decodeUtf8(text, pos);
    pos += ch.length;
    const char32_t cp = ch.valid ? ch.codePoint : kReplacementCharacter;
    if (cp >= 0x10000) {
      sink(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      sink(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      sink(static_cast<char16_t>(cp));
    }
  }
}

}  // namespace vip
