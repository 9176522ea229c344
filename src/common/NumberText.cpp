#include "common/NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace vip {
namespace {

constexpr double kTwoPow53 = 9007199254740992.0;
constexpr int kPrecision = 15;

// std::to_chars rather than snprintf: a sheet of numbers turns hundreds of
// thousands of them into text, and the locale-free conversion is several
// times faster while giving the same digits.
std::string wholeNumberText(double value) {
  char buf[32];
  const auto end = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(value)).ptr;
  return std::string(buf, end);
}

struct Digits {
  std::string digits;  // significant digits without trailing zeros
  int exponent = 0;    // decimal exponent of the first digit
};

// The significant digits and exponent of |value| in scientific form: the
// shortest round-trip form, or rounded to `precision` digits after the first.
Digits scientificDigits(double value, std::optional<int> precision) {
  char buf[40];
  const double magnitude = std::fabs(value);
  const auto end =
      precision
          ? std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific,
                          *precision)
                .ptr
          : std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific).ptr;
  const std::string_view text(buf, static_cast<std::size_t>(end - buf));
  const auto ePos = text.find('e');
  const auto exponentText = text.substr(ePos + 1);
  Digits out;
  std::from_chars(exponentText.data() + (exponentText.front() == '+' ? 1 : 0),
                  exponentText.data() + exponentText.size(), out.exponent);
  for (char c : text.substr(0, ePos))
    if (c != '.') out.digits += c;
  while (out.digits.size() > 1 && out.digits.back() == '0')
    out.digits.pop_back();
  return out;
}

// Most numbers in a sheet have a few decimals (money, rates). When the value
// is the double nearest to r / 10^k with |r| < 10^15, that decimal is also
// its fifteen-digit rounding, and integer arithmetic writes it.
std::optional<std::string> fewDecimalsText(double value, char decimalSeparator) {
  double scale = 1;
  for (int decimals = 1; decimals <= 4; ++decimals) {
    scale *= 10;
    const double scaled = std::nearbyint(value * scale);
    if (std::fabs(scaled) >= 1e15) return std::nullopt;
    if (scaled / scale != value) continue;
    const auto units = static_cast<long long>(scaled);
    std::string digits = std::to_string(units < 0 ? -units : units);
    const auto places = static_cast<std::size_t>(decimals);
    if (digits.size() <= places) digits.insert(0, places + 1 - digits.size(), '0');
    std::string out = units < 0 ? "-" : "";
    out.append(digits, 0, digits.size() - places);
    out += decimalSeparator;
    std::string fraction = digits.substr(digits.size() - places);
    while (fraction.back() == '0')
      fraction.pop_back();
    out += fraction;
    return out;
  }
  return std::nullopt;
}

}  // namespace

std::string formatGeneral(double value, char decimalSeparator) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0) return "0";
  if (std::trunc(value) == value && std::fabs(value) < kTwoPow53) return wholeNumberText(value);

  if (auto text = fewDecimalsText(value, decimalSeparator)) return *std::move(text);

  // The shortest digits that give the value back, when there are at most
  // fifteen of them, are its fifteen-digit rounding too (a double carries
  // more than fifteen digits); otherwise round to fifteen.
  Digits d = scientificDigits(value, std::nullopt);
  if (d.digits.size() > kPrecision) d = scientificDigits(value, kPrecision - 1);
  const bool negative = value < 0;
  const std::string& digits = d.digits;
  const int exponent = d.exponent;

  std::string out = negative ? "-" : "";
  if (exponent >= -4 && exponent < kPrecision) {
    if (exponent < 0) {
      out += '0';
      out += decimalSeparator;
      out.append(static_cast<size_t>(-exponent - 1), '0');
      out += digits;
    } else {
      const auto intDigits = static_cast<size_t>(exponent) + 1;
      if (digits.size() <= intDigits) {
        out += digits;
        out.append(intDigits - digits.size(), '0');
      } else {
        out += digits.substr(0, intDigits);
        out += decimalSeparator;
        out += digits.substr(intDigits);
      }
    }
    return out;
  }
  out += digits[0];
  if (digits.size() > 1) {
    out += decimalSeparator;
    out += digits.substr(1);
  }
  out += 'E';
  out += std::to_string(exponent);
  return out;
}

}  // namespace vip
