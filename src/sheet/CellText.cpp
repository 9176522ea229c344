#include "sheet/CellText.h"

#include <cmath>
#include <cstdint>

#include "common/DateTime.h"
#include "common/NumberText.h"
#include "sheet/SheetError.h"

namespace vip::sheet {
namespace {

// 1904-01-01 counted from 1899-12-30.
constexpr double kDate1904Offset = 1462;
// The last second of 9999-12-31, the latest date the automation date holds.
constexpr double kLastSerial = 2958465.99999;
constexpr double kSecondsPerDay = 86400;
// The currency type holds ten-thousandths in a signed 64-bit integer.
constexpr double kCurrencyLimit = 9223372036854775807.0;

}  // namespace

std::string dateText(double serial, bool date1904, const FormatSettings& settings) {
  const double value = date1904 ? serial + kDate1904Offset : serial;
  // No date before the epoch or past year 9999: such a number stays a number.
  if (!std::isfinite(value) || value < 0 || value > kLastSerial)
    return formatGeneral(serial, settings.decimalSeparator);

  double days = std::floor(value);
  auto seconds = static_cast<long long>(std::llround((value - days) * kSecondsPerDay));
  if (seconds >= static_cast<long long>(kSecondsPerDay)) {
    seconds = 0;
    days += 1;
  }
  DateTime when;
  civilFromDays(static_cast<long>(days), when.year, when.month, when.day);
  when.hour = static_cast<int>(seconds / 3600);
  when.minute = static_cast<int>(seconds / 60 % 60);
  when.second = static_cast<int>(seconds % 60);

  // A time alone is stored as a fraction of a day below 1.
  if (serial >= 0 && serial < 1 && (date1904 ? days == kDate1904Offset : days == 0))
    return formatDateTime(settings.longTimeFormat, when);
  std::string text = formatDateTime(settings.shortDateFormat, when);
  if (when.hasTime()) {
    text += ' ';
    text += formatDateTime(settings.longTimeFormat, when);
  }
  return text;
}

std::string currencyText(double value, char decimalSeparator) {
  // Ten-thousandths, ties to even as the currency type rounds.
  const double scaled = std::nearbyint(value * 10000.0);
  if (!std::isfinite(scaled) || std::fabs(scaled) >= kCurrencyLimit)
    return formatGeneral(value, decimalSeparator);
  const auto units = static_cast<long long>(scaled);
  if (units == 0) return "0";
  const unsigned long long magnitude = units < 0 ? 0ULL - static_cast<unsigned long long>(units)
                                                 : static_cast<unsigned long long>(units);
  std::string text = units < 0 ? "-" : "";
  text += std::to_string(magnitude / 10000);
  unsigned long long fraction = magnitude % 10000;
  if (fraction != 0) {
    std::string digits = std::to_string(fraction);
    digits.insert(0, 4 - digits.size(), '0');
    while (digits.back() == '0')
      digits.pop_back();
    text += decimalSeparator;
    text += digits;
  }
  return text;
}

std::string cellText(const Cell& cell, const SheetData& sheet, const FormatSettings& settings) {
  switch (cell.kind) {
    case CellKind::Empty:
      return {};
    case CellKind::Text:
      return sheet.string(cell.text);
    case CellKind::Boolean:
      return cell.boolean ? "True" : "False";
    case CellKind::Error:
      throw SheetError("Could not convert variant of type (Error) into type (String)");
    case CellKind::Unreadable:
      throw SheetError(sheet.string(cell.text));
    case CellKind::Number:
      switch (cell.style) {
        case NumberStyle::Date:
          return dateText(cell.number, sheet.date1904(), settings);
        case NumberStyle::Currency:
          return currencyText(cell.number, settings.decimalSeparator);
        case NumberStyle::General:
          break;
      }
      return formatGeneral(cell.number, settings.decimalSeparator);
  }
  return {};
}

}  // namespace vip::sheet
