#include "store/FieldConvert.h"

#include <locale.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>

#include "common/NumberText.h"
#include "store/StoreError.h"
#include "store/TextLength.h"

namespace vip::store {
namespace {

__extension__ typedef unsigned __int128 Uint128;

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
// Ten-thousandths of an exact decimal: 2^63 - 1 above zero, 2^63 below.
constexpr std::uint64_t kDecimalMaxPositive = std::numeric_limits<std::int64_t>::max();
constexpr std::uint64_t kDecimalMaxNegative = kDecimalMaxPositive + 1;

// ---- messages ---------------------------------------------------------------

[[noreturn]] void failInteger(std::string_view text, const FieldDef& field) {
  throw StoreError("'" + std::string(text) + "' is not a valid integer value for field '" +
                   field.name + "'");
}

[[noreturn]] void failFloat(std::string_view text, const FieldDef& field) {
  throw StoreError("'" + std::string(text) + "' is not a valid floating point value for field '" +
                   field.name + "'");
}

[[noreturn]] void failDateTime(std::string_view text) {
  throw StoreError("'" + std::string(text) + "' is not a valid date and time");
}

[[noreturn]] void failBoolean(std::string_view text, const FieldDef& field) {
  throw StoreError("'" + std::string(text) + "' is not a valid boolean value for field '" +
                   field.name + "'");
}

[[noreturn]] void failRange(std::int64_t value, std::int64_t low, std::int64_t high,
                            const FieldDef& field) {
  throw StoreError(vip::formatGeneral(static_cast<double>(value)) +
                   " is not a valid value for field '" + field.name + "'. The allowed range is " +
                   vip::formatGeneral(static_cast<double>(low)) + " to " +
                   vip::formatGeneral(static_cast<double>(high)));
}

[[noreturn]] void failAccess(const FieldDef& field, const char* typeName) {
  throw StoreError("Cannot access field '" + field.name + "' as type " + typeName);
}

void requireWritable(const FieldDef& field) {
  if (!field.writable) throw StoreError("Field '" + field.name + "' cannot be modified");
}

// ---- character columns --------------------------------------------------------

// The text cut to the column's declared length; a column without one keeps it whole.
std::string fitColumn(const FieldDef& field, std::string_view text, bool& cut) {
  cut = false;
  if (field.size <= 0) return std::string(text);
  return std::string(
      fittingPrefix(text, static_cast<std::size_t>(field.size), field.lengthUnit, cut));
}

bool isCharacterKind(FieldKind kind) {
  return kind == FieldKind::String || kind == FieldKind::WideString;
}

bool isIntegerKind(FieldKind kind) {
  return kind == FieldKind::SmallInt || kind == FieldKind::Word || kind == FieldKind::Integer ||
         kind == FieldKind::LargeInt;
}

// ---- whole numbers ------------------------------------------------------------

int digitValue(char c, bool hex) {
  if (c >= '0' && c <= '9') return c - '0';
  if (hex && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (hex && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Blanks, an optional sign, then decimal digits or hexadecimal digits after
// "$", "x", "X" or "0x", and nothing after them. Hexadecimal numbers are bit
// patterns: within 32 bits (or 64 for `wide`) they wrap to the signed value,
// so "$FFFFFFFF" is -1.
std::optional<std::int64_t> parseWholeNumber(std::string_view text, bool wide) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ')
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  bool hex = false;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && text[i + 1] == 'x') {
    hex = true;
    i += 2;
  }
  if (i == text.size()) return std::nullopt;

  std::uint64_t magnitude = 0;
  const std::uint64_t base = hex ? 16 : 10;
  for (; i < text.size(); ++i) {
    const int digit = digitValue(text[i], hex);
    if (digit < 0) return std::nullopt;
    const auto d = static_cast<std::uint64_t>(digit);
    if (magnitude > (std::numeric_limits<std::uint64_t>::max() - d) / base) return std::nullopt;
    magnitude = magnitude * base + d;
  }

  std::int64_t value = 0;
  if (hex) {
    if (wide) {
      value = static_cast<std::int64_t>(magnitude);
      if (negative && value == std::numeric_limits<std::int64_t>::min()) return std::nullopt;
    } else {
      if (magnitude > 0xFFFFFFFFu) return std::nullopt;
      value = static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
    }
    if (negative) value = -value;
  } else {
    if (magnitude > (negative ? kDecimalMaxNegative : kDecimalMaxPositive)) return std::nullopt;
    value =
        negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
  }
  if (!wide && (value < kInt32Min || value > kInt32Max)) return std::nullopt;
  return value;
}

// A number for an integer column: beyond 32 bits (64 for bigint) the integer
// message with `text`, beyond a 16-bit kind's range the range message.
std::int64_t checkIntegerRange(const FieldDef& field, std::int64_t value, std::string_view text) {
  if (field.kind != FieldKind::LargeInt && (value < kInt32Min || value > kInt32Max))
    failInteger(text, field);
  if (field.kind == FieldKind::SmallInt && (value < -32768 || value > 32767))
    failRange(value, -32768, 32767, field);
  if (field.kind == FieldKind::Word && (value < 0 || value > 65535))
    failRange(value, 0, 65535, field);
  return value;
}

// ---- decimal numbers ----------------------------------------------------------

// A decimal number as read from text: its digits without the separator, the
// power of ten they are scaled by and the sign.
struct DecimalText {
  bool negative = false;
  std::string digits;
  long long exponent = 0;
};

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Blanks, an optional sign, digits with an optional fraction after the
// decimal separator, an optional exponent, blanks. No infinities, NaNs,
// hexadecimal floats or thousands separators.
std::optional<DecimalText> readDecimalText(std::string_view text, char decimalSeparator) {
  std::size_t i = 0;
  const auto skipBlanks = [&] {
    while (i < text.size() && text[i] == ' ')
      ++i;
  };
  skipBlanks();
  DecimalText out;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) out.negative = text[i++] == '-';
  for (; i < text.size() && isDigit(text[i]); ++i)
    out.digits += text[i];
  long long fractionDigits = 0;
  if (i < text.size() && text[i] == decimalSeparator) {
    for (++i; i < text.size() && isDigit(text[i]); ++i, ++fractionDigits)
      out.digits += text[i];
  }
  if (out.digits.empty()) return std::nullopt;
  long long exponent = 0;
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
    ++i;
    bool negativeExponent = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negativeExponent = text[i++] == '-';
    if (i == text.size() || !isDigit(text[i])) return std::nullopt;
    // Far beyond any representable power, so saturating changes no result.
    constexpr long long kExponentCap = 1'000'000'000;
    for (; i < text.size() && isDigit(text[i]); ++i)
      exponent = std::min(exponent * 10 + (text[i] - '0'), kExponentCap);
    if (negativeExponent) exponent = -exponent;
  }
  skipBlanks();
  if (i != text.size()) return std::nullopt;
  const std::size_t firstNonZero = out.digits.find_first_not_of('0');
  out.digits.erase(0, firstNonZero == std::string::npos ? out.digits.size() - 1 : firstNonZero);
  out.exponent = exponent - fractionDigits;
  return out;
}

locale_t cLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

std::string scientificText(const DecimalText& number) {
  return (number.negative ? "-" : "") + number.digits + "e" + std::to_string(number.exponent);
}

// The nearest double; a value beyond the double range is refused, one too
// small for it becomes zero.
std::optional<double> toDouble(const DecimalText& number) {
  const std::string text = scientificText(number);
  const double value = strtod_l(text.c_str(), nullptr, cLocale());
  if (std::isinf(value)) return std::nullopt;
  return value;
}

// Rounds digits x 10^exponent to ten-thousandths, ties to even, exactly on the
// decimal digits; nullopt when the count does not fit 64 bits.
std::optional<std::int64_t> toDecimal4(const DecimalText& number) {
  const std::string& digits = number.digits;
  if (digits.find_first_not_of('0') == std::string::npos) return 0;
  const long long shift = number.exponent + 4;
  const long long keep = static_cast<long long>(digits.size()) + shift;
  if (keep > 20) return std::nullopt;

  std::uint64_t units = 0;
  const auto append = [&units](std::uint64_t digit) {
    if (units > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return false;
    units = units * 10 + digit;
    return true;
  };
  for (long long k = 0; k < keep; ++k) {
    const std::uint64_t digit =
        k < static_cast<long long>(digits.size())
            ? static_cast<std::uint64_t>(digits[static_cast<std::size_t>(k)] - '0')
            : 0;
    if (!append(digit)) return std::nullopt;
  }
  if (keep >= 0 && keep < static_cast<long long>(digits.size())) {
    const auto rest = std::string_view(digits).substr(static_cast<std::size_t>(keep));
    const bool moreAfterFirst = rest.find_first_not_of('0', 1) != std::string_view::npos;
    const bool roundUp = rest[0] > '5' || (rest[0] == '5' && (moreAfterFirst || units % 2 == 1));
    if (roundUp && units == std::numeric_limits<std::uint64_t>::max()) return std::nullopt;
    if (roundUp) ++units;
  }
  if (units > (number.negative ? kDecimalMaxNegative : kDecimalMaxPositive)) return std::nullopt;
  return number.negative ? static_cast<std::int64_t>(0 - units) : static_cast<std::int64_t>(units);
}

// A double rounded to ten-thousandths, ties to even, on its exact binary value.
std::optional<std::int64_t> doubleToDecimal4(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  if (value == 0) return 0;
  int exponent = 0;
  const double fraction = std::frexp(std::fabs(value), &exponent);
  // value = mantissa x 2^exponent exactly, the mantissa a 53-bit integer.
  const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
  exponent -= 53;
  Uint128 units = static_cast<Uint128>(mantissa) * 10000u;
  if (exponent >= 0) {
    if (exponent > 63 || units > (static_cast<Uint128>(kDecimalMaxNegative) >> exponent))
      return std::nullopt;
    units <<= exponent;
  } else if (-exponent >= 100) {
    units = 0;  // below half a ten-thousandth
  } else {
    const int drop = -exponent;
    const Uint128 one = 1;
    const Uint128 remainder = units & ((one << drop) - 1);
    const Uint128 half = one << (drop - 1);
    units >>= drop;
    if (remainder > half || (remainder == half && (units & 1) != 0)) ++units;
  }
  const bool negative = value < 0;
  if (units > (negative ? kDecimalMaxNegative : kDecimalMaxPositive)) return std::nullopt;
  const auto count = static_cast<std::uint64_t>(units);
  return negative ? static_cast<std::int64_t>(0 - count) : static_cast<std::int64_t>(count);
}

std::string decimal4Text(const Decimal4& value, char decimalSeparator) {
  const bool negative = value.units < 0;
  const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value.units)
                                           : static_cast<std::uint64_t>(value.units);
  std::string out = negative ? "-" : "";
  out += std::to_string(magnitude / 10000);
  std::string fraction = std::to_string(magnitude % 10000);
  fraction.insert(0, 4 - fraction.size(), '0');
  while (!fraction.empty() && fraction.back() == '0')
    fraction.pop_back();
  if (!fraction.empty()) {
    out += decimalSeparator;
    out += fraction;
  }
  return out;
}

// ---- dates and times ----------------------------------------------------------

enum class DateOrder { MonthDayYear, DayMonthYear, YearMonthDay };

// The order of the first of the letters d, m and y in the short date format.
DateOrder dateOrder(std::string_view format) {
  for (char c : format) {
    switch (c | 0x20) {
      case 'd':
        return DateOrder::DayMonthYear;
      case 'm':
        return DateOrder::MonthDayYear;
      case 'y':
        return DateOrder::YearMonthDay;
      default:
        break;
    }
  }
  return DateOrder::MonthDayYear;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    const auto lowerX = x >= 'A' && x <= 'Z' ? x + 32 : x;
    const auto lowerY = y >= 'A' && y <= 'Z' ? y + 32 : y;
    if (lowerX != lowerY) return false;
  }
  return true;
}

