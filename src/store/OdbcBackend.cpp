#include "store/OdbcBackend.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>
#include <thread>

#include "common/AsciiCase.h"
#include "store/OdbcDialect.h"
#include "store/OdbcHandle.h"
#include "store/OdbcWideText.h"
#include "store/StatementMap.h"
#include "store/StoreError.h"

namespace vip::store {

namespace {

constexpr SQLULEN kLoginTimeoutSeconds = 15;
// Serialization failures and counter-creation clashes are tried again this
// many times before the row fails with the store's message.
constexpr int kAllocationAttempts = 6;

std::string passwordOf(const ConnectionString& settings) {
  for (const auto& [key, value] : settings.pairs()) {
    if (equalsIgnoringCase(key, "Password") || equalsIgnoringCase(key, "PWD")) return value;
  }
  return {};
}

// A decimal text ("-12.34565") as ten-thousandths, the fifth place and beyond
// rounded half to even like the currency type; nullopt when it does not fit.
std::optional<Decimal4> parseDecimal4(std::string_view text) {
  std::size_t pos = 0;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) negative = text[pos++] == '-';
  std::int64_t units = 0;
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  int places = -1;  // digits after the point; -1 before it
  bool rest = false;
  int roundDigit = -1;
  bool any = false;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c == '.' && places < 0) {
      places = 0;
      continue;
    }
    if (c < '0' || c > '9') return std::nullopt;
    any = true;
    if (places < 4) {
      if (units > (kMax - (c - '0')) / 10) return std::nullopt;
      units = units * 10 + (c - '0');
      if (places >= 0) ++places;
    } else if (roundDigit < 0) {
      roundDigit = c - '0';
    } else if (c != '0') {
      rest = true;
    }
  }
  if (!any) return std::nullopt;
  for (int p = std::max(places, 0); p < 4; ++p)
    units *= 10;
  if (roundDigit > 5 || (roundDigit == 5 && (rest || units % 2 != 0))) ++units;
  if (units > std::numeric_limits<std::int64_t>::max()) return std::nullopt;
  const auto value = static_cast<std::int64_t>(units);
  return Decimal4{negative ? -value : value};
}

std::string decimalText(Decimal4 value) {
  const bool negative = value.units < 0;
  const unsigned long long magnitude = negative
                                           ? 0ull - static_cast<unsigned long long>(value.units)
                                           : static_cast<unsigned long long>(value.units);
  std::string fraction = std::to_string(magnitude % 10000);
  fraction.insert(0, 4 - fraction.size(), '0');
  return (negative ? "-" : "") + std::to_string(magnitude / 10000) + "." + fraction;
}

// One bound parameter's storage; it must stay in place until the statement
// has run.
struct ParamBuffer {
  WideText wide;
  std::string narrow;
  std::int64_t integer = 0;
  double real = 0;
  SQL_TIMESTAMP_STRUCT timestamp{};
  unsigned char bit = 0;
  SQLLEN indicator = 0;
};

// A prepared statement stays for the next row: however its execution ends,
// close its cursor and drop the parameters bound to this call's buffers.
class ExecutionReset {
 public:
  explicit ExecutionReset(OdbcHandle& stmt) : m_stmt(stmt) {}
  ~ExecutionReset() {
    SQLFreeStmt(m_stmt.get(), SQL_CLOSE);
    SQLFreeStmt(m_stmt.get(), SQL_RESET_PARAMS);
  }
  ExecutionReset(const ExecutionReset&) = delete;
  ExecutionReset& operator=(const ExecutionReset&) = delete;

 private:
  OdbcHandle& m_stmt;
};

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

