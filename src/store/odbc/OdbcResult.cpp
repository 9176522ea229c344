#include "store/odbc/OdbcResult.h"

#include <algorithm>

#include "common/DecimalText.h"

namespace vip::store {

namespace {

std::string columnText(OdbcStatement& statement, SQLUSMALLINT index, SQLUSMALLINT attribute) {
  WideText buffer(256, 0);
  SQLSMALLINT length = 0;
  statement.check(SQLColAttributeW(statement.get(), index, attribute, buffer.data(),
                                   static_cast<SQLSMALLINT>(buffer.size() * sizeof(SQLWCHAR)),
                                   &length, nullptr));
  const std::size_t units = std::min(
      static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)) / sizeof(SQLWCHAR), buffer.size());
  return fromWide(buffer.data(), units);
}

SQLLEN columnNumber(OdbcStatement& statement, SQLUSMALLINT index, SQLUSMALLINT attribute) {
  SQLLEN value = 0;
  statement.check(SQLColAttributeW(statement.get(), index, attribute, nullptr, 0, nullptr, &value));
  return value;
}

// A column as UTF-16 text in pieces of any length; nullopt for NULL.
std::optional<std::string> readText(OdbcStatement& statement, SQLUSMALLINT index) {
  WideText all;
  WideText piece(2048, 0);
  while (true) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = statement.check(
        SQLGetData(statement.get(), index, SQL_C_WCHAR, piece.data(),
                   static_cast<SQLLEN>(piece.size() * sizeof(SQLWCHAR)), &indicator));
    if (rc == SQL_NO_DATA) break;
    if (indicator == SQL_NULL_DATA) return std::nullopt;
    const std::size_t room = piece.size() - 1;  // less the terminator
    std::size_t units = room;
    if (indicator != SQL_NO_TOTAL) {
      units = std::min(room, static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR));
    }
    all.append(piece.data(), units);
    if (rc == SQL_SUCCESS) break;
  }
  return fromWide(all);
}

template <typename T>
std::optional<T> readFixed(OdbcStatement& statement, SQLUSMALLINT index, SQLSMALLINT cType) {
  T value{};
  SQLLEN indicator = 0;
  statement.check(SQLGetData(statement.get(), index, cType, &value, sizeof value, &indicator));
  if (indicator == SQL_NULL_DATA) return std::nullopt;
  return value;
}

// An exact decimal as the driver writes it ("-12.34565"): ten-thousandths,
// the fifth place rounded half to even like the currency type; beyond that
// range the nearest double.
Value decimalValue(const std::string& text) {
  const auto number = vip::DecimalText::read(text, '.');
  if (!number) return text;
  if (const auto units = number->toTenThousandths()) return Decimal4{*units};
  if (const auto real = number->toDouble()) return *real;
  return text;
}

}  // namespace

std::vector<OdbcColumn> describeColumns(OdbcStatement& statement) {
  const SQLSMALLINT count = statement.resultColumns();
  std::vector<OdbcColumn> columns;
  for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(std::max<SQLSMALLINT>(count, 0)); ++i) {
    WideText name(256, 0);
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT sqlType = 0;
    SQLULEN size = 0;
    SQLSMALLINT scale = 0;
    SQLSMALLINT nullable = 0;
    statement.check(SQLDescribeColW(statement.get(), i, name.data(),
                                    static_cast<SQLSMALLINT>(name.size()), &nameLength, &sqlType,
                                    &size, &scale, &nullable));
    OdbcColumn column;
    column.name = fromWide(
        name.data(),
        std::min(static_cast<std::size_t>(std::max<SQLSMALLINT>(nameLength, 0)), name.size()));
    column.sqlType = sqlType;
    column.size = static_cast<long long>(std::min<SQLULEN>(size, 1u << 30));
    column.scale = scale;
    column.nullable = nullable != SQL_NO_NULLS;
    column.typeName = columnText(statement, i, SQL_DESC_TYPE_NAME);
    column.autoIncrement = columnNumber(statement, i, SQL_DESC_AUTO_UNIQUE_VALUE) == SQL_TRUE;
    column.readOnly = columnNumber(statement, i, SQL_DESC_UPDATABLE) == SQL_ATTR_READONLY;
    columns.push_back(std::move(column));
  }
  return columns;
}

ResultSet readResult(OdbcStatement& statement, const OdbcDialect& dialect) {
  ResultSet result;
  while (statement.resultColumns() == 0) {
    if (!statement.moreResults()) return result;
  }
  for (const OdbcColumn& column : describeColumns(statement))
    result.columns.push_back(dialect.field(column));
  while (statement.fetch()) {
    std::vector<Value> row;
    row.reserve(result.columns.size());
    for (std::size_t i = 0; i < result.columns.size(); ++i)
      row.push_back(readValue(statement, static_cast<SQLUSMALLINT>(i + 1), result.columns[i].kind));
    result.rows.push_back(std::move(row));
  }
  return result;
}

Value readValue(OdbcStatement& statement, SQLUSMALLINT index, FieldKind kind) {
  switch (kind) {
    case FieldKind::SmallInt:
    case FieldKind::Word:
    case FieldKind::Integer:
    case FieldKind::LargeInt: {
      const auto value = readFixed<std::int64_t>(statement, index, SQL_C_SBIGINT);
      return value ? Value{*value} : Value{};
    }
    case FieldKind::Float: {
      const auto value = readFixed<double>(statement, index, SQL_C_DOUBLE);
      return value ? Value{*value} : Value{};
    }
    case FieldKind::DateTime: {
      const auto value = readFixed<SQL_TIMESTAMP_STRUCT>(statement, index, SQL_C_TYPE_TIMESTAMP);
      if (!value) return {};
      return vip::DateTime{value->year,
                           value->month,
                           value->day,
                           value->hour,
                           value->minute,
                           value->second,
                           static_cast<int>(value->fraction / 1000000u)};
    }
    case FieldKind::Boolean: {
      const auto value = readFixed<unsigned char>(statement, index, SQL_C_BIT);
      return value ? Value{*value != 0} : Value{};
    }
    case FieldKind::Decimal: {
      const std::optional<std::string> text = readText(statement, index);
      return text ? decimalValue(*text) : Value{};
    }
    default: {
      std::optional<std::string> text = readText(statement, index);
      return text ? Value{std::move(*text)} : Value{};
    }
  }
}

std::optional<std::int64_t> readFirstInteger(OdbcStatement& statement) {
  // Skip an insert's row count to reach the row that holds the value.
  while (statement.resultColumns() == 0) {
    if (!statement.moreResults()) return std::nullopt;
  }
  if (!statement.fetch()) return std::nullopt;
  return readFixed<std::int64_t>(statement, 1, SQL_C_SBIGINT);
}

}  // namespace vip::store
