#include "store/odbc/OdbcStatement.h"

#include <algorithm>

#include "common/DecimalText.h"

namespace vip::store {

namespace {

// The SQL type a NULL of this column kind is sent as.
SQLSMALLINT nullSqlType(FieldKind kind) {
  switch (kind) {
    case FieldKind::SmallInt:
    case FieldKind::Word:
    case FieldKind::Integer:
      return SQL_INTEGER;
    case FieldKind::LargeInt:
      return SQL_BIGINT;
    case FieldKind::Float:
      return SQL_DOUBLE;
    case FieldKind::Decimal:
      return SQL_DECIMAL;
    case FieldKind::DateTime:
      return SQL_TYPE_TIMESTAMP;
    case FieldKind::Boolean:
      return SQL_BIT;
    default:
      return SQL_WVARCHAR;
  }
}

// Texts longer than this go as long texts (the drivers' limit of a plain
// Unicode parameter).
constexpr SQLULEN kLongestPlainText = 4000;

}  // namespace

OdbcStatement::OdbcStatement(const OdbcConnection& connection)
    : m_handle(connection.newStatement()) {}

OdbcStatement::OdbcStatement(const OdbcConnection& connection, const std::string& sql)
    : m_handle(connection.newStatement()) {
  WideText text = toWide(sql);
  check(SQLPrepareW(get(), text.data(), static_cast<SQLINTEGER>(text.size())));
}

void OdbcStatement::reset() noexcept {
  SQLFreeStmt(get(), SQL_CLOSE);
  SQLFreeStmt(get(), SQL_RESET_PARAMS);
}

void OdbcStatement::bind(const std::vector<Value>& values,
                         const std::vector<FieldKind>& nullKinds) {
  // Every buffer exists before the first is bound: none moves afterwards.
  m_parameters.assign(values.size(), Parameter{});
  for (std::size_t i = 0; i < values.size(); ++i) {
    const FieldKind kind = i < nullKinds.size() ? nullKinds[i] : FieldKind::String;
    bindOne(static_cast<SQLUSMALLINT>(i + 1), values[i], kind, m_parameters[i]);
  }
}

void OdbcStatement::bindOne(SQLUSMALLINT index, const Value& value, FieldKind nullKind,
                            Parameter& buffer) {
  SQLSMALLINT cType = SQL_C_WCHAR;
  SQLSMALLINT sqlType = SQL_WVARCHAR;
  SQLULEN size = 0;
  SQLSMALLINT digits = 0;
  SQLPOINTER data = nullptr;
  SQLLEN capacity = 0;
  if (std::holds_alternative<std::monostate>(value)) {
    sqlType = nullSqlType(nullKind);
    size = 1;
    buffer.wide.assign(1, 0);
    data = buffer.wide.data();
    buffer.indicator = SQL_NULL_DATA;
  } else if (const auto* text = std::get_if<std::string>(&value)) {
    buffer.wide = toWide(*text);
    buffer.indicator = static_cast<SQLLEN>(buffer.wide.size() * sizeof(SQLWCHAR));
    size = std::max<SQLULEN>(buffer.wide.size(), 1);
    if (buffer.wide.empty()) buffer.wide.assign(1, 0);
    sqlType = size > kLongestPlainText ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
    data = buffer.wide.data();
    capacity = static_cast<SQLLEN>(buffer.wide.size() * sizeof(SQLWCHAR));
  } else if (const auto* integer = std::get_if<std::int64_t>(&value)) {
    buffer.integer = *integer;
    cType = SQL_C_SBIGINT;
    sqlType = SQL_BIGINT;
    data = &buffer.integer;
  } else if (const auto* real = std::get_if<double>(&value)) {
    buffer.real = *real;
    cType = SQL_C_DOUBLE;
    sqlType = SQL_DOUBLE;
    data = &buffer.real;
  } else if (const auto* decimal = std::get_if<Decimal4>(&value)) {
    buffer.narrow = vip::tenThousandthsText(decimal->units, '.', vip::TrailingZeros::Keep);
    cType = SQL_C_CHAR;
    sqlType = SQL_DECIMAL;
    size = 19;
    digits = 4;
    data = buffer.narrow.data();
    capacity = static_cast<SQLLEN>(buffer.narrow.size());
    buffer.indicator = capacity;
  } else if (const auto* when = std::get_if<vip::DateTime>(&value)) {
    buffer.timestamp.year = static_cast<SQLSMALLINT>(when->year);
    buffer.timestamp.month = static_cast<SQLUSMALLINT>(when->month);
    buffer.timestamp.day = static_cast<SQLUSMALLINT>(when->day);
    buffer.timestamp.hour = static_cast<SQLUSMALLINT>(when->hour);
    buffer.timestamp.minute = static_cast<SQLUSMALLINT>(when->minute);
    buffer.timestamp.second = static_cast<SQLUSMALLINT>(when->second);
    buffer.timestamp.fraction = static_cast<SQLUINTEGER>(when->millisecond) * 1000000u;
    cType = SQL_C_TYPE_TIMESTAMP;
    sqlType = SQL_TYPE_TIMESTAMP;
    size = 23;
    digits = 3;
    data = &buffer.timestamp;
  } else if (const auto* flag = std::get_if<bool>(&value)) {
    buffer.bit = *flag ? 1 : 0;
    cType = SQL_C_BIT;
    sqlType = SQL_BIT;
    size = 1;
    data = &buffer.bit;
  }
  check(SQLBindParameter(get(), index, SQL_PARAM_INPUT, cType, sqlType, size, digits, data,
                         capacity, &buffer.indicator));
}

void OdbcStatement::execute() {
  check(SQLExecute(get()));
}

void OdbcStatement::executeDirect(const std::string& sql) {
  WideText text = toWide(sql);
  check(SQLExecDirectW(get(), text.data(), static_cast<SQLINTEGER>(text.size())));
}

bool OdbcStatement::moreResults() {
  const SQLRETURN rc = SQLMoreResults(get());
  if (rc == SQL_NO_DATA) return false;
  if (!SQL_SUCCEEDED(rc)) {
    // The PostgreSQL driver calls it a sequence error on a statement
    // without rows.
    const auto records = m_handle.diagnostics();
    if (!records.empty() && records.front().sqlState == "HY010") return false;
    check(rc);
  }
  return true;
}

void OdbcStatement::drainResults() {
  while (moreResults()) {
  }
}

SQLLEN OdbcStatement::rowCount() {
  SQLLEN changed = 0;
  check(SQLRowCount(get(), &changed));
  return changed;
}

SQLSMALLINT OdbcStatement::resultColumns() {
  SQLSMALLINT count = 0;
  check(SQLNumResultCols(get(), &count));
  return count;
}

bool OdbcStatement::fetch() {
  return check(SQLFetch(get())) != SQL_NO_DATA;
}

}  // namespace vip::store