// Reads a date and/or time text by the user's settings. Blanks may stand
// before every number, separator and marker.
class DateTimeScanner {
 public:
  DateTimeScanner(std::string_view text, const FormatSettings& settings)
      : m_text(text), m_settings(settings), m_today(vip::localNow()) {}

  bool scan(vip::DateTime& out) {
    vip::DateTime value;
    m_pos = 0;
    if (scanDate(value)) {
      if (atEnd() || (scanTime(value) && atEnd())) {
        out = value;
        return true;
      }
      return false;
    }
    m_pos = 0;
    value = vip::DateTime{};
    if (scanTime(value) && atEnd()) {
      out = value;
      return true;
    }
    return false;
  }

 private:
  struct Number {
    int value = 0;
    int digits = 0;
  };

  void skipBlanks() {
    while (m_pos < m_text.size() && m_text[m_pos] == ' ')
      ++m_pos;
  }

  bool atEnd() {
    skipBlanks();
    return m_pos == m_text.size();
  }

  bool scanNumber(Number& out) {
    skipBlanks();
    out = Number{};
    // Large enough to be refused by every field, small enough not to overflow.
    constexpr int kCap = 1'000'000;
    for (; m_pos < m_text.size() && isDigit(m_text[m_pos]); ++m_pos, ++out.digits)
      out.value = std::min(out.value * 10 + (m_text[m_pos] - '0'), kCap);
    return out.digits > 0;
  }

