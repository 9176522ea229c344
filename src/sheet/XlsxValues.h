#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vip::sheet {

// A cell reference such as "B3" or "XFD1048576", 1-based.
struct XlsxCellRef {
  std::uint32_t row = 0;
  std::uint32_t col = 0;
};

// Small parsers for the value syntax of worksheet XML. Only decodeEscapes
// allocates, and only for a text that holds an escape.
class XlsxValues {
 public:
  static constexpr std::uint32_t kMaxRows = 1048576, kMaxCols = 16384;

  // "B3" -> {3, 2}. nullopt for anything that is not a reference inside
  // A1:XFD1048576 (checked digit by digit, so a long reference never wraps).
  static std::optional<XlsxCellRef> cellRef(std::string_view text);
  // A row number 1..1048576, or nullopt.
  static std::optional<std::uint32_t> rowNumber(std::string_view text);
  // A column given by letters only: "A" -> 1, "XFD" -> 16384.
  static std::optional<std::uint32_t> columnLetters(std::string_view text);

  // Replaces the _xHHHH_ escapes that writers use for characters XML cannot
  // carry (controls, lone underscores before "x"); "_x005F_" stands for "_",
  // so "_x005F_x0041_" reads "_x0041_". The "x" is lower case (the hex
  // digits may be either): "_X0041_" is text. A surrogate pair of escapes
  // becomes one character; a lone surrogate is left as written.
  static void decodeEscapes(std::string& text);

  // A decimal number as worksheets write it (std::from_chars, an optional
  // leading "+" and surrounding blanks allowed); nullopt unless finite.
  static std::optional<double> number(std::string_view text);
  static std::optional<std::uint32_t> index(std::string_view text);

  // An ISO 8601 date and/or time ("2024-03-01", "2024-03-01T13:45:30.5Z",
  // "13:45:30") as an automation date serial (days from 1899-12-30).
  static std::optional<double> isoDateSerial(std::string_view text);
  // An ISO 8601 duration of weeks, days, hours, minutes and seconds
  // ("PT8H30M", "P1DT12H", "PT0.5S") in days; nullopt for anything else,
  // years and months included.
  static std::optional<double> isoDurationDays(std::string_view text);

  // The error value's code as the binary format numbers it (#DIV/0! -> 7);
  // 0xFF for text that names no known error.
  static std::uint8_t errorCode(std::string_view text);
};

}  // namespace vip::sheet
