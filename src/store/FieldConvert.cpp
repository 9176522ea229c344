#include "store/FieldConvert.h"

#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "common/AsciiCase.h"
#include "common/DecimalText.h"
#include "common/NumberText.h"
#include "store/DateTimeScanner.h"
#include "store/StoreError.h"
#include "store/TextLength.h"

namespace vip::store {
namespace {

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
// Magnitudes of 64-bit signed numbers: 2^63 - 1 above zero, 2^63 below.
constexpr std::uint64_t kInt64MaxPositive = std::numeric_limits<std::int64_t>::max();
constexpr std::uint64_t kInt64MaxNegative = kInt64MaxPositive + 1;

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
    if (magnitude > (negative ? kInt64MaxNegative : kInt64MaxPositive)) return std::nullopt;
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

// ---- booleans -----------------------------------------------------------------

// Letter case ignored: "f", "FA" and "fAlSe" all begin "False".
bool isBeginningOf(std::string_view text, std::string_view word) {
  if (text.empty() || text.size() > word.size()) return false;
  return equalsIgnoringCase(text, word.substr(0, text.size()));
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
      const auto number = DecimalText::read(text, settings.decimalSeparator);
      const auto value = number ? number->toDouble() : std::nullopt;
      if (!value) failFloat(text, field);
      return *value;
    }
    case FieldKind::Decimal: {
      if (text.empty()) return std::monostate{};
      const auto number = DecimalText::read(text, settings.decimalSeparator);
      const auto units = number ? number->toTenThousandths() : std::nullopt;
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
    // Whole numbers fit an exact decimal up to 922337203685477.
    constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 10000;
    if (value > kLimit || value < -kLimit) failFloat(std::to_string(value), field);
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
      const auto units = roundToTenThousandths(value);
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
      const auto units = roundToTenThousandths(vip::toSerial(value));
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
    return tenThousandthsText(decimal->units, settings.decimalSeparator, TrailingZeros::Drop);
  if (const auto* moment = std::get_if<vip::DateTime>(&value)) {
    if (!moment->hasTime()) return vip::formatDateTime(settings.shortDateFormat, *moment);
    return vip::formatDateTime(settings.shortDateFormat + ' ' + settings.longTimeFormat, *moment);
  }
  if (const auto* flag = std::get_if<bool>(&value)) return *flag ? "True" : "False";
  return {};
}

bool parseDateTimeText(std::string_view text, const FormatSettings& settings, vip::DateTime& out) {
  return DateTimeScanner(settings).scan(text, out);
}

}  // namespace vip::store
