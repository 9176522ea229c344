// UTF-8, UTF-16 and iconv, which the reader, the store and the length checks
// once each did their own way (and treated bad bytes three ways).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Iconv.h"
#include "common/Utf8.h"

namespace vip {
namespace {

TEST(Utf8, DecodesOneCharacterAndReportsBadBytesAsOneInvalidByte) {
  const struct {
    const char* text;
    char32_t codePoint;
    std::size_t length;
    bool valid;
  } cases[] = {
      {"A", U'A', 1, true},
      {"\xC3\xA9", 0xE9, 2, true},
      {"\xE4\xB8\xAD", 0x4E2D, 3, true},
      {"\xF0\xA0\x80\x80", 0x20000, 4, true},  // CJK Extension B
      {"\x80", 0x80, 1, false},                // a continuation byte alone
      {"\xE4\xB8", 0xE4, 1, false},            // cut short
      {"\xE4"
       "A",
       0xE4, 1, false},                      // not followed by a continuation byte
      {"\xC0\xA4", 0xC0, 1, false},          // overlong "$"
      {"\xED\xA0\x80", 0xED, 1, false},      // a surrogate
      {"\xF4\x90\x80\x80", 0xF4, 1, false},  // past U+10FFFF
      {"\xF8\x88\x80\x80\x80", 0xF8, 1, false},
  };
  for (const auto& c : cases) {
    const Utf8Char ch = decodeUtf8(c.text, 0);
    EXPECT_EQ(ch.codePoint, c.codePoint) << c.text;
    EXPECT_EQ(ch.length, c.length) << c.text;
    EXPECT_EQ(ch.valid, c.valid) << c.text;
  }
}

TEST(Utf8, EncodesEveryLength) {
  std::string out;
  for (const char32_t cp : {U'A', char32_t{0xE9}, char32_t{0x4E2D}, char32_t{0x20000}})
    appendUtf8(out, cp);
  EXPECT_EQ(out, "A\xC3\xA9\xE4\xB8\xAD\xF0\xA0\x80\x80");
}

std::u16string toUtf16(std::string_view text) {
  std::u16string out;
  utf8ToUtf16(text, [&out](char16_t unit) { out.push_back(unit); });
  return out;
}

// Towards UTF-16 every byte that starts no character becomes one U+FFFD, so
// a text cut inside a character keeps its length in replacement characters.
TEST(Utf8, ToUtf16ReplacesEachBadByte) {
  EXPECT_EQ(toUtf16("a\xE4\xB8"
                    "b"),
            u"a\uFFFD\uFFFDb");
  EXPECT_EQ(toUtf16("\xC0\xA4"), u"\uFFFD\uFFFD");
  EXPECT_EQ(toUtf16("\xF0\xA0\x80\x80"), u"\U00020000");
  EXPECT_EQ(toUtf16("中文"), u"中文");
}

std::string fromUnits(const std::vector<char16_t>& units) {
  std::string out;
  Utf16ToUtf8 writer(out);
  for (const char16_t unit : units)
    writer.unit(unit);
  writer.finish();
  return out;
}

TEST(Utf8, FromUtf16JoinsPairsAndReplacesLoneSurrogates) {
  EXPECT_EQ(fromUnits({0xD840, 0xDC00}), "\xF0\xA0\x80\x80");
  EXPECT_EQ(fromUnits({0xD840, u'A'}),
            "\xEF\xBF\xBD"
            "A");  // high without its low
  EXPECT_EQ(fromUnits({0xDC00, u'A'}),
            "\xEF\xBF\xBD"
            "A");                                         // low alone
  EXPECT_EQ(fromUnits({u'A', 0xD840}), "A\xEF\xBF\xBD");  // the text ends inside a pair
  // A code point given directly ends a pending high surrogate first.
  std::string out;
  {
    Utf16ToUtf8 writer(out);
    writer.unit(0xD840);
    writer.codePoint(0xE9);
  }
  EXPECT_EQ(out, "\xEF\xBF\xBD\xC3\xA9");
}

Iconv::Result convert(Iconv& converter, std::string_view in, std::string& out) {
  out.assign(16, '\0');
  const Iconv::Result result = converter.convert(in, out);
  out.resize(result.written);
  return result;
}

TEST(Iconv, ConvertsAndTellsWhyItStopped) {
  Iconv gbk("GBK", "UTF-8");
  ASSERT_TRUE(gbk.isOpen());
  std::string out;
  EXPECT_EQ(convert(gbk, "中", out).status, Iconv::Status::Done);
  EXPECT_EQ(out, "\xD6\xD0");
  EXPECT_EQ(convert(gbk, "\xF0\x9F\x98\x80", out).status, Iconv::Status::Invalid);  // no GBK form
  EXPECT_EQ(convert(gbk, "\xE4\xB8", out).status, Iconv::Status::Incomplete);
  const Iconv::Result full = convert(gbk, std::string(20, 'a'), out);
  EXPECT_EQ(full.status, Iconv::Status::NoRoom);
  EXPECT_EQ(full.consumed, 16u);
  // Each conversion starts from the initial state, whatever the last left.
  EXPECT_EQ(convert(gbk, "a中", out).status, Iconv::Status::Done);
  EXPECT_EQ(out, "a\xD6\xD0");

  EXPECT_FALSE(Iconv("UTF-8", "NO-SUCH-ENCODING").isOpen());
}

}  // namespace
}  // namespace vip