  bool scanChar(char c) {
    const std::size_t start = m_pos;
    skipBlanks();
    if (m_pos < m_text.size() && m_text[m_pos] == c) {
      ++m_pos;
      return true;
    }
    m_pos = start;
    return false;
  }

  bool scanWord(std::string_view word) {
    if (word.empty()) return false;
    const std::size_t start = m_pos;
    skipBlanks();
    if (equalsIgnoringCase(m_text.substr(m_pos, word.size()), word)) {
      m_pos += word.size();
      return true;
    }
    m_pos = start;
    return false;
  }

  // A morning or afternoon marker: the hour it adds, or -1 without one.
  int scanMarker() {
    if (scanWord(m_settings.timeAMString) || scanWord("AM")) return 0;
    if (scanWord(m_settings.timePMString) || scanWord("PM")) return 12;
    return -1;
  }

  int placeYear(const Number& year) const {
    if (year.digits > 2) return year.value;
    const int first = m_today.year - m_settings.twoDigitYearWindow;
    int placed = first - first % 100 + year.value;
    if (placed < first) placed += 100;
    return placed;
  }

  bool scanDate(vip::DateTime& out) {
    Number a, b, c;
    if (!scanNumber(a) || !scanChar(m_settings.dateSeparator) || !scanNumber(b)) return false;
    const bool hasYear = scanChar(m_settings.dateSeparator);
    if (hasYear && !scanNumber(c)) return false;
    int year = m_today.year;
    int month = 0;
    int day = 0;
    switch (dateOrder(m_settings.shortDateFormat)) {
      case DateOrder::MonthDayYear:
        month = a.value;
        day = b.value;
        if (hasYear) year = placeYear(c);
        break;
      case DateOrder::DayMonthYear:
        day = a.value;
        month = b.value;
        if (hasYear) year = placeYear(c);
        break;
      case DateOrder::YearMonthDay:
        if (hasYear) {
          year = placeYear(a);
          month = b.value;
          day = c.value;
        } else {
          month = a.value;
          day = b.value;
        }
        break;
    }
    if (!vip::isValidDate(year, month, day)) return false;
    out.year = year;
    out.month = month;
    out.day = day;
    return true;
  }

