#include "store/OdbcDialect.h"

#include <cctype>

#include <sql.h>
#include <sqlext.h>

#include "common/AsciiCase.h"
#include "store/StoreError.h"

namespace vip::store {

namespace {

bool isNameChar(unsigned char c) {
  return std::isalnum(c) || c == '_' || c == '$' || c == '#' || c == '@' || c >= 0x80;
}

bool plainIdentifier(std::string_view name, bool allowSchema) {
  if (name.empty()) return false;
  bool partStart = true;
  for (const char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '.' && allowSchema && !partStart) {
      partStart = true;
      continue;
    }
    if (!isNameChar(c) || (partStart && std::isdigit(c))) return false;
    partStart = false;
  }
  return !partStart;
}

// Largest declared length a character column can have before it counts as
// a long text without a length (varchar(max), nvarchar(max)).
constexpr long long kLongestDeclaredLength = 8000;

}  // namespace

Engine OdbcDialect::engineFor(std::string_view dbmsName) {
  const std::string name = toLowerAscii(dbmsName);
  if (name.find("microsoft sql server") != std::string::npos) return Engine::SqlServer;
  if (name.find("postgresql") != std::string::npos) return Engine::Postgres;
  return Engine::OtherOdbc;
}

FieldDef OdbcDialect::field(const OdbcColumn& column) const {
  FieldDef field;
  field.name = column.name;
  const std::string type = toLowerAscii(column.typeName);
  const bool postgres = m_engine == Engine::Postgres;
  if (postgres) field.lengthUnit = LengthUnit::Characters;
  // Character columns: SQL Server's 8-bit ones count bytes of the store's
  // code page, its Unicode ones UTF-16 units; PostgreSQL counts characters.
  const auto character = [&](FieldKind kind, LengthUnit unit, bool fixed) {
    field.kind = kind;
    field.lengthUnit = postgres ? LengthUnit::Characters : unit;
    field.fixed = fixed;
    const bool declared = column.size > 0 && column.size <= kLongestDeclaredLength;
    field.size = declared ? static_cast<int>(column.size) : 0;
  };

  if (type == "bool" || type == "boolean" || type == "bit") {
    field.kind = FieldKind::Boolean;
  } else if (type == "text" || type == "ntext" || type == "xml") {
    field.kind = FieldKind::Memo;
    field.lengthUnit = postgres         ? LengthUnit::Characters
                       : type == "text" ? LengthUnit::GbkBytes
                                        : LengthUnit::Utf16Units;
  } else if (type == "money" || type == "smallmoney") {
    field.kind = FieldKind::Decimal;
  } else {
    switch (column.sqlType) {
      case SQL_CHAR:
        character(FieldKind::String, LengthUnit::GbkBytes, true);
        break;
      case SQL_VARCHAR:
        character(FieldKind::String, LengthUnit::GbkBytes, false);
        break;
      case SQL_WCHAR:
        // PostgreSQL's char/varchar reach the Unicode driver as wide types.
        character(postgres ? FieldKind::String : FieldKind::WideString, LengthUnit::Utf16Units,
                  true);
        break;
      case SQL_WVARCHAR:
        character(postgres ? FieldKind::String : FieldKind::WideString, LengthUnit::Utf16Units,
                  false);
        break;
      case SQL_LONGVARCHAR:
        character(FieldKind::Memo, LengthUnit::GbkBytes, false);
        field.size = 0;
        break;
      case SQL_WLONGVARCHAR:
        character(FieldKind::Memo, LengthUnit::Utf16Units, false);
        field.size = 0;
        break;
      case SQL_TINYINT:
        field.kind = FieldKind::Word;
        break;
      case SQL_SMALLINT:
        field.kind = FieldKind::SmallInt;
        break;
      case SQL_INTEGER:
        field.kind = FieldKind::Integer;
        break;
      case SQL_BIGINT:
        field.kind = FieldKind::LargeInt;
        break;
      case SQL_REAL:
      case SQL_FLOAT:
      case SQL_DOUBLE:
        field.kind = FieldKind::Float;
        break;
      case SQL_DECIMAL:
      case SQL_NUMERIC:
        // Whole numbers of fewer than 10 digits behave as integers.
        field.kind = column.scale == 0 && column.size > 0 && column.size < 10 ? FieldKind::Integer
                                                                              : FieldKind::Decimal;
        break;
      case SQL_TYPE_TIMESTAMP:
      case SQL_TYPE_DATE:
      case SQL_DATETIME:
      case SQL_TYPE_TIME:
        field.kind = FieldKind::DateTime;
        break;
      case SQL_BIT:
        field.kind = FieldKind::Boolean;
        break;
      default:
        field.kind = FieldKind::Unknown;
        break;
    }
  }
  field.identity = column.autoIncrement;
  field.writable = !column.readOnly && !column.autoIncrement;
  return field;
}

std::string OdbcDialect::selectEmpty(const std::string& table) const {
  switch (m_engine) {
    case Engine::SqlServer:
      return "Select top 0 * from " + table;
    case Engine::Postgres:
      return "SELECT * FROM " + tableName(table) + " LIMIT 0";
    default:
      return "SELECT * FROM " + tableName(table) + " WHERE 1=0";
  }
}

std::string OdbcDialect::quoteName(std::string_view name) const {
  if (m_engine == Engine::SqlServer) {
    std::string out = "[";
    for (const char c : name) {
      out += c;
      if (c == ']') out += ']';
    }
    return out + "]";
  }
  std::string out = "\"";
  for (const char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

std::string OdbcDialect::tableName(const std::string& table) {
  if (!plainIdentifier(table, true)) throw StoreError("Invalid table name '" + table + "'");
  return table;
}

std::string OdbcDialect::columnName(const std::string& column) {
  if (!plainIdentifier(column, false)) throw StoreError("Invalid column name '" + column + "'");
  return column;
}

}  // namespace vip::store
