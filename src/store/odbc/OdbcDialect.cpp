#include "store/odbc/OdbcDialect.h"

#include <cctype>

#include <sql.h>
#include <sqlext.h>

#include "common/AsciiCase.h"
#include "store/InsertCache.h"
#include "store/StoreError.h"
#include "store/odbc/OdbcDialects.h"

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

std::unique_ptr<OdbcDialect> OdbcDialect::forDbms(std::string_view dbmsName) {
  const std::string name = toLowerAscii(dbmsName);
  if (name.find("microsoft sql server") != std::string::npos) return forEngine(Engine::SqlServer);
  if (name.find("postgresql") != std::string::npos) return forEngine(Engine::Postgres);
  return forEngine(Engine::OtherOdbc);
}

std::unique_ptr<OdbcDialect> OdbcDialect::forEngine(Engine engine) {
  switch (engine) {
    case Engine::SqlServer:
      return std::make_unique<SqlServerDialect>();
    case Engine::Postgres:
      return std::make_unique<PostgresDialect>();
    default:
      return std::make_unique<GenericDialect>();
  }
}

FieldDef OdbcDialect::field(const OdbcColumn& column) const {
  FieldDef field;
  field.name = column.name;
  const std::string type = toLowerAscii(column.typeName);
  const bool characters = countsCharacters();
  if (characters) field.lengthUnit = LengthUnit::Characters;
  // Character columns: SQL Server's 8-bit ones count bytes of the store's
  // code page, its Unicode ones UTF-16 units; PostgreSQL counts characters.
  const auto character = [&](FieldKind kind, LengthUnit unit) {
    field.kind = kind;
    field.lengthUnit = characters ? LengthUnit::Characters : unit;
    const bool declared = column.size > 0 && column.size <= kLongestDeclaredLength;
    field.size = declared ? static_cast<int>(column.size) : 0;
  };

  if (type == "bool" || type == "boolean" || type == "bit") {
    field.kind = FieldKind::Boolean;
  } else if (type == "text" || type == "ntext" || type == "xml") {
    field.kind = FieldKind::Memo;
    field.lengthUnit = characters       ? LengthUnit::Characters
                       : type == "text" ? LengthUnit::GbkBytes
                                        : LengthUnit::Utf16Units;
  } else if (type == "money" || type == "smallmoney") {
    field.kind = FieldKind::Decimal;
  } else {
    switch (column.sqlType) {
      case SQL_CHAR:
      case SQL_VARCHAR:
        character(FieldKind::String, LengthUnit::GbkBytes);
        break;
      case SQL_WCHAR:
      case SQL_WVARCHAR:
        // A store that counts characters has no 8-bit columns: its char and
        // varchar reach the Unicode driver as wide types.
        character(characters ? FieldKind::String : FieldKind::WideString, LengthUnit::Utf16Units);
        break;
      case SQL_LONGVARCHAR:
        character(FieldKind::Memo, LengthUnit::GbkBytes);
        field.size = 0;
        break;
      case SQL_WLONGVARCHAR:
        character(FieldKind::Memo, LengthUnit::Utf16Units);
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
  field.nullable = column.nullable;
  return field;
}

void OdbcDialect::refineColumns(OdbcSession&, const std::string&, std::vector<FieldDef>&) const {}

bool OdbcDialect::isIdentity(OdbcSession& session, const std::string& table,
                             const std::string& column) const {
  for (const FieldDef& field : *session.describeTable(table)) {
    if (field.identity && equalsIgnoringCase(field.name, column)) return true;
  }
  return false;
}

bool OdbcDialect::retryable(const StoreError& error) const {
  // Serialization failure and deadlock; the counter row created by another
  // client at the same moment (integrity constraint violation).
  const std::string& state = error.sqlState();
  return state == "40001" || state == "23000" || error.kind() == StoreError::Kind::Retryable;
}

std::string OdbcDialect::tableExists() const {
  return "SELECT COUNT(*) FROM INFORMATION_SCHEMA.TABLES WHERE LOWER(TABLE_NAME)=LOWER(?)";
}

std::string OdbcDialect::quoteName(std::string_view name) const {
  std::string out = "\"";
  for (const char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

std::string OdbcDialect::insertRows(const std::string& table,
                                    const std::vector<const FieldDef*>& columns,
                                    std::size_t rows) const {
  return insertText(
      tableName(table), columns, [&](std::string_view name) { return quoteName(name); }, rows);
}

// ---- SQL Server -------------------------------------------------------------

std::string SqlServerDialect::selectEmpty(const std::string& table) const {
  return Statement::selectEmpty(table).sqlServerText();
}

std::string SqlServerDialect::quoteName(std::string_view name) const {
  std::string out = "[";
  for (const char c : name) {
    out += c;
    if (c == ']') out += ']';
  }
  return out + "]";
}

std::string SqlServerDialect::insert(const std::string& table,
                                     const std::vector<const FieldDef*>& columns,
                                     const FieldDef* identity) const {
  // The table as the program names it, as in the statements written for SQL Server.
  std::string sql =
      insertText(table, columns, [&](std::string_view name) { return quoteName(name); });
  // The value the store gave this insert, not one of another session.
  if (identity != nullptr) sql += "; SELECT CAST(SCOPE_IDENTITY() AS bigint)";
  return sql;
}

bool SqlServerDialect::isIdentity(OdbcSession& session, const std::string& table,
                                  const std::string& column) const {
  return !session.runBatch(Statement::identityTest(table, column).sqlServerText()).rows.empty();
}

std::unique_ptr<OdbcTransaction> SqlServerDialect::begin(OdbcSession& session) const {
  return driverTransaction(session.connection());
}

// ---- PostgreSQL -------------------------------------------------------------

std::string PostgresDialect::selectEmpty(const std::string& table) const {
  return "SELECT * FROM " + tableName(table) + " LIMIT 0";
}

std::string PostgresDialect::insert(const std::string& table,
                                    const std::vector<const FieldDef*>& columns,
                                    const FieldDef* identity) const {
  std::string sql =
      insertText(tableName(table), columns, [&](std::string_view name) { return quoteName(name); });
  if (identity != nullptr) sql += " RETURNING " + quoteName(identity->name);
  return sql;
}

// psqlodbc rolls a failed statement back on its own inside a transaction,
// with a savepoint of its own before every statement: the data layer keeps
// its transactions itself ("7.4-0": the driver does nothing on errors).
std::string PostgresDialect::connectionKeys(const std::string& odbcText) const {
  const std::string lower = toLowerAscii(odbcText);
  const bool given =
      lower.rfind("protocol=", 0) == 0 || lower.find(";protocol=") != std::string::npos;
  return given ? std::string() : "Protocol=7.4-0;";
}

bool PostgresDialect::retryable(const StoreError& error) const {
  const std::string& state = error.sqlState();
  return state == "40P01" || state == "23505" || OdbcDialect::retryable(error);
}

std::string PostgresDialect::tableExists() const {
  return OdbcDialect::tableExists() + " AND table_schema=current_schema()";
}

// PostgreSQL's own catalogue knows what the driver cannot tell: declared
// lengths (a varchar without one is never cut) and identity or serial
// columns.
void PostgresDialect::refineColumns(OdbcSession& session, const std::string& table,
                                    std::vector<FieldDef>& fields) const {
  // "schema.table" names its schema; a bare name is looked up where an
  // unqualified statement finds it.
  const std::size_t dot = table.rfind('.');
  const std::string schema = dot == std::string::npos ? std::string() : table.substr(0, dot);
  const std::string name = dot == std::string::npos ? table : table.substr(dot + 1);
  const ResultSet catalog = session.run(
      "SELECT column_name, character_maximum_length, data_type,"
      " CASE WHEN is_identity='YES' OR column_default LIKE 'nextval(%' THEN 1 ELSE 0 END,"
      " CASE WHEN is_nullable='YES' THEN 1 ELSE 0 END, column_default"
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
      const auto* nullable = std::get_if<std::int64_t>(&row[4]);
      field.nullable = nullable == nullptr || *nullable == 1;
      field.defaultKnown = true;
      if (const auto* value = std::get_if<std::string>(&row[5])) field.defaultValue = *value;
    }
  }
}

namespace {

// PostgreSQL takes its transactions as statements: its driver's manual
// commit mode cannot describe the rows of UPDATE ... RETURNING.
class StatementTransaction final : public OdbcTransaction {
 public:
  explicit StatementTransaction(OdbcSession& session) : m_session(session) {
    m_session.execute("BEGIN");
  }
  ~StatementTransaction() override {
    if (m_done) return;
    try {
      m_session.execute("ROLLBACK");
    } catch (const StoreError&) {
      // The connection is gone, and with it the transaction.
    }
  }
  void commit() override {
    m_session.execute("COMMIT");
    m_done = true;
  }

 private:
  OdbcSession& m_session;
  bool m_done = false;
};

class DriverTransaction final : public OdbcTransaction {
 public:
  explicit DriverTransaction(OdbcConnection& connection) : m_connection(connection) {
    m_connection.setAutocommit(false);
  }
  ~DriverTransaction() override {
    if (!m_done) m_connection.endTransactionQuietly();
    try {
      m_connection.setAutocommit(true);
    } catch (const StoreError&) {
      // A connection that is gone takes its settings with it.
    }
  }
  void commit() override {
    m_connection.endTransaction(true);
    m_done = true;
  }

 private:
  OdbcConnection& m_connection;
  bool m_done = false;
};

}  // namespace

std::unique_ptr<OdbcTransaction> PostgresDialect::begin(OdbcSession& session) const {
  return std::make_unique<StatementTransaction>(session);
}

std::unique_ptr<OdbcTransaction> driverTransaction(OdbcConnection& connection) {
  return std::make_unique<DriverTransaction>(connection);
}

// ---- any other store ----------------------------------------------------------

std::string GenericDialect::selectEmpty(const std::string& table) const {
  return "SELECT * FROM " + tableName(table) + " WHERE 1=0";
}

std::string GenericDialect::insert(const std::string& table,
                                   const std::vector<const FieldDef*>& columns,
                                   const FieldDef*) const {
  return insertText(tableName(table), columns,
                    [&](std::string_view name) { return quoteName(name); });
}

std::unique_ptr<OdbcTransaction> GenericDialect::begin(OdbcSession& session) const {
  return driverTransaction(session.connection());
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
