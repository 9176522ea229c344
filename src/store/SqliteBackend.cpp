#include "store/SqliteBackend.h"

#include <sqlite3.h>

#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <system_error>
#include <unordered_map>

#include "common/AsciiCase.h"
#include "store/SqliteColumnType.h"
#include "store/SqliteStatement.h"
#include "store/StatementMap.h"
#include "store/StoreError.h"

namespace vip::store {

namespace {

constexpr int kBusyTimeoutMs = 10000;
// Allocation attempts on a store still busy after the busy timeout.
constexpr int kAllocationAttempts = 5;

struct TableInfo {
  std::vector<FieldDef> columns;
  std::string storeName;                // the table's name as the store spells it
  std::optional<std::size_t> identity;  // index of the AUTOINCREMENT column
};

class SqliteBackend final : public Backend {
 public:
  explicit SqliteBackend(sqlite3* db) : m_db(db) { applyJournalSettings(); }
  ~SqliteBackend() override {
    m_inserts.clear();
    m_statements.clear();
    rollbackIfOpen(m_db);
    sqlite3_close_v2(m_db);
  }

  Engine engine() const override { return Engine::Sqlite; }

  ResultSet query(const std::string& sqlServerText) override {
    const RecognisedStatement statement = recogniseStatement(sqlServerText);
    switch (statement.kind) {
      case RecognisedStatement::Kind::SelectEmpty:
        return ResultSet{describeTable(statement.table), {}};
      case RecognisedStatement::Kind::BusinessDate:
        return businessDate();
      case RecognisedStatement::Kind::IdentityTest:
        return identityTest(statement.table, statement.column);
      case RecognisedStatement::Kind::Allocation: {
        static const FieldDef number = fieldFromDeclaredType("ASN_NO", "int");
        ResultSet result;
        result.columns.push_back(number);
        result.rows.push_back(
            {static_cast<std::int64_t>(allocate(statement.table, statement.column))});
        return result;
      }
      case RecognisedStatement::Kind::Other:
        break;
    }
    return runText(sqlServerText);
  }

  std::vector<FieldDef> describeTable(const std::string& table) override {
    return tableInfo(table).columns;
  }

  std::optional<std::int64_t> insert(const std::string& table,
                                     const std::vector<const FieldDef*>& columns,
                                     const std::vector<Value>& values) override {
    if (columns.size() != values.size()) throw StoreError("insert: columns and values differ");
    const TableInfo& info = tableInfo(table);
    StatementUse use(insertStatement(info, columns));
    for (std::size_t i = 0; i < values.size(); ++i)
      use->bind(static_cast<int>(i + 1), values[i]);
    use->step();
    if (!info.identity) return std::nullopt;
    return static_cast<std::int64_t>(sqlite3_last_insert_rowid(m_db));
  }

  bool isIdentity(const std::string& table, const std::string& column) override {
    // A table or column that does not exist is no identity column, as the
    // catalogue test finds no row for it; the batch then reports it.
    const TableInfo* info = findTableInfo(table);
    if (!info || !info->identity) return false;
    return equalsIgnoringCase(info->columns[*info->identity].name, column);
  }

  std::int32_t allocate(const std::string& table, const std::string& column) override {
    for (int attempt = 1;; ++attempt) {
      try {
        return allocateOnce(table, column);
      } catch (const StoreError& error) {
        if (error.kind() != StoreError::Kind::Retryable || attempt >= kAllocationAttempts) throw;
      }
    }
  }

  bool tableExists(const std::string& table) override {
    StatementUse use(
        statement("SELECT 1 FROM sqlite_master WHERE type='table' AND name=?1 COLLATE NOCASE"));
    use->bindText(1, table);
    return use->step();
  }

  void executeScript(const std::string& sql) override {
    m_inserts.clear();
    m_statements.clear();
    m_tables.clear();
    char* error = nullptr;
    const int rc = sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
      const std::string message = error ? error : sqlite3_errstr(rc);
      sqlite3_free(error);
      rollbackIfOpen(m_db);
      throw StoreError(message);
    }
    // The script may have switched the journal (init-store's WAL); a
    // script that leaves a transaction open keeps the settings until later.
    if (sqlite3_get_autocommit(m_db)) applyJournalSettings();
  }

 private:
  void applyJournalSettings() {
    checkSqlite(m_db, sqlite3_busy_timeout(m_db, kBusyTimeoutMs));
    // On a WAL store a commit need not wait for the disk; a power loss may
    // lose the last commits but never corrupts the store.
    StatementUse use(statement("PRAGMA journal_mode"));
    if (use->step() && equalsIgnoringCase(std::get<std::string>(use->column(0)), "wal")) {
      checkSqlite(m_db, sqlite3_exec(m_db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr));
    }
  }