  bool scanTime(vip::DateTime& out) {
    int baseHour = scanMarker();
    Number hour, minute, second, millisecond;
    if (!scanNumber(hour)) return false;
    if (scanChar(m_settings.timeSeparator)) {
      if (!scanNumber(minute)) return false;
      if (scanChar(m_settings.timeSeparator)) {
        if (!scanNumber(second)) return false;
        if (scanChar(m_settings.decimalSeparator) && !scanNumber(millisecond)) return false;
      }
    }
    if (baseHour < 0) baseHour = scanMarker();
    if (baseHour >= 0) {
      if (hour.value == 0 || hour.value > 12) return false;
      hour.value = hour.value % 12 + baseHour;
    }
    if (hour.value > 23 || minute.value > 59 || second.value > 59 || millisecond.value > 999)
      return false;
    out.hour = hour.value;
    out.minute = minute.value;
    out.second = second.value;
    out.millisecond = millisecond.value;
    return true;
  }

  std::string_view m_text;
  const FormatSettings& m_settings;
  vip::DateTime m_today;
  std::size_t m_pos = 0;
};

// ---- booleans -----------------------------------------------------------------

bool isBeginningOf(std::string_view text, std::string_view word) {
  return !text.empty() && text.size() <= word.size() &&
         equalsIgnoringCase(text, word.substr(0, text.size()));
}

