#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>

#include "sheet/XlsxRelationships.h"
#include "sheet/XlsxValues.h"

namespace vip::sheet {
namespace {

TEST(XlsxValues, CellReferences) {
  struct Case {
    const char* text;
    std::uint32_t row, col;  // 0: refused
  };
  const Case cases[] = {
      {"A1", 1, 1},
      {"B3", 3, 2},
      {"z9", 9, 26},
      {"AA10", 10, 27},
      {"XFD1048576", 1048576, 16384},
      {"XFE1", 0, 0},         // one column past the sheet
      {"A1048577", 0, 0},     // one row past the sheet
      {"A4294967297", 0, 0},  // wraps to row 1 in 32 bits
      {"AAAA1", 0, 0},
      {"A0", 0, 0},
      {"1", 0, 0},
      {"A", 0, 0},
      {"", 0, 0},
      {"A1B", 0, 0},
      {"$A$1", 0, 0},
  };
  for (const Case& c : cases) {
    auto ref = XlsxValues::cellRef(c.text);
    if (c.row == 0) {
      EXPECT_FALSE(ref.has_value()) << c.text;
    } else {
      ASSERT_TRUE(ref.has_value()) << c.text;
      EXPECT_EQ(ref->row, c.row) << c.text;
      EXPECT_EQ(ref->col, c.col) << c.text;
    }
  }
}

TEST(XlsxValues, EscapesDecodeOnce) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"plain", "plain"},
      {"a_x000D_b", "a\rb"},
      {"_x005F_x0041_", "_x0041_"},  // an escaped underscore starts no escape
      {"_x0041__x0042_", "AB"},
      {"_x4e2d_", "\xE4\xB8\xAD"},             // lower-case hex, U+4E2D
      {"_xD83D__xDE00_", "\xF0\x9F\x98\x80"},  // surrogate pair, U+1F600
      {"_xD83D_!", "_xD83D_!"},                // lone surrogate left as written
      {"_x00G1_ _x12_ x0041_ _x0041", "_x00G1_ _x12_ x0041_ _x0041"},
      {"_X0041_", "_X0041_"},  // upper-case X: text
      {"_X0041_a_x0042_", "_X0041_aB"},
      {"_x005f_", "_"},
  };
  for (const Case& c : cases) {
    std::string text = c.in;
    XlsxValues::decodeEscapes(text);
    EXPECT_EQ(text, c.out) << c.in;
  }
}

TEST(XlsxValues, Numbers) {
  EXPECT_EQ(XlsxValues::number("1001"), 1001.0);
  EXPECT_EQ(XlsxValues::number("-2.5"), -2.5);
  EXPECT_EQ(XlsxValues::number("1E+20"), 1e20);
  EXPECT_EQ(XlsxValues::number(" +5e-5 "), 5e-5);
  EXPECT_EQ(XlsxValues::number("6212345678901234"), 6212345678901234.0);
  for (const char* bad : {"", "12abc", "1,5", "inf", "nan", "1e999", "--1", "0x10"}) {
    EXPECT_EQ(XlsxValues::number(bad), std::nullopt) << bad;
  }
  EXPECT_EQ(XlsxValues::index("4294967295"), 4294967295u);
  EXPECT_EQ(XlsxValues::index("4294967296"), std::nullopt);
  EXPECT_EQ(XlsxValues::index("-1"), std::nullopt);
}

TEST(XlsxValues, IsoDates) {
  struct Case {
    const char* text;
    double serial;  // NaN: refused
  };
  const double refused = std::nan("");
  const Case cases[] = {
      {"1899-12-30", 0},
      {"1900-03-01", 61},
      {"2024-03-01", 45352},
      {"2024-03-01T12:00:00", 45352.5},
      {"2024-03-01T12:00:00Z", 45352.5},
      {"2024-03-01T12:00:00.000+08:00", 45352.5},
      {"2024-03-01 06:00", 45352.25},
      {"18:00:00", 0.75},
      {"T06:00:00", 0.25},
      {"1899-12-29T12:00:00", -1.5},  // automation dates before day 0
      {"2023-02-29", refused},
      {"2024-13-01", refused},
      {"2024-03-01T25:00:00", refused},
      {"2024-03-01T12:00:00junk", refused},
      {"20240301", refused},
      {"", refused},
  };
  for (const Case& c : cases) {
    auto serial = XlsxValues::isoDateSerial(c.text);
    if (std::isnan(c.serial)) {
      EXPECT_EQ(serial, std::nullopt) << c.text;
    } else {
      ASSERT_TRUE(serial.has_value()) << c.text;
      EXPECT_NEAR(*serial, c.serial, 1e-9) << c.text;
    }
  }
}

TEST(XlsxValues, IsoDurations) {
  struct Case {
    const char* text;
    double days;  // NaN: refused
  };
  const double refused = std::nan("");
  const Case cases[] = {
      {"PT8H30M", 8.5 / 24},
      {"P1DT12H", 1.5},
      {"P2W", 14},
      {"PT0.5S", 0.5 / 86400},
      {"PT90M", 1.5 / 24},
      {"P1Y", refused},  // years and months have no fixed length
      {"P1M", refused},
      {"PT", refused},
      {"P", refused},
      {"PT1S2M", refused},     // out of order
      {"PT1.5M30S", refused},  // a fraction before the last part
      {"-PT1H", refused},
      {"PT1H junk", refused},
  };
  for (const Case& c : cases) {
    auto days = XlsxValues::isoDurationDays(c.text);
    if (std::isnan(c.days)) {
      EXPECT_EQ(days, std::nullopt) << c.text;
    } else {
      ASSERT_TRUE(days.has_value()) << c.text;
      EXPECT_NEAR(*days, c.days, 1e-12) << c.text;
    }
  }
  EXPECT_NEAR(*XlsxValues::isoDateSerial("2024-03-01T12:00:00+0800"), 45352.5, 1e-9);
  EXPECT_NEAR(*XlsxValues::isoDateSerial("2024-03-01T12:00:00-03"), 45352.5, 1e-9);
  EXPECT_EQ(XlsxValues::isoDateSerial("2024-03-01T12:00:00+080"), std::nullopt);
}

TEST(XlsxValues, ErrorCodes) {
  EXPECT_EQ(XlsxValues::errorCode("#DIV/0!"), 0x07);
  EXPECT_EQ(XlsxValues::errorCode("#N/A"), 0x2A);
  EXPECT_EQ(XlsxValues::errorCode("#NULL!"), 0x00);
  EXPECT_EQ(XlsxValues::errorCode("#BOGUS"), 0xFF);
}

TEST(XlsxRelationships, TargetsResolveAgainstTheSourceFolder) {
  struct Case {
    const char* source;
    const char* target;
    const char* part;
  };
  const Case cases[] = {
      {"xl/workbook.xml", "worksheets/sheet1.xml", "xl/worksheets/sheet1.xml"},
      {"xl/workbook.xml", "/xl/worksheets/sheet1.xml", "xl/worksheets/sheet1.xml"},
      {"xl/workbook.xml", "./worksheets/../worksheets/s.xml", "xl/worksheets/s.xml"},
      {"xl/workbook.xml", "../../../etc/passwd", "etc/passwd"},  // stays inside the package
      {"", "xl/workbook.xml", "xl/workbook.xml"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(XlsxRelationships::resolve(c.source, c.target), c.part) << c.target;
  }
}

}  // namespace
}  // namespace vip::sheet
