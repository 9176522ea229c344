#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vip {

// A number as a cell text writes it, kept as its decimal digits so that it
// can be rounded to the four places of an exact decimal column without a
// detour through binary floating point.
class DecimalText {
 public:
  // Blanks (space characters), an optional sign, digits with an optional
  // fraction after the decimal separator, an optional exponent ("E" or "e",
  // an optional sign, digits), blanks. No infinities, NaNs, hexadecimal
  // floats or thousands separators; nullopt for anything else.
  static std::optional<DecimalText> read(std::string_view text, char decimalSeparator);

  // The nearest double; nullopt beyond the double range, zero below it.
  std::optional<double> toDouble() const;
  // The nearest long double; nullopt beyond its range.
  std::optional<long double> toLongDouble() const;
  // Rounded to ten-thousandths with ties to even; nullopt when the count of
  // ten-thousandths does not fit 64 signed bits.
  std::optional<std::int64_t> toTenThousandths() const;
  // Rounded to `places` decimals, half away from zero on the digits as
  // written (so 1.005 gives 1.01 although its nearest double lies below):
  // at least one integer digit, no thousands separators, "-" only for a
  // result that is not zero. nullopt for a number with more than
  // `kMaxRoundedDigits` integer digits.
  std::optional<std::string> roundedText(int places, char decimalSeparator) const;
  static constexpr long long kMaxRoundedDigits = 100000;

 private:
  std::string scientific() const;

  bool m_negative = false;
  std::string m_digits;      // no leading zeros, "0" for zero
  long long m_exponent = 0;  // the power of ten the digits are scaled by
};

// A count of ten-thousandths as a decimal text: "-12.3400" with all four
// places, or "-12.34" with trailing zeros (and a bare separator) left off.
enum class TrailingZeros { Keep, Drop };
std::string tenThousandthsText(std::int64_t units, char decimalSeparator, TrailingZeros zeros);

// A double rounded to ten-thousandths with ties to even, on its exact binary
// value; nullopt for NaN, infinities and counts beyond 64 signed bits.
std::optional<std::int64_t> roundToTenThousandths(double value);

}  // namespace vip
