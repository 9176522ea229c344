#include "import/BalanceFormat.h"

#include <cmath>
#include <cstdio>
#include <optional>

#include "common/DecimalText.h"
#include "common/Error.h"

namespace vip::import {

namespace {

[[noreturn]] void throwNotANumber(std::string_view text) {
  throw vip::Error("'" + std::string(text) + "' is not a valid floating point value");
}

// The number a balance text writes; throws for anything that is not one.
DecimalText readNumber(std::string_view text, char decimalSeparator) {
  auto number = DecimalText::read(text, decimalSeparator);
  const auto value = number ? number->toLongDouble() : std::nullopt;
  if (!value || !std::isfinite(*value)) throwNotANumber(text);
  return *number;
}

}  // namespace

double readAmount(std::string_view text, char decimalSeparator) {
  // An amount beyond the double range would reach the store as infinity.
  const auto amount = readNumber(text, decimalSeparator).toDouble();
  if (!amount) throwNotANumber(text);
  return *amount;
}

std::string formatBalance(std::string_view text, char decimalSeparator) {
  const DecimalText number = readNumber(text, decimalSeparator);
  if (auto cents = number.roundedText(2, decimalSeparator)) return *cents;
  // A zero written with a huge exponent: format the value itself.
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, "%.2Lf", *number.toLongDouble());
  std::string out = buffer;
  if (decimalSeparator != '.') {
    if (auto dot = out.find('.'); dot != std::string::npos) out[dot] = decimalSeparator;
  }
  if (out == "-0.00") out.erase(0, 1);
  return out;
}

}  // namespace vip::import
