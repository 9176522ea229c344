#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "import/Base64.h"

namespace vip::import {
namespace {

struct Base64Case {
  std::string input;
  std::string expected;
  friend std::ostream& operator<<(std::ostream& os, const Base64Case& c) {
    return os << c.input.size() << " bytes -> '" << c.expected << "'";
  }
};

class EncodeBase64Cases : public ::testing::TestWithParam<Base64Case> {};

TEST_P(EncodeBase64Cases, GivesStandardTextWithPadding) {
  EXPECT_EQ(EncodeBase64(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Short, EncodeBase64Cases,
    ::testing::Values(Base64Case{"", ""}, Base64Case{"a", "YQ=="}, Base64Case{"ab", "YWI="},
                      Base64Case{"abc", "YWJj"}, Base64Case{"0.00", "MC4wMA=="},
                      Base64Case{"12.35", "MTIuMzU="}, Base64Case{"-1234.50", "LTEyMzQuNTA="},
                      // Bytes above 0x7F count by their unsigned value (GBK text).
                      Base64Case{"\xff\xfe\x80", "//6A"}, Base64Case{"\xc4\xd0", "xNA="},
                      Base64Case{"男", "55S3"}));

// 57 bytes are exactly 19 groups: one full line of 76 characters and its break.
TEST(EncodeBase64, BreaksAfterEveryNineteenthGroupButNotAfterTheShortTail) {
  const std::string line57(57, 'M');  // "TU1N" per group
  std::string fullLine;
  for (int i = 0; i < 19; ++i)
    fullLine += "TU1N";
  ASSERT_EQ(fullLine.size(), 76u);

  EXPECT_EQ(EncodeBase64(line57), fullLine + "\r\n");
  EXPECT_EQ(EncodeBase64(line57 + "M"), fullLine + "\r\nTQ==");
  EXPECT_EQ(EncodeBase64(line57 + "MM"), fullLine + "\r\nTU0=");
  EXPECT_EQ(EncodeBase64(std::string(56, 'M')), fullLine.substr(0, 72) + "TU0=");
  EXPECT_EQ(EncodeBase64(std::string(114, 'M')), fullLine + "\r\n" + fullLine + "\r\n");
}

TEST(EncodeBase64, EveryOutputLineHoldsAtMostSeventySixCharacters) {
  std::string input;
  for (int i = 0; i < 1000; ++i)
    input += static_cast<char>(i * 37 % 256);
  const std::string out = EncodeBase64(input);
  EXPECT_EQ(out.size(), (input.size() + 2) / 3 * 4 + input.size() / 57 * 2);
  std::size_t lineStart = 0;
  for (std::size_t pos = out.find("\r\n"); pos != std::string::npos;
       pos = out.find("\r\n", lineStart)) {
    EXPECT_EQ(pos - lineStart, 76u);
    lineStart = pos + 2;
  }
  EXPECT_LE(out.size() - lineStart, 76u);
  EXPECT_EQ(out.find_first_not_of(std::string(Base64Chars) + "=\r\n"), std::string::npos);
}

}  // namespace
}  // namespace vip::import