class OdbcBackend final : public Backend {
 public:
  OdbcBackend(const std::string& odbcText, std::shared_ptr<const std::string> secret)
      : m_secret(std::move(secret)),
        m_env(SQL_HANDLE_ENV, SQL_NULL_HANDLE, m_secret),
        m_dialect(Engine::OtherOdbc) {
    m_env.check(SQLSetEnvAttr(m_env.get(), SQL_ATTR_ODBC_VERSION,
                              reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
    m_dbc = OdbcHandle(SQL_HANDLE_DBC, m_env.get(), m_secret);
    m_dbc.check(SQLSetConnectAttr(m_dbc.get(), SQL_ATTR_LOGIN_TIMEOUT,
                                  reinterpret_cast<SQLPOINTER>(kLoginTimeoutSeconds), 0));
    WideText text = toWide(odbcText);
    m_dbc.check(SQLDriverConnectW(m_dbc.get(), nullptr, text.data(),
                                  static_cast<SQLSMALLINT>(text.size()), nullptr, 0, nullptr,
                                  SQL_DRIVER_NOPROMPT));
    m_connected = true;
    m_dialect = OdbcDialect(OdbcDialect::engineFor(infoText(SQL_DBMS_NAME)));
  }

  ~OdbcBackend() override {
    m_prepared.clear();
    if (m_connected) SQLDisconnect(m_dbc.get());
  }

  OdbcBackend(const OdbcBackend&) = delete;
  OdbcBackend& operator=(const OdbcBackend&) = delete;

  Engine engine() const override { return m_dialect.engine(); }

  ResultSet query(const std::string& sqlServerText) override {
    const RecognisedStatement statement = recogniseStatement(sqlServerText);
    using Kind = RecognisedStatement::Kind;
    switch (statement.kind) {
      case Kind::SelectEmpty:
        return ResultSet{describeTable(statement.table), {}};
      case Kind::IdentityTest:
        if (engine() != Engine::SqlServer) return identityRows(statement);
        break;
      case Kind::Allocation: {
        ResultSet result;
        FieldDef column;
        column.name = "ASN_NO";
        column.kind = FieldKind::Integer;
        result.columns.push_back(column);
        result.rows.push_back({Value{std::int64_t{allocate(statement.table, statement.column)}}});
        return result;
      }
      case Kind::BusinessDate:  // the same text reads well on every engine
      case Kind::Other:
        break;
    }
    OdbcHandle stmt = newStatement();
    WideText text = toWide(sqlServerText);
    stmt.check(SQLExecDirectW(stmt.get(), text.data(), static_cast<SQLINTEGER>(text.size())));
    ResultSet result = readResult(stmt);
    // The whole batch runs, and its later errors are reported.
    while (moreResults(stmt)) {
    }
    return result;
  }

  std::vector<FieldDef> describeTable(const std::string& table) override {
    const std::string key = toLowerAscii(table);
    if (auto found = m_tables.find(key); found != m_tables.end()) return found->second;
    OdbcHandle stmt = newStatement();
    WideText text = toWide(m_dialect.selectEmpty(table));
    stmt.check(SQLExecDirectW(stmt.get(), text.data(), static_cast<SQLINTEGER>(text.size())));
    std::vector<FieldDef> fields;
    for (const OdbcColumn& column : describeColumns(stmt))
      fields.push_back(m_dialect.field(column));
    SQLCloseCursor(stmt.get());
    if (engine() == Engine::Postgres) refineFromCatalog(table, fields);
    m_tables[key] = fields;
    return fields;
  }

  std::optional<std::int64_t> insert(const std::string& table,
                                     const std::vector<const FieldDef*>& columns,
                                     const std::vector<Value>& values) override {
    if (columns.size() != values.size()) throw StoreError("Insert: columns and values differ");
    const std::vector<FieldDef> fields = describeTable(table);
    const FieldDef* identity = nullptr;
    for (const FieldDef& field : fields) {
      if (field.identity) identity = &field;
    }
    const std::string sql = insertStatement(table, columns, identity);
    OdbcHandle& stmt = prepared(sql);
    std::vector<ParamBuffer> buffers(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
      bindParameter(stmt, static_cast<SQLUSMALLINT>(i + 1), values[i], columns[i]->kind,
                    buffers[i]);
    }
    const ExecutionReset reset(stmt);
    stmt.check(SQLExecute(stmt.get()));
    if (identity == nullptr) return std::nullopt;
    return readIdentity(stmt);
  }

  bool isIdentity(const std::string& table, const std::string& column) override {
    if (engine() == Engine::SqlServer) {
      return !query(identityTestStatement(table, column)).rows.empty();
    }
    for (const FieldDef& field : describeTable(table)) {
      if (field.identity && equalsIgnoringCase(field.name, column)) return true;
    }
    return false;
  }

  std::int32_t allocate(const std::string& table, const std::string& column) override {
    for (int attempt = 1;; ++attempt) {
      try {
        switch (engine()) {
          case Engine::SqlServer:
            return allocateSqlServer(table, column);
          default:
            return allocatePlain(table, column);
        }
      } catch (const StoreError& error) {
        if (attempt >= kAllocationAttempts || !worthRetrying(error)) throw;
      }
      // Let the other client finish its transaction before drawing again.
      std::this_thread::sleep_for(std::chrono::milliseconds(5 * attempt + std::rand() % 10));
    }
  }

  bool tableExists(const std::string& table) override {
    std::string sql =
        "SELECT COUNT(*) FROM INFORMATION_SCHEMA.TABLES WHERE LOWER(TABLE_NAME)=LOWER(?)";
    if (engine() == Engine::Postgres) sql += " AND table_schema=current_schema()";
    const ResultSet result = run(sql, {Value{table}});
    return !result.rows.empty() && std::get_if<std::int64_t>(&result.rows[0][0]) != nullptr &&
           std::get<std::int64_t>(result.rows[0][0]) > 0;
  }

  // The whole script in one transaction, so a failure leaves no half-made
  // store behind.
  void executeScript(const std::string& sql) override {
    ManualCommit transaction(*this);
    for (const std::string& statement : splitScript(sql))
      execute(statement);
    transaction.commit();
  }

 private:
  // One transaction for the lifetime of the object, rolled back unless
  // committed. PostgreSQL gets explicit BEGIN/COMMIT: its driver's manual
  // commit mode cannot describe the rows of UPDATE ... RETURNING. Other
  // stores leave autocommit for the duration.
  class ManualCommit {
   public:
    explicit ManualCommit(OdbcBackend& backend) : m_backend(backend) {
      if (explicitStatements()) {
        m_backend.execute("BEGIN");
      } else {
        m_backend.m_dbc.check(SQLSetConnectAttr(m_backend.m_dbc.get(), SQL_ATTR_AUTOCOMMIT,
                                                reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF),
                                                SQL_IS_UINTEGER));
      }
    }
    ~ManualCommit() {
      if (explicitStatements()) {
        if (!m_done) {
          try {
            m_backend.execute("ROLLBACK");
          } catch (const StoreError&) {
            // The connection is gone, and with it the transaction.
          }
        }
        return;
      }
      if (!m_done) SQLEndTran(SQL_HANDLE_DBC, m_backend.m_dbc.get(), SQL_ROLLBACK);
      SQLSetConnectAttr(m_backend.m_dbc.get(), SQL_ATTR_AUTOCOMMIT,
                        reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), SQL_IS_UINTEGER);
    }
    void commit() {
      if (explicitStatements()) {
        m_backend.execute("COMMIT");
      } else {
        m_backend.m_dbc.check(SQLEndTran(SQL_HANDLE_DBC, m_backend.m_dbc.get(), SQL_COMMIT));
      }
      m_done = true;
    }
    ManualCommit(const ManualCommit&) = delete;
    ManualCommit& operator=(const ManualCommit&) = delete;

   private:
    bool explicitStatements() const { return m_backend.engine() == Engine::Postgres; }

    OdbcBackend& m_backend;
    bool m_done = false;
  };

