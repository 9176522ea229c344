#include "store/TextLength.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

namespace vip::store {
namespace {

struct Utf8Char {
  std::size_t bytes = 1;  // length of its UTF-8 form in the text
  std::uint32_t codePoint = 0;
  bool valid = false;
};

// Decodes the character at `pos`; an ill-formed sequence yields one invalid byte.
Utf8Char nextChar(std::string_view text, std::size_t pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  Utf8Char out;
  out.codePoint = lead;
  if (lead < 0x80) {
    out.valid = true;
    return out;
  }
  std::size_t need = 0;
  std::uint32_t cp = 0;
  std::uint32_t min = 0;
  if ((lead & 0xE0) == 0xC0) {
    need = 1;
    cp = lead & 0x1Fu;
    min = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    need = 2;
    cp = lead & 0x0Fu;
    min = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    need = 3;
    cp = lead & 0x07u;
    min = 0x10000;
  } else {
    return out;
  }
  if (text.size() - pos <= need) return out;
  for (std::size_t i = 1; i <= need; ++i) {
    const auto c = static_cast<unsigned char>(text[pos + i]);
    if ((c & 0xC0) != 0x80) return out;
    cp = (cp << 6) | (c & 0x3Fu);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return out;
  out.bytes = need + 1;
  out.codePoint = cp;
  out.valid = true;
  return out;
}

// One converter per thread: an iconv descriptor keeps state and must not be
// shared between threads.
class GbkMeter {
 public:
  GbkMeter() : m_cd(iconv_open("GBK", "UTF-8")) {}
  ~GbkMeter() {
    if (m_cd != invalid()) iconv_close(m_cd);
  }
  GbkMeter(const GbkMeter&) = delete;
  GbkMeter& operator=(const GbkMeter&) = delete;

  // Bytes of one well-formed non-ASCII UTF-8 character in GBK; 1 where GBK
  // has no such character (the store keeps a '?').
  std::size_t bytesOf(std::string_view utf8Char) {
    if (m_cd == invalid()) return 2;
    char in[4];
    char out[8];
    const std::size_t n = utf8Char.copy(in, sizeof in);
    char* inPtr = in;
    std::size_t inLeft = n;
    char* outPtr = out;
    std::size_t outLeft = sizeof out;
    iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
    const std::size_t rc = iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft);
    if (rc == static_cast<std::size_t>(-1) || inLeft != 0) return 1;
    return sizeof out - outLeft;
  }

 private:
  static iconv_t invalid() { return reinterpret_cast<iconv_t>(-1); }
  iconv_t m_cd;
};

GbkMeter& gbkMeter() {
  thread_local GbkMeter meter;
  return meter;
}

std::size_t unitsOf(std::string_view text, std::size_t pos, const Utf8Char& ch, LengthUnit unit) {
  if (!ch.valid) return 1;
  switch (unit) {
    case LengthUnit::GbkBytes:
      return ch.codePoint < 0x80 ? 1 : gbkMeter().bytesOf(text.substr(pos, ch.bytes));
    case LengthUnit::Utf16Units:
      return ch.codePoint >= 0x10000 ? 2 : 1;
    case LengthUnit::Characters:
      return 1;
  }
  return 1;
}

}  // namespace

std::size_t textLength(std::string_view text, LengthUnit unit) {
  std::size_t length = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    const Utf8Char ch = nextChar(text, pos);
    length += unitsOf(text, pos, ch, unit);
    pos += ch.bytes;
  }
  return length;
}

std::string_view fittingPrefix(std::string_view text, std::size_t limit, LengthUnit unit,
                               bool& cut) {
  cut = false;
  // Every unit counts a character as at most its UTF-8 bytes, so a text no
  // longer in bytes than the limit always fits.
  if (text.size() <= limit) return text;
  std::size_t length = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    const Utf8Char ch = nextChar(text, pos);
    length += unitsOf(text, pos, ch, unit);
    if (length > limit) {
      cut = true;
      return text.substr(0, pos);
    }
    pos += ch.bytes;
  }
  return text;
}

}  // namespace vip::store
