#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sheet/CellText.h"
#include "sheet/SheetError.h"

namespace vip::sheet {
namespace {

Cell numberCell(double value, NumberStyle style) {
  Cell cell;
  cell.col = 1;
  cell.kind = CellKind::Number;
  cell.style = style;
  cell.number = value;
  return cell;
}

struct NumberCase {
  double value;
  NumberStyle style;
  bool date1904;
  const char* text;
};

constexpr double kSecond = 1.0 / 86400;

TEST(CellText, NumbersDatesAndCurrency) {
  const std::vector<NumberCase> cases = {
      // General numbers.
      {1001, NumberStyle::General, false, "1001"},
      {12.5, NumberStyle::General, false, "12.5"},
      {0.3, NumberStyle::General, false, "0.3"},
      {0.00005, NumberStyle::General, false, "5E-5"},
      {1e20, NumberStyle::General, false, "1E20"},
      {13812345678, NumberStyle::General, false, "13812345678"},
      {6200123456789012, NumberStyle::General, false, "6200123456789012"},
      {-0.0, NumberStyle::General, false, "0"},
      // Dates count from 1899-12-30; 60 is 1900-02-28 (no phantom leap day).
      {1, NumberStyle::Date, false, "1899-12-31"},
      {60, NumberStyle::Date, false, "1900-02-28"},
      {61, NumberStyle::Date, false, "1900-03-01"},
      {45366, NumberStyle::Date, false, "2024-03-15"},
      {45366.5, NumberStyle::Date, false, "2024-03-15 12:00:00"},
      {45366 + (13 * 3600 + 45 * 60 + 30) * kSecond, NumberStyle::Date, false,
       "2024-03-15 13:45:30"},
      // Seconds round to the nearest, across midnight too.
      {45366 + 59.6 * kSecond, NumberStyle::Date, false, "2024-03-15 00:01:00"},
      {45366 + 59.4 * kSecond, NumberStyle::Date, false, "2024-03-15 00:00:59"},
      {45366.9999999, NumberStyle::Date, false, "2024-03-16"},
      // A time alone.
      {0.5, NumberStyle::Date, false, "12:00:00"},
      {0, NumberStyle::Date, false, "00:00:00"},
      {0.25, NumberStyle::Date, true, "06:00:00"},
      // The 1904 date system counts from 1904-01-01.
      {1, NumberStyle::Date, true, "1904-01-02"},
      {43904, NumberStyle::Date, true, "2024-03-15"},
      {1.5, NumberStyle::Date, true, "1904-01-02 12:00:00"},
      // No date before day 0 or after 9999-12-31: the number stays a number.
      {-1, NumberStyle::Date, false, "-1"},
      {3e6, NumberStyle::Date, false, "3000000"},
      // Currency: four places, ties to even, no trailing zeros or separator,
      // no symbol, no negative zero.
      {12.5, NumberStyle::Currency, false, "12.5"},
      {-3, NumberStyle::Currency, false, "-3"},
      {1234.5678, NumberStyle::Currency, false, "1234.5678"},
      {1234.56781, NumberStyle::Currency, false, "1234.5678"},
      {0.00125, NumberStyle::Currency, false, "0.0012"},
      {0.00135, NumberStyle::Currency, false, "0.0014"},
      {0.1, NumberStyle::Currency, false, "0.1"},
      {0, NumberStyle::Currency, false, "0"},
      {-0.00001, NumberStyle::Currency, false, "0"},
      {900000000000000.0, NumberStyle::Currency, false, "900000000000000"},
      {1e20, NumberStyle::Currency, false, "1E20"},  // past the currency type's range
  };
  for (const auto& c : cases) {
    SheetData sheet;
    sheet.setDate1904(c.date1904);
    EXPECT_EQ(cellText(numberCell(c.value, c.style), sheet, defaultFormatSettings()), c.text)
        << c.value << (c.date1904 ? " (1904)" : "");
  }
}

TEST(CellText, OtherKinds) {
  SheetData sheet;
  Cell text;
  text.kind = CellKind::Text;
  text.text = sheet.addString("  padded 会员  ");
  EXPECT_EQ(cellText(text, sheet, defaultFormatSettings()), "  padded 会员  ");

  Cell empty;
  EXPECT_EQ(cellText(empty, sheet, defaultFormatSettings()), "");

  Cell boolean;
  boolean.kind = CellKind::Boolean;
  boolean.boolean = true;
  EXPECT_EQ(cellText(boolean, sheet, defaultFormatSettings()), "True");
  boolean.boolean = false;
  EXPECT_EQ(cellText(boolean, sheet, defaultFormatSettings()), "False");

  Cell error;
  error.kind = CellKind::Error;
  error.errorCode = 0x07;
  try {
    cellText(error, sheet, defaultFormatSettings());
    FAIL() << "an error value gave a text";
  } catch (const SheetError& e) {
    EXPECT_STREQ(e.what(), "Could not convert variant of type (Error) into type (String)");
  }
}

TEST(CellText, FollowsTheFormatSettings) {
  FormatSettings settings;
  settings.shortDateFormat = "dd/mm/yyyy";
  settings.longTimeFormat = "hh.nn.ss";
  settings.decimalSeparator = ',';
  SheetData sheet;
  EXPECT_EQ(cellText(numberCell(45366 + 0.5 + 30 * kSecond, NumberStyle::Date), sheet, settings),
            "15/03/2024 12.00.30");
  EXPECT_EQ(cellText(numberCell(0.75, NumberStyle::Date), sheet, settings), "18.00.00");
  EXPECT_EQ(cellText(numberCell(-12.25, NumberStyle::Currency), sheet, settings), "-12,25");
  EXPECT_EQ(cellText(numberCell(0.3, NumberStyle::General), sheet, settings), "0,3");
}

}  // namespace
}  // namespace vip::sheet