  void execute(const std::string& sql) {
    OdbcHandle stmt = newStatement();
    WideText text = toWide(sql);
    stmt.check(SQLExecDirectW(stmt.get(), text.data(), static_cast<SQLINTEGER>(text.size())));
  }

  static bool worthRetrying(const StoreError& error) {
    const std::string& state = error.sqlState();
    // Serialization failure and deadlock; the counter row created by another
    // client at the same moment (unique violation).
    return state == "40001" || state == "40P01" || state == "23505" || state == "23000" ||
           error.kind() == StoreError::Kind::Retryable;
  }

  OdbcHandle newStatement() { return OdbcHandle(SQL_HANDLE_STMT, m_dbc.get(), m_secret); }

  OdbcHandle& prepared(const std::string& sql) {
    auto found = m_prepared.find(sql);
    if (found != m_prepared.end()) return found->second;
    OdbcHandle stmt = newStatement();
    WideText text = toWide(sql);
    stmt.check(SQLPrepareW(stmt.get(), text.data(), static_cast<SQLINTEGER>(text.size())));
    return m_prepared.emplace(sql, std::move(stmt)).first->second;
  }

  std::string infoText(SQLUSMALLINT info) {
    WideText buffer(256, 0);
    SQLSMALLINT length = 0;
    m_dbc.check(SQLGetInfoW(m_dbc.get(), info, buffer.data(),
                            static_cast<SQLSMALLINT>(buffer.size() * sizeof(SQLWCHAR)), &length));
    const std::size_t units =
        std::min(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)) / sizeof(SQLWCHAR),
                 buffer.size());
    return fromWide(buffer.data(), units);
  }

  std::string columnText(OdbcHandle& stmt, SQLUSMALLINT index, SQLUSMALLINT attribute) {
    WideText buffer(256, 0);
    SQLSMALLINT length = 0;
    const SQLRETURN rc = SQLColAttributeW(
        stmt.get(), index, attribute, buffer.data(),
        static_cast<SQLSMALLINT>(buffer.size() * sizeof(SQLWCHAR)), &length, nullptr);
    if (!SQL_SUCCEEDED(rc)) return {};
    const std::size_t units =
        std::min(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)) / sizeof(SQLWCHAR),
                 buffer.size());
    return fromWide(buffer.data(), units);
  }

  SQLLEN columnNumber(OdbcHandle& stmt, SQLUSMALLINT index, SQLUSMALLINT attribute) {
    SQLLEN value = 0;
    const SQLRETURN rc =
        SQLColAttributeW(stmt.get(), index, attribute, nullptr, 0, nullptr, &value);
    return SQL_SUCCEEDED(rc) ? value : 0;
  }

  std::vector<OdbcColumn> describeColumns(OdbcHandle& stmt) {
    SQLSMALLINT count = 0;
    stmt.check(SQLNumResultCols(stmt.get(), &count));
    std::vector<OdbcColumn> columns;
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(std::max<SQLSMALLINT>(count, 0)); ++i) {
      WideText name(256, 0);
      SQLSMALLINT nameLength = 0;
      SQLSMALLINT sqlType = 0;
      SQLULEN size = 0;
      SQLSMALLINT scale = 0;
      SQLSMALLINT nullable = 0;
      stmt.check(SQLDescribeColW(stmt.get(), i, name.data(), static_cast<SQLSMALLINT>(name.size()),
                                 &nameLength, &sqlType, &size, &scale, &nullable));
      OdbcColumn column;
      column.name = fromWide(
          name.data(),
          std::min(static_cast<std::size_t>(std::max<SQLSMALLINT>(nameLength, 0)), name.size()));
      column.sqlType = sqlType;
      column.size = static_cast<long long>(std::min<SQLULEN>(size, 1u << 30));
      column.scale = scale;
      column.typeName = columnText(stmt, i, SQL_DESC_TYPE_NAME);
      column.autoIncrement = columnNumber(stmt, i, SQL_DESC_AUTO_UNIQUE_VALUE) == SQL_TRUE;
      column.readOnly = columnNumber(stmt, i, SQL_DESC_UPDATABLE) == SQL_ATTR_READONLY;
      columns.push_back(std::move(column));
    }
    return columns;
  }

  // PostgreSQL's own catalogue knows what the driver cannot tell: declared
  // lengths (a varchar without one is never cut) and identity or serial
  // columns.
  void refineFromCatalog(const std::string& table, std::vector<FieldDef>& fields) {
    // "schema.table" names its schema; a bare name is looked up where an
    // unqualified statement finds it.
    const std::size_t dot = table.rfind('.');
    const std::string schema = dot == std::string::npos ? std::string() : table.substr(0, dot);
    const std::string name = dot == std::string::npos ? table : table.substr(dot + 1);
    const ResultSet catalog =
        run("SELECT column_name, character_maximum_length, data_type,"
            " CASE WHEN is_identity='YES' OR column_default LIKE 'nextval(%' THEN 1 ELSE 0 END"
            " FROM information_schema.columns"
            " WHERE table_schema=COALESCE(LOWER(NULLIF(?,'')),current_schema())"
            " AND table_name=LOWER(?)",
            {Value{schema}, Value{name}});
    for (const auto& row : catalog.rows) {
      const auto* column = std::get_if<std::string>(&row[0]);
      if (column == nullptr) continue;
      for (FieldDef& field : fields) {
        if (field.name != *column) continue;
        const auto* type = std::get_if<std::string>(&row[2]);
        const bool character = field.kind == FieldKind::String ||
                               field.kind == FieldKind::WideString || field.kind == FieldKind::Memo;
        if (character) {
          const auto* length = std::get_if<std::int64_t>(&row[1]);
          field.size = length != nullptr ? static_cast<int>(*length) : 0;
          if (type != nullptr && *type == "text") {
            field.kind = FieldKind::Memo;
            field.size = 0;
          }
          field.lengthUnit = LengthUnit::Characters;
        }
        const auto* identity = std::get_if<std::int64_t>(&row[3]);
        if (identity != nullptr && *identity == 1) {
          field.identity = true;
          field.writable = false;
        }
      }
    }
  }

  ResultSet identityRows(const RecognisedStatement& statement) {
    ResultSet result;
    FieldDef colstat;
    colstat.name = "colstat";
    colstat.kind = FieldKind::SmallInt;
    FieldDef name;
    name.name = "name";
    name.kind = FieldKind::WideString;
    result.columns = {colstat, name};
    for (const FieldDef& field : describeTable(statement.table)) {
      if (field.identity && equalsIgnoringCase(field.name, statement.column)) {
        result.rows.push_back({Value{std::int64_t{1}}, Value{field.name}});
      }
    }
    return result;
  }

  std::string insertStatement(const std::string& table, const std::vector<const FieldDef*>& columns,
                              const FieldDef* identity) const {
    const bool sqlServer = engine() == Engine::SqlServer;
    std::string sql = "INSERT INTO " + (sqlServer ? table : OdbcDialect::tableName(table));
    if (columns.empty()) {
      sql += " DEFAULT VALUES";
    } else {
      std::string names;
      std::string marks;
      for (const FieldDef* column : columns) {
        if (!names.empty()) names += ",", marks += ",";
        names += m_dialect.quoteName(column->name);
        marks += "?";
      }
      sql += " (" + names + ") VALUES (" + marks + ")";
    }
    if (identity != nullptr) {
      // The value the store gave this insert, not one of another session.
      if (sqlServer) {
        sql += "; SELECT CAST(SCOPE_IDENTITY() AS bigint)";
      } else if (engine() == Engine::Postgres) {
        sql += " RETURNING " + m_dialect.quoteName(identity->name);
      }
    }
    return sql;
  }

  std::optional<std::int64_t> readIdentity(OdbcHandle& stmt) {
    if (engine() == Engine::OtherOdbc) return std::nullopt;
    // Skip the insert's row count to reach the row that holds the value.
    while (true) {
      SQLSMALLINT columns = 0;
      stmt.check(SQLNumResultCols(stmt.get(), &columns));
      if (columns > 0) break;
      if (!moreResults(stmt)) return std::nullopt;
    }
    if (stmt.check(SQLFetch(stmt.get())) == SQL_NO_DATA) return std::nullopt;
    std::int64_t value = 0;
    SQLLEN indicator = 0;
    stmt.check(SQLGetData(stmt.get(), 1, SQL_C_SBIGINT, &value, 0, &indicator));
    if (indicator == SQL_NULL_DATA) return std::nullopt;
    return value;
  }

  void bindParameter(OdbcHandle& stmt, SQLUSMALLINT index, const Value& value, FieldKind kind,
                     ParamBuffer& buffer) {
    SQLSMALLINT cType = SQL_C_WCHAR;
    SQLSMALLINT sqlType = SQL_WVARCHAR;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    SQLPOINTER data = nullptr;
    SQLLEN capacity = 0;
    if (std::holds_alternative<std::monostate>(value)) {
      cType = SQL_C_WCHAR;
      sqlType = nullSqlType(kind);
      size = 1;
      buffer.wide.assign(1, 0);
      data = buffer.wide.data();
      buffer.indicator = SQL_NULL_DATA;
    } else if (const auto* text = std::get_if<std::string>(&value)) {
      buffer.wide = toWide(*text);
      buffer.indicator = static_cast<SQLLEN>(buffer.wide.size() * sizeof(SQLWCHAR));
      size = std::max<SQLULEN>(buffer.wide.size(), 1);
      if (buffer.wide.empty()) buffer.wide.assign(1, 0);
      sqlType = size > 4000 ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
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
      buffer.narrow = decimalText(*decimal);
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
    stmt.check(SQLBindParameter(stmt.get(), index, SQL_PARAM_INPUT, cType, sqlType, size, digits,
                                data, capacity, &buffer.indicator));
  }

  // Runs a statement of the layer's own with bound parameters.
  ResultSet run(const std::string& sql, const std::vector<Value>& values) {
    OdbcHandle& stmt = prepared(sql);
    std::vector<ParamBuffer> buffers(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
      bindParameter(stmt, static_cast<SQLUSMALLINT>(i + 1), values[i], FieldKind::String,
                    buffers[i]);
    }
    const ExecutionReset reset(stmt);
    stmt.check(SQLExecute(stmt.get()));
    return readResult(stmt);
  }

  // Moves to the statement's next result; false after the last. The
  // PostgreSQL driver calls it a sequence error on a statement without rows.
  static bool moreResults(OdbcHandle& stmt) {
    const SQLRETURN rc = SQLMoreResults(stmt.get());
    if (rc == SQL_NO_DATA) return false;
    if (!SQL_SUCCEEDED(rc)) {
      const auto records = stmt.diagnostics();
      if (!records.empty() && records.front().sqlState == "HY010") return false;
      stmt.check(rc);
    }
    return true;
  }

  // The first result that has columns, with all its rows. The statement is
  // left on that result: closing it would cancel the rest of a batch (the
  // commit after the select), so draining is the caller's.
  ResultSet readResult(OdbcHandle& stmt) {
    ResultSet result;
    while (true) {
      SQLSMALLINT count = 0;
      stmt.check(SQLNumResultCols(stmt.get(), &count));
      if (count > 0) break;
      if (!moreResults(stmt)) return result;
    }
    for (const OdbcColumn& column : describeColumns(stmt)) {
      result.columns.push_back(m_dialect.field(column));
    }
    while (stmt.check(SQLFetch(stmt.get())) != SQL_NO_DATA) {
      std::vector<Value> row;
      for (std::size_t i = 0; i < result.columns.size(); ++i) {
        row.push_back(readValue(stmt, static_cast<SQLUSMALLINT>(i + 1), result.columns[i].kind));
      }
      result.rows.push_back(std::move(row));
    }
    return result;
  }

  Value readValue(OdbcHandle& stmt, SQLUSMALLINT index, FieldKind kind) {
    SQLLEN indicator = 0;
    switch (kind) {
      case FieldKind::SmallInt:
      case FieldKind::Word:
      case FieldKind::Integer:
      case FieldKind::LargeInt: {
        std::int64_t value = 0;
        stmt.check(SQLGetData(stmt.get(), index, SQL_C_SBIGINT, &value, 0, &indicator));
        if (indicator == SQL_NULL_DATA) return {};
        return value;
      }
      case FieldKind::Float: {
        double value = 0;
        stmt.check(SQLGetData(stmt.get(), index, SQL_C_DOUBLE, &value, 0, &indicator));
        if (indicator == SQL_NULL_DATA) return {};
        return value;
      }
      case FieldKind::DateTime: {
        SQL_TIMESTAMP_STRUCT value{};
        stmt.check(
            SQLGetData(stmt.get(), index, SQL_C_TYPE_TIMESTAMP, &value, sizeof value, &indicator));
        if (indicator == SQL_NULL_DATA) return {};
        return vip::DateTime{value.year,
                             value.month,
                             value.day,
                             value.hour,
                             value.minute,
                             value.second,
                             static_cast<int>(value.fraction / 1000000u)};
      }
      case FieldKind::Boolean: {
        unsigned char value = 0;
        stmt.check(SQLGetData(stmt.get(), index, SQL_C_BIT, &value, 0, &indicator));
        if (indicator == SQL_NULL_DATA) return {};
        return value != 0;
      }
      case FieldKind::Decimal: {
        const std::optional<std::string> text = readText(stmt, index);
        if (!text) return {};
        if (auto value = parseDecimal4(*text)) return *value;
        return std::strtod(text->c_str(), nullptr);
      }
      default: {
        std::optional<std::string> text = readText(stmt, index);
        if (!text) return {};
        return std::move(*text);
      }
    }
  }

  // A column as UTF-16 text in pieces of any length; nullopt for NULL.
  std::optional<std::string> readText(OdbcHandle& stmt, SQLUSMALLINT index) {
    WideText all;
    WideText piece(2048, 0);
    while (true) {
      SQLLEN indicator = 0;
      const SQLRETURN rc =
          stmt.check(SQLGetData(stmt.get(), index, SQL_C_WCHAR, piece.data(),
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

  // SQL Server: the batch exactly as the program writes it, in one call. A
  // batch that fails part-way leaves its transaction open on the connection:
  // roll it back so the counter and the locks are released.
  std::int32_t allocateSqlServer(const std::string& table, const std::string& column) {
    OdbcHandle stmt = newStatement();
    try {
      WideText text = toWide(allocationBatch(table, column));
      stmt.check(SQLExecDirectW(stmt.get(), text.data(), static_cast<SQLINTEGER>(text.size())));
      const ResultSet result = readResult(stmt);
      // Drain the rest of the batch so its commit is reached and errors show.
      while (moreResults(stmt)) {
      }
      return numberFrom(result);
    } catch (const StoreError&) {
      OdbcHandle rollback = newStatement();
      WideText text = toWide("IF @@TRANCOUNT > 0 ROLLBACK TRAN");
      SQLExecDirectW(rollback.get(), text.data(), static_cast<SQLINTEGER>(text.size()));
      throw;
    }
  }

  // PostgreSQL and any other store: bump the counter inside one
  // transaction; the update locks the counter row until the commit, so a
  // second client waits and then draws the following number. The first
  // client to find the counter missing locks the counter table against other
  // creators (PostgreSQL), looks again and creates it at the column's
  // greatest value plus 1.
  std::int32_t allocatePlain(const std::string& table, const std::string& column) {
    const std::string key = column + "_" + table;
    const bool postgres = engine() == Engine::Postgres;
    const std::string counter = postgres ? "autoserialno" : "AutoSerialNo";
    const std::string bump = "UPDATE " + counter + " SET ASN_NO=ASN_NO+1 WHERE ASN_TYPE=?";
    if (postgres) {
      // Once the counter exists a draw is one statement, committed by
      // itself; the update's row lock keeps concurrent draws apart. (Written
      // as a select: the driver describes no rows of UPDATE ... RETURNING.)
      const ResultSet drawn =
          run("WITH bumped AS (UPDATE autoserialno SET asn_no=asn_no+1 WHERE asn_type=?"
              " RETURNING asn_no) SELECT asn_no FROM bumped",
              {Value{key}});
      if (!drawn.rows.empty()) return numberFrom(drawn);
    }
    ManualCommit transaction(*this);
    SQLLEN changed = changedRows(bump, key);
    if (changed == 0 && postgres) {
      execute("LOCK TABLE autoserialno IN SHARE ROW EXCLUSIVE MODE");
      changed = changedRows(bump, key);
    }
    if (changed == 0) {
      changedRows("INSERT INTO " + counter + " (ASN_NO,ASN_TYPE) SELECT COALESCE(MAX(" +
                      OdbcDialect::columnName(column) + "),0)+1,? FROM " +
                      OdbcDialect::tableName(table),
                  key);
    }
    const std::int32_t number =
        numberFrom(run("SELECT ASN_NO FROM " + counter + " WHERE ASN_TYPE=?", {Value{key}}));
    transaction.commit();
    return number;
  }

  // Runs a statement with one text parameter; the number of rows it changed.
  SQLLEN changedRows(const std::string& sql, const std::string& parameter) {
    OdbcHandle stmt = newStatement();
    WideText text = toWide(sql);
    ParamBuffer buffer;
    bindParameter(stmt, 1, Value{parameter}, FieldKind::String, buffer);
    stmt.check(SQLExecDirectW(stmt.get(), text.data(), static_cast<SQLINTEGER>(text.size())));
    SQLLEN changed = 0;
    stmt.check(SQLRowCount(stmt.get(), &changed));
    return changed;
  }

  static std::int32_t numberFrom(const ResultSet& result) {
    std::size_t index = result.columns.size();
    for (std::size_t i = 0; i < result.columns.size(); ++i) {
      if (equalsIgnoringCase(result.columns[i].name, "ASN_NO")) index = i;
    }
    if (result.rows.empty() || index == result.columns.size()) {
      throw StoreError("The allocation batch returned no ASN_NO");
    }
    const Value& value = result.rows.front()[index];
    std::int64_t number = 0;
    if (const auto* integer = std::get_if<std::int64_t>(&value)) {
      number = *integer;
    } else if (const auto* decimal = std::get_if<Decimal4>(&value)) {
      number = decimal->units / 10000;
    } else {
      throw StoreError("The allocation batch returned no ASN_NO");
    }
    return toSerialNumber(number);
  }

  static std::int32_t toSerialNumber(std::int64_t number) {
    if (number < std::numeric_limits<std::int32_t>::min() ||
        number > std::numeric_limits<std::int32_t>::max()) {
      throw StoreError("ASN_NO " + std::to_string(number) + " is out of the integer range");
    }
    return static_cast<std::int32_t>(number);
  }

  // Statements of a schema script: split at semicolons outside quotes and
  // comments, and at lines holding only GO (T-SQL's batch separator).
  static std::vector<std::string> splitScript(const std::string& sql) {
    std::vector<std::string> statements;
    std::string current;
    const auto flush = [&] {
      const bool blank = std::all_of(current.begin(), current.end(),
                                     [](unsigned char c) { return std::isspace(c) != 0; });
      if (!blank) statements.push_back(current);
      current.clear();
    };
    char quote = 0;
    for (std::size_t i = 0; i < sql.size(); ++i) {
      const char c = sql[i];
      if (quote != 0) {
        current += c;
        if (c == quote) quote = 0;
        continue;
      }
      if (c == '\'' || c == '"' || c == '[') {
        quote = c == '[' ? ']' : c;
        current += c;
      } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
        while (i < sql.size() && sql[i] != '\n')
          ++i;
        current += '\n';
      } else if (c == ';') {
        flush();
      } else if ((i == 0 || sql[i - 1] == '\n') && (c == 'G' || c == 'g')) {
        std::size_t end = sql.find('\n', i);
        if (end == std::string::npos) end = sql.size();
        const std::string line = toLowerAscii(sql.substr(i, end - i));
        if (line.find_first_not_of(" \t\r", 2) == std::string::npos && line.rfind("go", 0) == 0) {
          flush();
          i = end;
        } else {
          current += c;
        }
      } else {
        current += c;
      }
    }
    flush();
    return statements;
  }

  std::shared_ptr<const std::string> m_secret;
  OdbcHandle m_env;
  OdbcHandle m_dbc;
  bool m_connected = false;
  OdbcDialect m_dialect;
  std::map<std::string, std::vector<FieldDef>> m_tables;  // by lower-case name
  std::map<std::string, OdbcHandle> m_prepared;           // by statement text
};

}  // namespace

std::unique_ptr<Backend> openOdbcBackend(const ConnectionString& settings) {
  const std::string odbcText = odbcConnectionString(settings);
  auto secret = std::make_shared<const std::string>(passwordOf(settings));
  return std::make_unique<OdbcBackend>(odbcText, std::move(secret));
}

}  // namespace vip::store
