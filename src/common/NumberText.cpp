#include "common/NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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

}  // namespace

std::string formatGeneral(double value, char decimalSeparator) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0) return "0";
  if (std::trunc(value) == value && std::fabs(value) < kTwoPow53) return wholeNumberText(value);

  // Fifteen significant digits, then the decimal exponent of the rounded value.
  char buf[40];
  const auto end =
      std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, kPrecision - 1)
          .ptr;
  std::string_view text(buf, static_cast<std::size_t>(end - buf));
  const bool negative = text.front() == '-';
  if (negative) text.remove_prefix(1);
  const auto ePos = text.find('e');
  int exponent = 0;
  const auto exponentText = text.substr(ePos + 1);
  std::from_chars(exponentText.data() + (exponentText.front() == '+' ? 1 : 0),
                  exponentText.data() + exponentText.size(), exponent);
  std::string digits;
  for (char c : text.substr(0, ePos))
    if (c != '.') digits += c;
  while (digits.size() > 1 && digits.back() == '0')
    digits.pop_back();

  std::string out = negative ? "-" : "";
  if (exponent >= -4 && exponent < kPrecision) {
    if (exponent < 0) {
      out += '0';
      out += decimalSeparator;
      out.append(static_cast<size_t>(-exponent - 1), '0');
      out += digits;
    } else {
      const auto intDigits = static_cast<size_t>(exponent + 1);
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
