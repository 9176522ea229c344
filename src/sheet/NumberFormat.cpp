#include "sheet/NumberFormat.h"

#include <cstdint>

#include "common/AsciiCase.h"
#include "common/Utf8.h"

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

// The code point of the character at `pos`, advancing `pos` past it. Format
// codes arrive as valid UTF-8; a stray byte counts as the code point it
// holds, so scanning always moves on.
char32_t nextCodePoint(std::string_view text, std::size_t& pos) {
  const Utf8Char ch = decodeUtf8(text, pos);
  pos += ch.length;
  return ch.codePoint;
}

bool isCurrencySymbol(char32_t cp) {
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
      const char32_t cp = nextCodePoint(code, i);
      currency = currency || isCurrencySymbol(cp);
    }
  }
  return currency ? NumberStyle::Currency : NumberStyle::General;
}

void NumberFormatTable::define(std::uint32_t id, std::string_view code) {
  m_defined[id] = classifyFormatCode(code);
}

NumberStyle NumberFormatTable::classify(std::uint32_t id) const {
  if (const auto it = m_defined.find(id); it != m_defined.end()) return it->second;
  return id <= 0xFFFF ? classifyBuiltinFormat(static_cast<int>(id)) : NumberStyle::General;
}

}  // namespace vip::sheet
