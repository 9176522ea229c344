#pragma once

#include <string>

namespace vip {

// The general decimal form of a number: 15 significant digits, no trailing
// zeros, no thousands separators; the scientific form ("5E-5", "1E20") when
// the magnitude is below 0.0001 or has more than 15 integer digits. A whole
// number below 2^53 in magnitude keeps all its digits, so a 16-digit card
// number stored as a number is not turned into "6.2001234567890E15".
std::string formatGeneral(double value, char decimalSeparator = '.');

}  // namespace vip
