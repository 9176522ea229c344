#include "import/BalanceFormat.h"

#include <cmath>
#include <cstdio>
#include <optional>

#include "common/Error.h"
#include "store/FieldConvert.h"

namespace vip::import {

namespace {

[[noreturn]] void throwNotANumber(std::string_view text) {
  throw vip::Error("'" + std::string(text) + "' is not a valid floating point value");
}

long double readNumber(std::string_view text, char decimalSeparator) {
  long double value = 0;
  if (text.empty() || !store::parseFloatText(text, decimalSeparator, value) ||
      !std::isfinite(value)) {
    throwNotANumber(text);
  }
  return value;
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// A number text taken apart into its decimal digits and the position of the
// decimal point among them (negative or past the end after an exponent).
struct DecimalText {
  bool negative = false;
  std::string digits;
  long point = 0;
};

std::optional<DecimalText> splitDecimal(std::string_view text, char decimalSeparator) {
  std::size_t i = 0, end = text.size();
  while (i < end && text[i] == ' ')
    ++i;
  while (end > i && text[end - 1] == ' ')
    --end;
  DecimalText number;
  if (i < end && (text[i] == '+' || text[i] == '-')) number.negative = text[i++] == '-';
  while (i < end && isDigit(text[i]))
    number.digits += text[i++];
  number.point = static_cast<long>(number.digits.size());
  if (i < end && text[i] == decimalSeparator) {
    ++i;
    while (i < end && isDigit(text[i]))
      number.digits += text[i++];
  }
  if (number.digits.empty()) return std::nullopt;
  if (i < end && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negativeExponent = false;
    if (i < end && (text[i] == '+' || text[i] == '-')) negativeExponent = text[i++] == '-';
    if (i == end || !isDigit(text[i])) return std::nullopt;
    long exponent = 0;
    while (i < end && isDigit(text[i])) {
      // Saturate: a finite value never needs more than a few thousand places.
      if (exponent < 1000000) exponent = exponent * 10 + (text[i] - '0');
      ++i;
    }
    number.point += negativeExponent ? -exponent : exponent;
  }
  if (i != end) return std::nullopt;
  return number;
}

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

std::string roundToCents(const DecimalText& number, char decimalSeparator) {
  std::string digits = number.digits;
  long point = number.point;
  if (point <= -3) {  // below 0.001: rounds to zero
    digits = "0";
    point = 1;
  }
  if (point < 0) {
    digits.insert(0, static_cast<std::size_t>(-point), '0');
    point = 0;
  }
  const auto keep = static_cast<std::size_t>(point) + 2;
  if (digits.size() < keep + 1) digits.resize(keep + 1, '0');
  const bool roundUp = digits[keep] >= '5';
  digits.resize(keep);
  if (roundUp) incrementDigits(digits);
  std::string whole = digits.substr(0, digits.size() - 2);
  const std::string cents = digits.substr(digits.size() - 2);
  const auto firstNonZero = whole.find_first_not_of('0');
  whole = firstNonZero == std::string::npos ? "0" : whole.substr(firstNonZero);
  const bool zero = whole == "0" && cents == "00";
  return (number.negative && !zero ? "-" : "") + whole + decimalSeparator + cents;
}

}  // namespace

double readAmount(std::string_view text, char decimalSeparator) {
  const auto amount = static_cast<double>(readNumber(text, decimalSeparator));
  // An amount beyond the double range would reach the store as infinity.
  if (!std::isfinite(amount)) throwNotANumber(text);
  return amount;
}

std::string formatBalance(std::string_view text, char decimalSeparator) {
  const long double value = readNumber(text, decimalSeparator);
  if (auto number = splitDecimal(text, decimalSeparator)) {
    if (number->point < 100000) return roundToCents(*number, decimalSeparator);
  }
  // A form the digit walk does not know: format the value itself.
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, "%.2Lf", value);
  std::string out = buffer;
  if (decimalSeparator != '.') {
    if (auto dot = out.find('.'); dot != std::string::npos) out[dot] = decimalSeparator;
  }
  if (out == "-0.00") out.erase(0, 1);
  return out;
}

}  // namespace vip::import