  // The INSERT of one set of columns, prepared once: a phase sends the same
  // columns for record after record.
  SqliteStatement& insertStatement(const TableInfo& info,
                                   const std::vector<const FieldDef*>& columns) {
    auto& known = m_inserts[info.storeName];
    for (const InsertShape& shape : known) {
      if (sameColumns(shape.columns, columns)) return *shape.statement;
    }
    std::string sql = "INSERT INTO " + quoteIdentifier(info.storeName);
    if (columns.empty()) {
      sql += " DEFAULT VALUES";
    } else {
      sql += '(';
      for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i) sql += ',';
        sql += quoteIdentifier(columns[i]->name);
      }
      sql += ") VALUES(";
      for (std::size_t i = 0; i < columns.size(); ++i)
        sql += i ? ",?" : "?";
      sql += ')';
    }
    InsertShape shape;
    for (const FieldDef* column : columns)
      shape.columns.push_back(column->name);
    shape.statement = &statement(sql);
    known.push_back(std::move(shape));
    return *known.back().statement;
  }

  static bool sameColumns(const std::vector<std::string>& names,
                          const std::vector<const FieldDef*>& columns) {
    if (names.size() != columns.size()) return false;
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (names[i] != columns[i]->name) return false;
    }
    return true;
  }

  SqliteStatement& statement(const std::string& sql) {
    auto it = m_statements.find(sql);
    if (it == m_statements.end())
      it = m_statements.emplace(sql, std::make_unique<SqliteStatement>(m_db, sql)).first;
    return *it->second;
  }

  const TableInfo& tableInfo(const std::string& table) {
    if (const TableInfo* info = findTableInfo(table)) return *info;
    // SQLite's own message for a missing table ("no such table: X").
    SqliteStatement probe(m_db, "SELECT * FROM " + quoteIdentifier(table) + " LIMIT 0");
    throw StoreError("no such table: " + table);
  }

  // The table's columns, read once and kept; nullptr when there is no such table.
  const TableInfo* findTableInfo(const std::string& table) {
    const std::string key = toLowerAscii(table);
    if (auto it = m_tables.find(key); it != m_tables.end()) return &it->second;
    TableInfo info;
    {
      StatementUse use(
          statement("SELECT name FROM sqlite_master WHERE type IN ('table','view') "
                    "AND name=?1 COLLATE NOCASE"));
      use->bindText(1, table);
      if (!use->step()) return nullptr;
      info.storeName = std::get<std::string>(use->column(0));
    }
    SqliteStatement columns(m_db, "SELECT * FROM " + quoteIdentifier(info.storeName) + " LIMIT 0");
    for (int i = 0; i < columns.columnCount(); ++i) {
      const std::string name = columns.columnName(i);
      const char* declared = nullptr;
      int notNull = 0;
      int primaryKey = 0;
      int autoIncrement = 0;
      const int rc =
          sqlite3_table_column_metadata(m_db, nullptr, info.storeName.c_str(), name.c_str(),
                                        &declared, nullptr, &notNull, &primaryKey, &autoIncrement);
      FieldDef field = fieldFromDeclaredType(name, rc == SQLITE_OK && declared ? declared : "");
      if (rc == SQLITE_OK && autoIncrement) {
        field.identity = true;
        field.writable = false;
        info.identity = info.columns.size();
      }
      info.columns.push_back(std::move(field));
    }
    return &m_tables.emplace(key, std::move(info)).first->second;
  }

  ResultSet businessDate() {
    ResultSet result;
    StatementUse use(statement("SELECT SP_Value FROM Qx_SysPara WHERE SP_Name=?1"));
    use->bindText(1, "系统日期");
    result.columns.push_back(fieldFromDeclaredType(use->columnName(0), use->columnDeclType(0)));
    while (use->step())
      result.rows.push_back({use->column(0)});
    return result;
  }

  ResultSet identityTest(const std::string& table, const std::string& column) {
    static const std::vector<FieldDef> columns{fieldFromDeclaredType("colstat", "smallint"),
                                               fieldFromDeclaredType("name", "nvarchar(128)")};
    ResultSet result;
    result.columns = columns;
    if (isIdentity(table, column)) {
      const TableInfo* info = findTableInfo(table);
      result.rows.push_back({static_cast<std::int64_t>(1), info->columns[*info->identity].name});
    }
    return result;
  }

  std::int32_t allocateOnce(const std::string& table, const std::string& column) {
    const std::string key = column + "_" + table;
    SqliteTransaction transaction(m_db, statement("BEGIN IMMEDIATE"), statement("COMMIT"));
    {
      StatementUse bump(statement("UPDATE AutoSerialNo SET ASN_NO=ASN_NO+1 WHERE ASN_TYPE=?1"));
      bump->bindText(1, key);
      bump->step();
    }
    if (sqlite3_changes(m_db) == 0) {
      // The first number for this key: one past the column's greatest value.
      StatementUse create(statement("INSERT INTO AutoSerialNo(ASN_NO,ASN_TYPE) SELECT IFNULL(MAX(" +
                                    quoteIdentifier(column) + "),0)+1,?1 FROM " +
                                    quoteIdentifier(table)));
      create->bindText(1, key);
      create->step();
    }
    std::int64_t number = 0;
    {
      StatementUse read(statement("SELECT ASN_NO FROM AutoSerialNo WHERE ASN_TYPE=?1"));
      read->bindText(1, key);
      if (!read->step() || read->columnIsNull(0))
        throw StoreError("The counter " + key + " has no number");
      const Value value = read->column(0);
      const auto* integer = std::get_if<std::int64_t>(&value);
      if (!integer || *integer < std::numeric_limits<std::int32_t>::min() ||
          *integer > std::numeric_limits<std::int32_t>::max())
        throw StoreError("The counter " + key + " does not hold a 32-bit integer");
      number = *integer;
    }
    transaction.commit();
    return static_cast<std::int32_t>(number);
  }

  // A statement that is not one of the program's own: run as it stands.
  ResultSet runText(const std::string& sql) {
    ResultSet result;
    const char* tail = sql.c_str();
    const char* end = tail + sql.size();
    while (tail < end) {
      sqlite3_stmt* raw = nullptr;
      checkSqlite(m_db, sqlite3_prepare_v2(m_db, tail, static_cast<int>(end - tail), &raw, &tail));
      if (!raw) break;  // only blanks or comments were left
      std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> owned(raw, sqlite3_finalize);
      // A statement that may change the schema makes the kept metadata stale.
      if (!sqlite3_stmt_readonly(raw)) m_tables.clear();
      const int count = sqlite3_column_count(raw);
      ResultSet current;
      for (int i = 0; i < count; ++i) {
        const char* name = sqlite3_column_name(raw, i);
        const char* declared = sqlite3_column_decltype(raw, i);
        current.columns.push_back(
            fieldFromDeclaredType(name ? name : "", declared ? declared : ""));
      }
      int rc = SQLITE_OK;
      while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        std::vector<Value> row;
        row.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i)
          row.push_back(readColumn(raw, i, current.columns[static_cast<std::size_t>(i)]));
        current.rows.push_back(std::move(row));
      }
      if (rc != SQLITE_DONE) {
        rollbackIfOpen(m_db);
        checkSqlite(m_db, rc);
      }
      if (count > 0) result = std::move(current);
    }
    return result;
  }

  static Value readColumn(sqlite3_stmt* raw, int index, const FieldDef& field) {
    switch (sqlite3_column_type(raw, index)) {
      case SQLITE_INTEGER: {
        const std::int64_t number = sqlite3_column_int64(raw, index);
        if (field.kind == FieldKind::Boolean) return number != 0;
        return number;
      }
      case SQLITE_FLOAT:
        return sqlite3_column_double(raw, index);
      case SQLITE_TEXT:
      case SQLITE_BLOB: {
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(raw, index));
        return std::string(bytes ? bytes : "",
                           static_cast<std::size_t>(sqlite3_column_bytes(raw, index)));
      }
      default:
        return std::monostate{};
    }
  }

  sqlite3* m_db;
  struct InsertShape {
    std::vector<std::string> columns;
    SqliteStatement* statement = nullptr;  // owned by m_statements
  };

  std::unordered_map<std::string, std::unique_ptr<SqliteStatement>> m_statements;
  std::unordered_map<std::string, std::vector<InsertShape>> m_inserts;
  std::map<std::string, TableInfo> m_tables;
};

}  // namespace

std::unique_ptr<Backend> openSqliteBackend(const std::string& path, OpenMode mode) {
  if (path.empty()) throw StoreError("The connection string names no Data Source (store file)");
  std::error_code ec;
  if (mode == OpenMode::Existing && !std::filesystem::exists(path, ec))
    throw StoreError("The store file '" + path + "' does not exist", StoreError::Kind::NotFound);
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
  if (mode == OpenMode::Create) flags |= SQLITE_OPEN_CREATE;
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    const std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close_v2(db);
    throw StoreError(
        "Cannot open the store file '" + path + "': " + message,
        (rc & 0xff) == SQLITE_CANTOPEN ? StoreError::Kind::NotFound : StoreError::Kind::General);
  }
  sqlite3_extended_result_codes(db, 0);
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  // Read the schema now, so a file that is not a store fails here, clearly.
  char* error = nullptr;
  if (sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, &error) !=
      SQLITE_OK) {
    const std::string message = error ? error : "unknown error";
    sqlite3_free(error);
    sqlite3_close_v2(db);
    throw StoreError("Cannot open the store file '" + path + "': " + message);
  }
  return std::make_unique<SqliteBackend>(db);
}

}  // namespace vip::store