// ---- reading a cell text --------------------------------------------------------

Value readText(const FieldDef& field, std::string_view text, const FormatSettings& settings,
               bool& cut) {
  switch (field.kind) {
    case FieldKind::String:
    case FieldKind::WideString:
      return fitColumn(field, text, cut);
    case FieldKind::Memo:
      if (text.empty()) return std::monostate{};
      return std::string(text);
    case FieldKind::SmallInt:
    case FieldKind::Word:
    case FieldKind::Integer:
    case FieldKind::LargeInt: {
      if (text.empty()) return std::monostate{};
      const auto value = parseWholeNumber(text, field.kind == FieldKind::LargeInt);
      if (!value) failInteger(text, field);
      return checkIntegerRange(field, *value, text);
    }
    case FieldKind::Float: {
      if (text.empty()) return std::monostate{};
      const auto number = readDecimalText(text, settings.decimalSeparator);
      const auto value = number ? toDouble(*number) : std::nullopt;
      if (!value) failFloat(text, field);
      return *value;
    }
    case FieldKind::Decimal: {
      if (text.empty()) return std::monostate{};
      const auto number = readDecimalText(text, settings.decimalSeparator);
      const auto units = number ? toDecimal4(*number) : std::nullopt;
      if (!units) failFloat(text, field);
      return Decimal4{*units};
    }
    case FieldKind::DateTime: {
      if (text.empty()) return std::monostate{};
      vip::DateTime value;
      if (!parseDateTimeText(text, settings, value)) failDateTime(text);
      return value;
    }
    case FieldKind::Boolean:
      if (text.empty()) return std::monostate{};
      if (isBeginningOf(text, "False")) return false;
      if (isBeginningOf(text, "True")) return true;
      failBoolean(text, field);
    case FieldKind::Unknown:
      break;
  }
  // A column of a kind the data layer does not tell apart takes the text as
  // it is and leaves the conversion to the store.
  if (text.empty()) return std::monostate{};
  return std::string(text);
}

}  // namespace

Value textToValue(const FieldDef& field, std::string_view text, const FormatSettings& settings,
                  bool& cut) {
  cut = false;
  Value value = readText(field, text, settings, cut);
  requireWritable(field);
  return value;
}

Value integerToValue(const FieldDef& field, std::int64_t value) {
  Value out;
  if (isIntegerKind(field.kind)) {
    out = checkIntegerRange(field, value, std::to_string(value));
  } else if (isCharacterKind(field.kind)) {
    bool cut = false;
    out = fitColumn(field, std::to_string(value), cut);
  } else if (field.kind == FieldKind::Float) {
    out = static_cast<double>(value);
  } else if (field.kind == FieldKind::Decimal) {
    if (value > static_cast<std::int64_t>(kDecimalMaxPositive / 10000) ||
        value < -static_cast<std::int64_t>(kDecimalMaxNegative / 10000))
      failFloat(std::to_string(value), field);
    out = Decimal4{value * 10000};
  } else if (field.kind == FieldKind::Unknown) {
    out = value;
  } else {
    failAccess(field, "Integer");
  }
  requireWritable(field);
  return out;
}

