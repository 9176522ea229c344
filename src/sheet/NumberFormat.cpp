#include "sheet/NumberFormat.h"

#include <cstdint>

#include "common/AsciiCase.h"

namespace vip::sheet {
namespace {

bool isDateLetter(char c) {
  switch (c) {
    case 'd':
    case 'D':
    case 'm':
    case 'M':
    case 'y':
    case 'Y':
    case 'h':
    case 'H':
    case 's':
    case 'S':
      return true;
    default:
      return false;
  }
}

// The code point of the UTF-8 sequence at `pos`, advancing `pos` past it.
// A broken sequence yields its first byte, so scanning always moves on.
std::uint32_t nextCodePoint(std::string_view text, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  if (pos + length > text.size()) length = 1;
  std::uint32_t cp = length == 1 ? lead : lead & (0x3Fu >> (length - 1));
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[pos + i]);
    if ((next & 0xC0) != 0x80) {
      length = 1;
      cp = lead;
      break;
    }
    cp = (cp << 6) | (next & 0x3Fu);
  }
  pos += length;
  return cp;
}

bool isCurrencySymbol(std::uint32_t cp) {
  return cp == '$' || cp == 0xA2 || cp == 0xA3 || cp == 0xA4 || cp == 0xA5  // ¢ £ ¤ ¥
         || (cp >= 0x20A0 && cp <= 0x20CF)                                  // € ₩ ₹ ₽ …
         || cp == 0x0E3F                                                    // ฿
         || cp == 0xFE69 || cp == 0xFF04 || cp == 0xFFE0 || cp == 0xFFE1 || cp == 0xFFE5 ||
         cp == 0xFFE6;  // small and full-width $ ¢ £ ¥ ₩
}

bool holdsCurrencySymbol(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();)
    if (isCurrencySymbol(nextCodePoint(text, pos))) return true;
  return false;
}

// [h], [mm], [ss]: elapsed hours, minutes or seconds.
bool isElapsedTime(std::string_view inside) {
  if (inside.empty()) return false;
  const char first = toLowerAscii(inside.front());
  if (first != 'h' && first != 'm' && first != 's') return false;
  for (char c : inside)
    if (toLowerAscii(c) != first) return false;
  return true;
}

// [$USD-409] or [$¥-804] names a currency; a bare locale tag [$-804] does not.
bool isCurrencyTag(std::string_view inside) {
  if (inside.empty() || inside.front() != '$') return false;
  const auto symbol =
      inside.substr(1, inside.find('-') == std::string_view::npos ? std::string_view::npos
                                                                  : inside.find('-') - 1);
  return !symbol.empty();
}

}  // namespace

NumberStyle classifyBuiltinFormat(int id) {
  if ((id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
      (id >= 50 && id <= 58))
    return NumberStyle::Date;
  if (id >= 5 && id <= 8) return NumberStyle::Currency;
  return NumberStyle::General;
}

NumberStyle classifyFormatCode(std::string_view code) {
  bool currency = false;
  for (std::size_t i = 0; i < code.size();) {
    const char c = code[i];
    if (c == '"') {
      // Quoted literal text: never a date part, but "$" or "¥" there is the
      // usual way a currency format shows its symbol.
      const auto close = code.find('"', i + 1);
      const auto literal =
          code.substr(i + 1, close == std::string_view::npos ? close : close - i - 1);
      currency = currency || holdsCurrencySymbol(literal);
      i = close == std::string_view::npos ? code.size() : close + 1;
    } else if (c == '[') {
      const auto close = code.find(']', i + 1);
      const auto inside =
          code.substr(i + 1, close == std::string_view::npos ? close : close - i - 1);
      if (isElapsedTime(inside)) return NumberStyle::Date;
      currency = currency || isCurrencyTag(inside);
      i = close == std::string_view::npos ? code.size() : close + 1;
    } else if (c == '\\' || c == '_' || c == '*') {
      // An escaped character, a space as wide as a character, or a fill
      // character: shown, never a date part.
      std::size_t next = i + 1;
      if (next < code.size()) {
        const auto cp = nextCodePoint(code, next);
        currency = currency || (c == '\\' && isCurrencySymbol(cp));
      }
      i = next;
    } else if (isDateLetter(c)) {
      return NumberStyle::Date;
    } else {
      // Always step over the character, even once a symbol has been seen.
      const std::uint32_t cp = nextCodePoint(code, i);
      currency = currency || isCurrencySymbol(cp);
    }
  }
  return currency ? NumberStyle::Currency : NumberStyle::General;
}

}  // namespace vip::sheet
