#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "common/DateTime.h"

namespace vip::store {

// The kinds of store column the data layer tells apart, read from the
// store's own metadata (SQL Server type names for SQLite's declared types).
enum class FieldKind {
  String,      // char, varchar: 8-bit characters
  WideString,  // nchar, nvarchar: Unicode characters
  Memo,        // text, ntext: long text, never cut
  SmallInt,    // 16-bit signed
  Word,        // 8- or 16-bit unsigned (tinyint)
  Integer,     // 32-bit signed; also decimal/numeric without scale and < 10 digits
  LargeInt,    // 64-bit signed
  Float,       // real, float
  Decimal,     // decimal, numeric, money, smallmoney: exact, four places
  DateTime,    // datetime, smalldatetime, date
  Boolean,     // bit
  Unknown,
};

// How a column's declared length is counted: SQL Server's 8-bit columns in
// bytes of the store's code page (GBK), its Unicode ones in UTF-16 code units,
// PostgreSQL's in characters.
enum class LengthUnit { GbkBytes, Utf16Units, Characters };

struct FieldDef {
  std::string name;
  FieldKind kind = FieldKind::Unknown;
  int size = 0;  // declared length of a character column; 0 = none
  bool writable = true;
  bool identity = false;  // the store numbers it on insert
  LengthUnit lengthUnit = LengthUnit::GbkBytes;
  // What the store does with a column a record leaves out: its default
  // (as the store writes it), or NULL, which a column that may not be NULL
  // refuses. `defaultKnown` is false where the store did not say.
  bool nullable = true;
  bool defaultKnown = false;
  std::optional<std::string> defaultValue;
};

// A table's columns as the store describes them, shared by every query
// opened on the table: a description is read once and never changes.
using TableColumns = std::shared_ptr<const std::vector<FieldDef>>;

// An exact decimal held as a count of ten-thousandths.
struct Decimal4 {
  std::int64_t units = 0;
  friend bool operator==(const Decimal4&, const Decimal4&) = default;
};

// NULL, text, integer, double, exact decimal, date-time, boolean.
using Value =
    std::variant<std::monostate, std::string, std::int64_t, double, Decimal4, vip::DateTime, bool>;

}  // namespace vip::store