Value doubleToValue(const FieldDef& field, double value, const FormatSettings& settings,
                    bool& cut) {
  cut = false;
  const auto text = [&] { return vip::formatGeneral(value, settings.decimalSeparator); };
  Value out;
  // An infinity or NaN has no place in any store column.
  if (!std::isfinite(value) && field.kind != FieldKind::Boolean && field.kind != FieldKind::Memo)
    failFloat(text(), field);
  switch (field.kind) {
    case FieldKind::Float:
    case FieldKind::Unknown:
      out = value;
      break;
    case FieldKind::Decimal: {
      const auto units = doubleToDecimal4(value);
      if (!units) failFloat(text(), field);
      out = Decimal4{*units};
      break;
    }
    case FieldKind::SmallInt:
    case FieldKind::Word:
    case FieldKind::Integer:
    case FieldKind::LargeInt: {
      const double rounded = std::nearbyint(value);  // ties to even
      if (rounded < -9223372036854775808.0 || rounded >= 9223372036854775808.0)
        failInteger(text(), field);
      out = checkIntegerRange(field, static_cast<std::int64_t>(rounded), text());
      break;
    }
    case FieldKind::String:
    case FieldKind::WideString:
      out = fitColumn(field, text(), cut);
      break;
    case FieldKind::DateTime: {
      // The serials of 0001-01-01 and of the end of 9999-12-31.
      const auto first = static_cast<double>(vip::daysFromCivil(1, 1, 1));
      const auto last = static_cast<double>(vip::daysFromCivil(9999, 12, 31) + 1);
      if (value <= first - 1 || value >= last) failDateTime(text());
      const vip::DateTime moment = vip::fromSerial(value);
      // The last milliseconds of 9999-12-31 round into a year that does not exist.
      if (!vip::isValidDate(moment.year, moment.month, moment.day)) failDateTime(text());
      out = moment;
      break;
    }
    case FieldKind::Boolean:
    case FieldKind::Memo:
      failAccess(field, "Float");
  }
  requireWritable(field);
  return out;
}

Value dateTimeToValue(const FieldDef& field, const vip::DateTime& value,
                      const FormatSettings& settings, bool& cut) {
  cut = false;
  Value out;
  switch (field.kind) {
    case FieldKind::DateTime:
    case FieldKind::Unknown:
      out = value;
      break;
    case FieldKind::String:
    case FieldKind::WideString:
      out = fitColumn(
          field,
          vip::formatDateTime(settings.shortDateFormat + ' ' + settings.longTimeFormat, value),
          cut);
      break;
    case FieldKind::Float:
      out = vip::toSerial(value);
      break;
    case FieldKind::Decimal: {
      const auto units = doubleToDecimal4(vip::toSerial(value));
      if (!units) failAccess(field, "DateTime");
      out = Decimal4{*units};
      break;
    }
    default:
      failAccess(field, "DateTime");
  }
  requireWritable(field);
  return out;
}

std::string valueToText(const Value& value, const FormatSettings& settings) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* integer = std::get_if<std::int64_t>(&value)) return std::to_string(*integer);
  if (const auto* real = std::get_if<double>(&value))
    return vip::formatGeneral(*real, settings.decimalSeparator);
  if (const auto* decimal = std::get_if<Decimal4>(&value))
    return decimal4Text(*decimal, settings.decimalSeparator);
  if (const auto* moment = std::get_if<vip::DateTime>(&value)) {
    if (!moment->hasTime()) return vip::formatDateTime(settings.shortDateFormat, *moment);
    return vip::formatDateTime(settings.shortDateFormat + ' ' + settings.longTimeFormat, *moment);
  }
  if (const auto* flag = std::get_if<bool>(&value)) return *flag ? "True" : "False";
  return {};
}

bool parseFloatText(std::string_view text, char decimalSeparator, long double& out) {
  const auto number = readDecimalText(text, decimalSeparator);
  if (!number) return false;
  const std::string normal = scientificText(*number);
  const long double value = strtold_l(normal.c_str(), nullptr, cLocale());
  if (std::isinf(value)) return false;
  out = value;
  return true;
}

bool parseDateTimeText(std::string_view text, const FormatSettings& settings, vip::DateTime& out) {
  return DateTimeScanner(text, settings).scan(out);
}

}  // namespace vip::store
