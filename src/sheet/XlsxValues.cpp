#include "sheet/XlsxValues.h"

#include <array>
#include <charconv>
#include <cmath>
#include <utility>

#include "common/DateTime.h"
#include "common/Utf8.h"

namespace vip::sheet {

namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}
bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The code unit of an escape "_xHHHH_" starting at `pos`, or -1. Only a
// lower-case "x" makes an escape; "_X0041_" is text.
long escapeAt(const std::string& text, std::size_t pos) {
  if (pos + 7 > text.size() || text[pos] != '_' || text[pos + 1] != 'x' || text[pos + 6] != '_') {
    return -1;
  }
  long value = 0;
  for (std::size_t i = pos + 2; i < pos + 6; ++i) {
    int digit = hexValue(text[i]);
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

// Reads exactly `width` digits at `pos`.
std::optional<int> digits(std::string_view text, std::size_t pos, std::size_t width) {
  if (pos + width > text.size()) return std::nullopt;
  int value = 0;
  for (std::size_t i = pos; i < pos + width; ++i) {
    if (!isDigit(text[i])) return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// Nothing, "Z", or an offset "+08:00", "+0800" or "+08".
bool isZone(std::string_view zone) {
  if (zone.empty() || zone == "Z") return true;
  if (zone[0] != '+' && zone[0] != '-') return false;
  zone.remove_prefix(1);
  if (zone.size() == 2) return digits(zone, 0, 2).has_value();
  if (zone.size() == 4) return digits(zone, 0, 4).has_value();
  return zone.size() == 5 && zone[2] == ':' && digits(zone, 0, 2) && digits(zone, 3, 2);
}

// "hh:mm[:ss[.fff]]" as a fraction of a day; the rest of `text` may hold a
// zone ("Z", "+08:00"), which is ignored: a cell's date has no zone.
std::optional<double> timeFraction(std::string_view text) {
  auto hour = digits(text, 0, 2);
  if (!hour || text.size() < 5 || text[2] != ':') return std::nullopt;
  auto minute = digits(text, 3, 2);
  if (!minute) return std::nullopt;
  double seconds = 0;
  std::size_t pos = 5;
  if (pos < text.size() && text[pos] == ':') {
    auto whole = digits(text, pos + 1, 2);
    if (!whole) return std::nullopt;
    seconds = *whole;
    pos += 3;
    if (pos < text.size() && text[pos] == '.') {
      double scale = 0.1;
      ++pos;
      if (pos >= text.size() || !isDigit(text[pos])) return std::nullopt;
      while (pos < text.size() && isDigit(text[pos])) {
        seconds += (text[pos] - '0') * scale;
        scale /= 10;
        ++pos;
      }
    }
  }
  if (!isZone(text.substr(pos))) return std::nullopt;
  // 24:00:00 is the end of the day in ISO 8601.
  if (*hour > 24 || *minute > 59 || seconds >= 61 || (*hour == 24 && (*minute || seconds > 0))) {
    return std::nullopt;
  }
  return (*hour * 3600.0 + *minute * 60.0 + seconds) / 86400.0;
}

}  // namespace

std::optional<std::uint32_t> XlsxValues::columnLetters(std::string_view text) {
  if (text.empty() || text.size() > 3) return std::nullopt;
  std::uint32_t col = 0;
  for (char c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c < 'A' || c > 'Z') return std::nullopt;
    col = col * 26 + static_cast<std::uint32_t>(c - 'A' + 1);
  }
  if (col > kMaxCols) return std::nullopt;
  return col;
}

std::optional<std::uint32_t> XlsxValues::rowNumber(std::string_view text) {
  if (text.empty() || text.size() > 7) return std::nullopt;
  std::uint32_t row = 0;
  for (char c : text) {
    if (!isDigit(c)) return std::nullopt;
    row = row * 10 + static_cast<std::uint32_t>(c - '0');
  }
  if (row == 0 || row > kMaxRows) return std::nullopt;
  return row;
}

std::optional<XlsxCellRef> XlsxValues::cellRef(std::string_view text) {
  std::size_t letters = 0;
  while (letters < text.size() && !isDigit(text[letters]))
    ++letters;
  auto col = columnLetters(text.substr(0, letters));
  auto row = rowNumber(text.substr(letters));
  if (!col || !row) return std::nullopt;
  return XlsxCellRef{*row, *col};
}

void XlsxValues::decodeEscapes(std::string& text) {
  std::size_t pos = text.find("_x");
  if (pos == std::string::npos) return;
  std::string out;
  out.reserve(text.size());
  out.append(text, 0, pos);
  while (pos < text.size()) {
    long unit = escapeAt(text, pos);
    if (unit < 0) {
      out += text[pos++];
      continue;
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      long low = escapeAt(text, pos + 7);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        appendUtf8(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                            (static_cast<char32_t>(low) - 0xDC00));
        pos += 14;
        continue;
      }
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) {
      out.append(text, pos, 7);  // a lone surrogate has no UTF-8 form
    } else {
      appendUtf8(out, static_cast<char32_t>(unit));
    }
    pos += 7;
  }
  text = std::move(out);
}

std::optional<double> XlsxValues::number(std::string_view text) {
  text = trimmed(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  double value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::uint32_t> XlsxValues::index(std::string_view text) {
  text = trimmed(text);
  std::uint32_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<double> XlsxValues::isoDurationDays(std::string_view text) {
  text = trimmed(text);
  if (text.size() < 3 || text.front() != 'P') return std::nullopt;
  text.remove_prefix(1);
  // Each part is a number and its designator; only the last may have a
  // fraction. Years and months have no fixed length in days and are refused.
  constexpr std::string_view kDateParts = "WD", kTimeParts = "HMS";
  constexpr double kDateScale[] = {7, 1}, kTimeScale[] = {1.0 / 24, 1.0 / 1440, 1.0 / 86400};
  double days = 0;
  bool inTime = false, any = false, fraction = false;
  std::size_t order = 0;  // parts must come in their order, each once
  while (!text.empty()) {
    if (text.front() == 'T') {
      if (inTime) return std::nullopt;
      inTime = true;
      order = 0;
      text.remove_prefix(1);
      if (text.empty()) return std::nullopt;
      continue;
    }
    if (fraction) return std::nullopt;
    std::size_t length = 0;
    while (length < text.size() && (isDigit(text[length]) || text[length] == '.'))
      ++length;
    if (length == 0 || length == text.size()) return std::nullopt;
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + length, value);
    if (ec != std::errc() || end != text.data() + length || !std::isfinite(value))
      return std::nullopt;
    fraction = text.substr(0, length).find('.') != std::string_view::npos;
    const std::string_view parts = inTime ? kTimeParts : kDateParts;
    const std::size_t part = parts.find(text[length], order);
    if (part == std::string_view::npos) return std::nullopt;
    days += value * (inTime ? kTimeScale[part] : kDateScale[part]);
    order = part + 1;
    any = true;
    text.remove_prefix(length + 1);
  }
  if (!any || !std::isfinite(days)) return std::nullopt;
  return days;
}

std::optional<double> XlsxValues::isoDateSerial(std::string_view text) {
  text = trimmed(text);
  if (text.size() >= 2 && text[0] == 'T') return timeFraction(text.substr(1));
  if (text.size() >= 3 && text[2] == ':') return timeFraction(text);
  auto year = digits(text, 0, 4);
  if (!year || text.size() < 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  auto month = digits(text, 5, 2);
  auto day = digits(text, 8, 2);
  if (!month || !day || !isValidDate(*year, *month, *day)) return std::nullopt;
  auto serial = static_cast<double>(daysFromCivil(*year, *month, *day));
  if (text.size() == 10) return serial;
  if (text[10] != 'T' && text[10] != ' ') return std::nullopt;
  auto fraction = timeFraction(text.substr(11));
  if (!fraction) return std::nullopt;
  // Automation dates before day 0 carry the time by its magnitude.
  return serial < 0 ? serial - *fraction : serial + *fraction;
}

std::uint8_t XlsxValues::errorCode(std::string_view text) {
  static constexpr std::array<std::pair<std::string_view, std::uint8_t>, 8> kCodes{{
      {"#NULL!", 0x00},
      {"#DIV/0!", 0x07},
      {"#VALUE!", 0x0F},
      {"#REF!", 0x17},
      {"#NAME?", 0x1D},
      {"#NUM!", 0x24},
      {"#N/A", 0x2A},
      {"#GETTING_DATA", 0x2B},
  }};
  text = trimmed(text);
  for (const auto& [name, code] : kCodes) {
    if (text == name) return code;
  }
  return 0xFF;
}

}  // namespace vip::sheet
