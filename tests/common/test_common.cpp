#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "common/AsciiCase.h"
#include "common/DateTime.h"
#include "common/Messages.h"
#include "common/NumberText.h"
#include "common/SafeObj.h"

namespace {

TEST(FormatGeneral, WritesTheGeneralDecimalForm) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {1001, "1001"},
      {12.5, "12.5"},
      {-2.5, "-2.5"},
      {0.1 + 0.2, "0.3"},
      {0.00005, "5E-5"},
      {0.0001, "0.0001"},
      {1e20, "1E20"},
      {-0.0, "0"},
      {13812345678.0, "13812345678"},
      {6200123456789012.0, "6200123456789012"},  // whole below 2^53 keeps its digits
      {9007199254740992.0, "9.00719925474099E15"},
      {123456789012345.6, "123456789012346"},
      {1234567890123456.5, "1.23456789012346E15"},
      {1.5e-7, "1.5E-7"},
      {-1e6, "-1000000"},
      {3.14159265358979, "3.14159265358979"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(vip::formatGeneral(c.value), c.text) << c.value;
  EXPECT_EQ(vip::formatGeneral(12.5, ','), "12,5");
}

// The reference: the value rounded to 15 significant digits by printf, the
// digits' trailing zeros dropped; compared digit string and exponent.
std::string referenceDigits(double value, int& exponent) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
  std::string digits;
  const char* e = std::strchr(buf, 'e');
  for (const char* p = buf; p < e; ++p)
    if (*p != '.') digits += *p;
  while (digits.size() > 1 && digits.back() == '0')
    digits.pop_back();
  exponent = std::atoi(e + 1);
  return digits;
}

TEST(FormatGeneral, AgreesWithFifteenDigitRoundingOnRandomValues) {
  std::mt19937_64 random(20261210);
  std::uniform_int_distribution<std::uint64_t> bits;
  std::uniform_int_distribution<long long> cents(-100000000, 100000000);
  for (int i = 0; i < 200000; ++i) {
    double value;
    if (i % 2 == 0) {
      const std::uint64_t b = bits(random);
      std::memcpy(&value, &b, sizeof value);
      if (!std::isfinite(value) || value == 0) continue;
    } else {
      // Values with one to four decimals, as money and rates are.
      static const double kScales[] = {10.0, 100.0, 1000.0, 10000.0};
      value = static_cast<double>(cents(random)) / kScales[i / 2 % 4];
    }
    if (std::trunc(value) == value && std::fabs(value) < 9007199254740992.0) continue;
    int exponent = 0;
    const std::string digits = referenceDigits(value, exponent);
    const std::string text = vip::formatGeneral(value);
    std::string got;
    for (char c : text)
      if (c >= '0' && c <= '9')
        got += c;
      else if (c == 'E')
        break;
    // Leading zeros of the plain form (0.00012) are not significant.
    got.erase(0, std::min(got.find_first_not_of('0'), got.size() - 1));
    while (got.size() > 1 && got.back() == '0')
      got.pop_back();
    ASSERT_EQ(got, digits) << text << " for " << value;
  }
}

TEST(DateTime, SerialsCountFrom18991230) {
  const struct {
    double serial;
    const char* text;
  } cases[] = {
      {0, "1899-12-30 00:00:00"},       {1, "1899-12-31 00:00:00"},
      {60, "1900-02-28 00:00:00"},      {61, "1900-03-01 00:00:00"},
      {45292.5, "2024-01-01 12:00:00"}, {45292.999999, "2024-01-01 23:59:59.914"},
      {-1.25, "1899-12-29 06:00:00"},   {2958465, "9999-12-31 00:00:00"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(vip::isoText(vip::fromSerial(c.serial)), c.text) << c.serial;
    EXPECT_NEAR(vip::toSerial(vip::fromSerial(c.serial)), c.serial, 1e-6);
  }
}

// Store and connection-string names fold only the ASCII letters: bytes of
// UTF-8 text stay as they are, and signs next to the letters in the code
// table ('@' and '`', '[' and '{') stay different.
TEST(AsciiCase, FoldsOnlyAsciiLetters) {
  EXPECT_EQ(vip::toLowerAscii("Data Source=\xC3\x84Z@["), "data source=\xC3\x84z@[");
  EXPECT_EQ(vip::toUpperAscii("sqloledb.1 \xC3\xA4{"), "SQLOLEDB.1 \xC3\xA4{");
  const struct {
    const char* a;
    const char* b;
    bool same;
  } cases[] = {
      {"Password", "PASSWORD", true},
      {"pwd", "PWD", true},
      {"", "", true},
      {"PWD", "PWDX", false},
      {"PWDX", "PWD", false},
      {"@", "`", false},
      {"[", "{", false},
      {"\xC3\x84", "\xC3\xA4", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(vip::equalsIgnoringCase(c.a, c.b), c.same) << c.a << " / " << c.b;
}

struct Tracked {
  explicit Tracked(int& frees) : m_frees(frees) {}
  ~Tracked() { ++m_frees; }
  int& m_frees;
};

TEST(SafeObj, LastOwnerFreesTheQueryOnce) {
  int frees = 0;
  {
    Tracked* query = nullptr;
    auto guard = vip::AutoFreeQuery(std::make_unique<Tracked>(frees), query);
    ASSERT_NE(query, nullptr);
    auto copy = guard;
    guard.reset();
    EXPECT_EQ(frees, 0);  // the copy keeps it alive
    // Storing a new guard releases the earlier one after the new one is stored.
    Tracked* second = nullptr;
    copy = vip::AutoFreeQuery(std::make_unique<Tracked>(frees), second);
    EXPECT_EQ(frees, 1);
    EXPECT_THROW(
        {
          auto scoped = vip::AutoFreeQuery(std::make_unique<Tracked>(frees), second);
          throw std::runtime_error("failure while the query is in use");
        },
        std::runtime_error);
    EXPECT_EQ(frees, 2);
  }
  EXPECT_EQ(frees, 3);
  Tracked* none = nullptr;
  { auto empty = vip::AutoFreeQuery<Tracked>(nullptr, none); }
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(frees, 3);  // a guard of no query frees nothing
}

}  // namespace

namespace {

// Texts from outside stand in our messages on one line, without control
// characters, and a long one is shortened, on a character boundary.
TEST(MessageText, ControlCharactersAndLengthAreTamed) {
  EXPECT_EQ(vip::messageText("a\tb\r\nc"), "a b  c");
  EXPECT_EQ(vip::messageText(std::string("nul\0bell\a", 9)), "nul\\x00bell\\x07");
  EXPECT_EQ(vip::messageText("会员资料", 7), "会员... (6 more bytes)");
  const std::string long_path = "/data/" + std::string(1000, 'x') + ".db";
  const std::string shown = vip::messageText(long_path);
  EXPECT_LT(shown.size(), 400u);
  EXPECT_EQ(shown.rfind("/data/xxx", 0), 0u);
  EXPECT_NE(shown.find("(709 more bytes)"), std::string::npos) << shown;
}

}  // namespace
