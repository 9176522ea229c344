#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "common/DecimalText.h"

namespace {

using vip::DecimalText;

// The number reading every amount and number column shares.
TEST(DecimalText, ReadsPlainDecimalNumbersOnly) {
  const struct {
    std::string text;
    char separator;
    bool ok;
    long double value;
  } cases[] = {
      {"", '.', false, 0},           {"   ", '.', false, 0},     {"  1.5  ", '.', true, 1.5L},
      {"-1e3", '.', true, -1000.0L}, {"1,5", ',', true, 1.5L},   {"1.5", ',', false, 0},
      {"\t1", '.', false, 0},        {"1e99999", '.', false, 0},
  };
  for (const auto& c : cases) {
    const auto number = DecimalText::read(c.text, c.separator);
    const auto value = number ? number->toLongDouble() : std::nullopt;
    EXPECT_EQ(value.has_value(), c.ok) << c.text;
    if (c.ok && value) {
      EXPECT_EQ(*value, c.value) << c.text;
    }
  }
}

// Exact decimals: ties to even at the fifth place, and a count that does not
// fit 64 bits is refused instead of overflowing (the store's reader once did).
TEST(DecimalText, TenThousandthsRoundTiesToEvenAndRefuseOverflow) {
  const struct {
    const char* text;
    std::optional<std::int64_t> units;
  } cases[] = {
      {"12.34565", 123456},
      {"12.34575", 123458},
      {"-0.00005", 0},
      {"-0.000051", -1},
      {"922337203685477.5807", std::numeric_limits<std::int64_t>::max()},
      {"-922337203685477.5808", std::numeric_limits<std::int64_t>::min()},
      {"922337203685477.5808", std::nullopt},
      {"1000000000000000", std::nullopt},
      {"1e15", std::nullopt},
  };
  for (const auto& c : cases) {
    const auto number = DecimalText::read(c.text, '.');
    ASSERT_TRUE(number) << c.text;
    EXPECT_EQ(number->toTenThousandths(), c.units) << c.text;
  }
}

TEST(DecimalText, RoundedTextGoesHalfAwayFromZeroOnTheWrittenDigits) {
  const struct {
    const char* text;
    const char* cents;
  } cases[] = {
      {"12.345", "12.35"}, {"2.675", "2.68"},  {"1.005", "1.01"},    {"-1.005", "-1.01"},
      {"-0.004", "0.00"},  {"0", "0.00"},      {"99.995", "100.00"}, {"1e2", "100.00"},
      {"5e-3", "0.01"},    {"4.9e-3", "0.00"}, {"0012.5", "12.50"},
  };
  for (const auto& c : cases) {
    const auto number = DecimalText::read(c.text, '.');
    ASSERT_TRUE(number) << c.text;
    EXPECT_EQ(number->roundedText(2, '.'), c.cents) << c.text;
  }
}

// One formatter serves reading a column back (trailing zeros dropped) and
// binding an exact decimal (all four places).
TEST(DecimalText, TenThousandthsText) {
  using vip::TrailingZeros;
  EXPECT_EQ(vip::tenThousandthsText(123450, ',', TrailingZeros::Drop), "12,345");
  EXPECT_EQ(vip::tenThousandthsText(120000, '.', TrailingZeros::Drop), "12");
  EXPECT_EQ(vip::tenThousandthsText(-5, '.', TrailingZeros::Drop), "-0.0005");
  EXPECT_EQ(vip::tenThousandthsText(120000, '.', TrailingZeros::Keep), "12.0000");
  EXPECT_EQ(
      vip::tenThousandthsText(std::numeric_limits<std::int64_t>::min(), '.', TrailingZeros::Keep),
      "-922337203685477.5808");
}

}  // namespace
