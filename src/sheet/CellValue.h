#pragma once

#include <cstdint>

namespace vip::sheet {

enum class CellKind : std::uint8_t {
  Empty,   // a formatted blank, or a formula whose cached result is missing
  Number,  // numeric value; NumberStyle tells date or currency formats
  Text,    // index into the sheet's string pool
  Boolean,
  Error,  // an error value such as #DIV/0!
  // A value the reader could not make sense of (a t="d" cell that names no
  // date): reading it fails with the message in the string pool at `text`,
  // and only that read fails.
  Unreadable,
};

// What the cell's number format makes of a number, decided once at load.
enum class NumberStyle : std::uint8_t { General, Date, Currency };

// What the file said about one cell, kept compact (16 bytes): the column, the
// kind, and the payload. Turning it into cell text is CellText's job.
struct Cell {
  std::uint32_t col = 0;  // 1-based
  CellKind kind = CellKind::Empty;
  NumberStyle style = NumberStyle::General;
  std::uint8_t errorCode = 0;
  bool boolean = false;
  union {
    double number;
    std::uint32_t text;  // string pool index
  };
  Cell() : number(0) {}
};
static_assert(sizeof(Cell) == 16);

}  // namespace vip::sheet
