#pragma once

#include <string>
#include <string_view>

namespace vip::import {

// Reads a balance cell text as a number by the data layer's rules (blanks,
// sign, digits, the decimal separator, an exponent); anything else throws
// "'<text>' is not a valid floating point value". The amount stays a double.
double readAmount(std::string_view text, char decimalSeparator);

// The balance text with two decimals ("0.00"): rounded half away from zero on
// the decimal digits the operator typed, so 1.005 gives 1.01 and 2.675 gives
// 2.68 even though their nearest doubles lie just below; at least one integer
// digit, no thousands separators, "-" only for a result that is not zero.
// Throws like readAmount for a text that is not a number.
std::string formatBalance(std::string_view text, char decimalSeparator);

}  // namespace vip::import
