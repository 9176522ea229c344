#include "common/DecimalText.h"

#include <locale.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace vip {
namespace {

__extension__ typedef unsigned __int128 Uint128;

// Ten-thousandths of an exact decimal: 2^63 - 1 above zero, 2^63 below.
constexpr std::uint64_t kMaxPositive = std::numeric_limits<std::int64_t>::max();
constexpr std::uint64_t kMaxNegative = kMaxPositive + 1;

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Numbers are read the same whatever locale the process runs in.
locale_t cLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

std::optional<std::int64_t> signedCount(std::uint64_t magnitude, bool negative) {
  if (magnitude > (negative ? kMaxNegative : kMaxPositive)) return std::nullopt;
  return negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
}

}  // namespace

std::optional<DecimalText> DecimalText::read(std::string_view text, char decimalSeparator) {
  std::size_t i = 0;
  const auto skipBlanks = [&] {
    while (i < text.size() && text[i] == ' ')
      ++i;
  };
  skipBlanks();
  DecimalText out;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) out.m_negative = text[i++] == '-';
  for (; i < text.size() && isDigit(text[i]); ++i)
    out.m_digits += text[i];
  long long fractionDigits = 0;
  if (i < text.size() && text[i] == decimalSeparator) {
    for (++i; i < text.size() && isDigit(text[i]); ++i, ++fractionDigits)
      out.m_digits += text[i];
  }
  if (out.m_digits.empty()) return std::nullopt;
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
  const std::size_t firstNonZero = out.m_digits.find_first_not_of('0');
  out.m_digits.erase(0, firstNonZero == std::string::npos ? out.m_digits.size() - 1 : firstNonZero);
  out.m_exponent = exponent - fractionDigits;
  return out;
}

std::string DecimalText::scientific() const {
  return (m_negative ? "-" : "") + m_digits + "e" + std::to_string(m_exponent);
}

std::optional<double> DecimalText::toDouble() const {
  const double value = strtod_l(scientific().c_str(), nullptr, cLocale());
  if (std::isinf(value)) return std::nullopt;
  return value;
}

std::optional<long double> DecimalText::toLongDouble() const {
  const long double value = strtold_l(scientific().c_str(), nullptr, cLocale());
  if (std::isinf(value)) return std::nullopt;
  return value;
}

std::optional<std::int64_t> DecimalText::toTenThousandths() const {
  if (m_digits == "0") return 0;
  // Digits of the whole ten-thousandths; the leading digit is not zero, so
  // more than 20 of them can never fit 64 bits.
  const long long keep = static_cast<long long>(m_digits.size()) + m_exponent + 4;
  if (keep > 20) return std::nullopt;

  std::uint64_t units = 0;
  for (long long k = 0; k < keep; ++k) {
    const std::uint64_t digit =
        k < static_cast<long long>(m_digits.size())
            ? static_cast<std::uint64_t>(m_digits[static_cast<std::size_t>(k)] - '0')
            : 0;
    if (units > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
    units = units * 10 + digit;
  }
  if (keep >= 0 && keep < static_cast<long long>(m_digits.size())) {
    const auto rest = std::string_view(m_digits).substr(static_cast<std::size_t>(keep));
    const bool aboveHalf = rest.find_first_not_of('0', 1) != std::string_view::npos;
    const bool roundUp = rest[0] > '5' || (rest[0] == '5' && (aboveHalf || units % 2 == 1));
    if (roundUp && units == std::numeric_limits<std::uint64_t>::max()) return std::nullopt;
    if (roundUp) ++units;
  }
  return signedCount(units, m_negative);
}

namespace {

// Adds one unit in the last place of a string of decimal digits.
void incrementDigits(std::string& digits) {
  for (std::size_t k = digits.size(); k-- > 0;) {
    if (digits[k] != '9') {
      ++digits[k];
      return;
    }
    digits[k] = '0';
  }
  digits.insert(digits.begin(), '1');
}

}  // namespace

std::optional<std::string> DecimalText::roundedText(int places, char decimalSeparator) const {
  // Position of the decimal point among the digits.
  long long point = static_cast<long long>(m_digits.size()) + m_exponent;
  if (point > kMaxRoundedDigits) return std::nullopt;
  std::string digits = m_digits;
  if (point < -places) {  // below half a unit of the last place: zero
    digits = "0";
    point = 1;
  }
  if (point < 0) {
    digits.insert(0, static_cast<std::size_t>(-point), '0');
    point = 0;
  }
  const auto keep = static_cast<std::size_t>(point + places);
  if (digits.size() < keep + 1) digits.resize(keep + 1, '0');
  const bool roundUp = digits[keep] >= '5';
  digits.resize(keep);
  if (roundUp) incrementDigits(digits);
  const auto wholeDigits = digits.size() - static_cast<std::size_t>(places);
  std::string whole = digits.substr(0, wholeDigits);
  const std::string fraction = digits.substr(wholeDigits);
  const auto firstNonZero = whole.find_first_not_of('0');
  whole = firstNonZero == std::string::npos ? "0" : whole.substr(firstNonZero);
  const bool zero = whole == "0" && fraction.find_first_not_of('0') == std::string::npos;
  std::string out = m_negative && !zero ? "-" : "";
  out += whole;
  if (places > 0) {
    out += decimalSeparator;
    out += fraction;
  }
  return out;
}

std::string tenThousandthsText(std::int64_t units, char decimalSeparator, TrailingZeros zeros) {
  const bool negative = units < 0;
  const std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(units) : static_cast<std::uint64_t>(units);
  std::string out = negative ? "-" : "";
  out += std::to_string(magnitude / 10000);
  std::string fraction = std::to_string(magnitude % 10000);
  fraction.insert(0, 4 - fraction.size(), '0');
  if (zeros == TrailingZeros::Drop) {
    while (!fraction.empty() && fraction.back() == '0')
      fraction.pop_back();
  }
  if (!fraction.empty()) {
    out += decimalSeparator;
    out += fraction;
  }
  return out;
}

std::optional<std::int64_t> roundToTenThousandths(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  if (value == 0) return 0;
  int exponent = 0;
  const double fraction = std::frexp(std::fabs(value), &exponent);
  // value = mantissa x 2^exponent exactly, the mantissa a 53-bit integer.
  const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
  exponent -= 53;
  Uint128 units = static_cast<Uint128>(mantissa) * 10000u;  // below 2^67
  if (exponent >= 0) {
    if (exponent > 63 || units > (static_cast<Uint128>(kMaxNegative) >> exponent))
      return std::nullopt;
    units <<= exponent;
  } else if (-exponent >= 100) {
    units = 0;  // far below half a ten-thousandth
  } else {
    const int drop = -exponent;
    const Uint128 one = 1;
    const Uint128 remainder = units & ((one << drop) - 1);
    const Uint128 half = one << (drop - 1);
    units >>= drop;
    if (remainder > half || (remainder == half && (units & 1) != 0)) ++units;
  }
  if (units > kMaxNegative) return std::nullopt;
  return signedCount(static_cast<std::uint64_t>(units), value < 0);
}

}  // namespace vip
