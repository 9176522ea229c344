#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "common/Error.h"
#include "import/BalanceFormat.h"

namespace vip::import {
namespace {

struct FormatCase {
  std::string text;
  std::string expected;
  friend std::ostream& operator<<(std::ostream& os, const FormatCase& c) {
    return os << "'" << c.text << "' -> '" << c.expected << "'";
  }
};

class FormatBalanceCases : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatBalanceCases, RoundsHalfAwayFromZeroOnTheTypedDigits) {
  EXPECT_EQ(formatBalance(GetParam().text, '.'), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FormatBalanceCases,
    ::testing::Values(
        // Ties whose nearest doubles lie below the tie still round up.
        FormatCase{"12.345", "12.35"}, FormatCase{"1.005", "1.01"}, FormatCase{"2.675", "2.68"},
        FormatCase{"-2.675", "-2.68"}, FormatCase{"0.125", "0.13"},
        FormatCase{"12.344999", "12.34"}, FormatCase{"0", "0.00"}, FormatCase{"100", "100.00"},
        FormatCase{"9.995", "10.00"}, FormatCase{"-9.999", "-10.00"}, FormatCase{"0.5", "0.50"},
        FormatCase{".5", "0.50"}, FormatCase{"7.", "7.00"}, FormatCase{"  +3.1  ", "3.10"},
        FormatCase{"-0.001", "0.00"}, FormatCase{"-0.005", "-0.01"},
        FormatCase{"1.2345e2", "123.45"}, FormatCase{"5E-3", "0.01"}, FormatCase{"4.9e-3", "0.00"},
        FormatCase{"1e-300", "0.00"}, FormatCase{"1E3", "1000.00"}, FormatCase{"0012.3", "12.30"},
        FormatCase{"123456789012345678.905", "123456789012345678.91"}));

TEST(FormatBalance, UsesTheLocaleDecimalSeparator) {
  EXPECT_EQ(formatBalance("12,345", ','), "12,35");
}

class UnreadableAmount : public ::testing::TestWithParam<std::string> {};

TEST_P(UnreadableAmount, FailsNamingTheText) {
  const std::string expected = "'" + GetParam() + "' is not a valid floating point value";
  try {
    readAmount(GetParam(), '.');
    ADD_FAILURE() << "readAmount accepted '" << GetParam() << "'";
  } catch (const vip::Error& e) {
    EXPECT_EQ(std::string(e.what()), expected);
  }
  try {
    formatBalance(GetParam(), '.');
    ADD_FAILURE() << "formatBalance accepted '" << GetParam() << "'";
  } catch (const vip::Error& e) {
    EXPECT_EQ(std::string(e.what()), expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, UnreadableAmount,
                         ::testing::Values("", "   ", "1,234.50", "abc", "¥12", "12元", "1e", "--1",
                                           "1.2.3"));

TEST(ReadAmount, KeepsDoublePrecision) {
  // Squeezed through single precision these would become 100.09999847...
  // and 12345.669921875.
  EXPECT_EQ(readAmount("100.1", '.'), 100.1);
  EXPECT_EQ(readAmount("12345.67", '.'), 12345.67);
  EXPECT_EQ(readAmount(" -5 ", '.'), -5.0);
  // Beyond the double range an amount is refused, not stored as infinity.
  EXPECT_THROW(readAmount("1e400", '.'), vip::Error);
}

}  // namespace
}  // namespace vip::import
