#include "store/sqlite/SqliteBackend.h"

#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <system_error>
#include <unordered_map>

#include "common/AsciiCase.h"
#include "common/Messages.h"
#include "store/AllocationRetry.h"
#include "store/InsertCache.h"
#include "store/NumberBlocks.h"
#include "store/StoreError.h"
#include "store/sqlite/SqliteColumnType.h"
#include "store/sqlite/SqliteStatement.h"

namespace vip::store {

namespace {

constexpr int kBusyTimeoutMs = 10000;

struct TableInfo {
  TableColumns columns;
  std::string storeName;                // the table's name as the store spells it
  std::optional<std::size_t> identity;  // index of the AUTOINCREMENT column
};

class SqliteBackend final : public Backend {
 public:
  explicit SqliteBackend(SqliteHandle db) : m_db(std::move(db)) { applyJournalSettings(); }
  ~SqliteBackend() override {
    // Statements first: the handle closes last.
    m_inserts.clear();
    m_statements.clear();
  }

  Engine engine() const override { return Engine::Sqlite; }

  ResultSet query(const Statement& statement) override {
    if (statement.intent() == Statement::Intent::BusinessDate) return businessDate();
    return runText(statement.sqlServerText());
  }

  TableColumns describeTable(const std::string& table) override { return tableInfo(table).columns; }

  std::optional<std::int64_t> insert(const std::string& table,
                                     const std::vector<const FieldDef*>& columns,
                                     const std::vector<Value>& values) override {
    if (columns.size() != values.size()) throw StoreError("insert: columns and values differ");
    // One statement: SQLite undoes a failing statement by itself, so an insert
    // needs no savepoint of its own inside a transaction.
    return insertNow(table, columns, values);
  }

  std::optional<std::int64_t> insertNow(const std::string& table,
                                        const std::vector<const FieldDef*>& columns,
                                        const std::vector<Value>& values) {
    const TableInfo& info = tableInfo(table);
    SqliteStatement& prepared = m_inserts.get(info.storeName, columns, [&] {
      return std::make_unique<SqliteStatement>(
          db(), insertText(quoteIdentifier(info.storeName), columns, quoteIdentifier));
    });
    StatementUse use(prepared);
    for (std::size_t i = 0; i < values.size(); ++i)
      use->bind(static_cast<int>(i + 1), values[i]);
    use->step();
    if (!info.identity) return std::nullopt;
    return static_cast<std::int64_t>(sqlite3_last_insert_rowid(db()));
  }

  bool isIdentity(const std::string& table, const std::string& column) override {
    // A table or column that does not exist is no identity column, as the
    // catalogue test finds no row for it; the batch then reports it.
    const TableInfo* info = findTableInfo(table);
    if (!info || !info->identity) return false;
    return equalsIgnoringCase((*info->columns)[*info->identity].name, column);
  }

  std::int32_t allocate(const std::string& table, const std::string& column) override {
    if (m_inTransaction) {
      const std::string key = column + "_" + table;
      if (const auto number = m_blocks.take(key)) return *number;
      return underSavepoint([&] { return drawBlock(table, column, key); });
    }
    return drawWithRetries(
        [&] { return allocateOnce(table, column); },
        [](const StoreError& error) { return error.kind() == StoreError::Kind::Retryable; });
  }

  void beginTransaction(int numberBlock) override {
    if (m_inTransaction) throw StoreError("A transaction is already open");
    StatementUse use(statement("BEGIN IMMEDIATE"));
    use->step();
    m_inTransaction = true;
    m_numberBlock = numberBlock < 1 ? 1 : numberBlock;
  }

  void commitTransaction() override {
    if (!m_inTransaction) throw StoreError("No transaction is open");
    giveBackUnusedNumbers();
    StatementUse use(statement("COMMIT"));
    use->step();
    m_inTransaction = false;
    m_blocks.clear();
  }

  void rollbackTransaction() noexcept override {
    rollbackIfOpen(db());
    m_inTransaction = false;
    m_blocks.clear();
  }

  bool inTransaction() const override { return m_inTransaction; }

  bool tableExists(const std::string& table) override {
    StatementUse use(
        statement("SELECT 1 FROM sqlite_master WHERE type='table' AND name=?1 COLLATE NOCASE"));
    use->bindText(1, table);
    return use->step();
  }

  void executeScript(const std::string& sql) override {
    forgetSchema();
    char* error = nullptr;
    const int rc = sqlite3_exec(db(), sql.c_str(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
      const std::string message = error ? error : sqlite3_errstr(rc);
      sqlite3_free(error);
      rollbackIfOpen(db());
      throw StoreError(message, StoreError::Kind::General, StoreError::EngineCode{rc, {}});
    }
    // The script may have switched the journal (init-store's WAL); a
    // script that leaves a transaction open keeps the settings until later.
    if (sqlite3_get_autocommit(db())) applyJournalSettings();
  }

 private:
  sqlite3* db() const { return m_db.get(); }

  // Inside a transaction, `work` runs under a savepoint of its own: its
  // failure undoes it alone. Outside one, it runs as it stands.
  template <typename Work>
  auto underSavepoint(Work&& work) -> decltype(work()) {
    if (!m_inTransaction) return work();
    {
      StatementUse use(statement("SAVEPOINT vip_op"));
      use->step();
    }
    try {
      auto result = work();
      StatementUse use(statement("RELEASE vip_op"));
      use->step();
      return result;
    } catch (...) {
      undoSavepoint();
      throw;
    }
  }

  void undoSavepoint() noexcept {
    sqlite3_exec(db(), "ROLLBACK TO vip_op", nullptr, nullptr, nullptr);
    sqlite3_exec(db(), "RELEASE vip_op", nullptr, nullptr, nullptr);
  }

  // A block of numbers for the key, the counter raised by all of it (or the
  // counter made at the column's greatest value plus the block).
  std::int32_t drawBlock(const std::string& table, const std::string& column,
                         const std::string& key) {
    {
      StatementUse bump(statement("UPDATE AutoSerialNo SET ASN_NO=ASN_NO+?2 WHERE ASN_TYPE=?1"));
      bump->bindText(1, key);
      bump->bind(2, Value{std::int64_t{m_numberBlock}});
      bump->step();
    }
    if (sqlite3_changes(db()) == 0) {
      StatementUse create(statement("INSERT INTO AutoSerialNo(ASN_NO,ASN_TYPE) SELECT IFNULL(MAX(" +
                                    quoteIdentifier(column) + "),0)+?2,?1 FROM " +
                                    quoteIdentifier(table)));
      create->bindText(1, key);
      create->bind(2, Value{std::int64_t{m_numberBlock}});
      create->step();
    }
    const std::int64_t last = counterValue(key);
    return m_blocks.add(key, static_cast<std::int32_t>(last - m_numberBlock + 1),
                        static_cast<std::int32_t>(last));
  }

  // The counter's number, which must be a 32-bit integer.
  std::int64_t counterValue(const std::string& key) {
    StatementUse read(statement("SELECT ASN_NO FROM AutoSerialNo WHERE ASN_TYPE=?1"));
    read->bindText(1, key);
    const Value value = read->step() ? read->column(0) : Value{};
    const auto* integer = std::get_if<std::int64_t>(&value);
    if (!integer || *integer < std::numeric_limits<std::int32_t>::min() ||
        *integer > std::numeric_limits<std::int32_t>::max())
      throw StoreError("The counter " + key + " does not hold a 32-bit integer");
    return *integer;
  }

  // The counter row is still ours: it keeps the last number handed out.
  void giveBackUnusedNumbers() {
    for (const NumberBlocks::Leftover& leftover : m_blocks.leftovers()) {
      StatementUse set(
          statement("UPDATE AutoSerialNo SET ASN_NO=?2 WHERE ASN_TYPE=?1 AND ASN_NO=?3"));
      set->bindText(1, leftover.key);
      set->bind(2, Value{std::int64_t{leftover.lastUsed}});
      set->bind(3, Value{std::int64_t{leftover.lastDrawn}});
      set->step();
    }
  }

  void applyJournalSettings() {
    checkSqlite(db(), sqlite3_busy_timeout(db(), kBusyTimeoutMs));
    // On a WAL store a commit need not wait for the disk; a power loss may
    // lose the last commits but never corrupts the store.
    StatementUse use(statement("PRAGMA journal_mode"));
    if (use->step() && equalsIgnoringCase(std::get<std::string>(use->column(0)), "wal")) {
      checkSqlite(db(), sqlite3_exec(db(), "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr));
    }
  }

  // Kept statements and metadata describe the schema as it was.
  void forgetSchema() {
    m_inserts.clear();
    m_statements.clear();
    m_tables.clear();
  }

  SqliteStatement& statement(const std::string& sql) {
    auto it = m_statements.find(sql);
    if (it == m_statements.end())
      it = m_statements.emplace(sql, std::make_unique<SqliteStatement>(db(), sql)).first;
    return *it->second;
  }

  const TableInfo& tableInfo(const std::string& table) {
    if (const TableInfo* info = findTableInfo(table)) return *info;
    throw StoreError("no such table: " + table);
  }

  // The table's columns, read once and kept; nullptr when there is no such table.
  const TableInfo* findTableInfo(const std::string& table) {
    const std::string key = toLowerAscii(table);
    if (auto it = m_tables.find(key); it != m_tables.end()) return &it->second;
    TableInfo info;
    bool view = false;
    {
      StatementUse use(
          statement("SELECT name, type FROM sqlite_master WHERE type IN ('table','view') "
                    "AND name=?1 COLLATE NOCASE"));
      use->bindText(1, table);
      if (!use->step()) return nullptr;
      info.storeName = std::get<std::string>(use->column(0));
      view = std::get<std::string>(use->column(1)) == "view";
    }
    std::vector<FieldDef> fields;
    SqliteStatement columns(db(), "SELECT * FROM " + quoteIdentifier(info.storeName) + " LIMIT 0");
    for (int i = 0; i < columns.columnCount(); ++i) {
      // A view has no column metadata of its own: its columns take the
      // types of the table columns they show, and none is an identity.
      FieldDef field = view
                           ? fieldFromDeclaredType(columns.columnName(i), columns.columnDeclType(i))
                           : describeColumn(info.storeName, columns.columnName(i));
      if (field.identity) info.identity = fields.size();
      fields.push_back(std::move(field));
    }
    readDefaults(info.storeName, fields);
    info.columns = std::make_shared<const std::vector<FieldDef>>(std::move(fields));
    return &m_tables.emplace(key, std::move(info)).first->second;
  }

  // Whether each column may be NULL and its default, as the table declares them.
  void readDefaults(const std::string& table, std::vector<FieldDef>& fields) {
    SqliteStatement info(db(), "PRAGMA table_info(" + quoteIdentifier(table) + ")");
    while (info.step()) {
      const Value name = info.column(1);
      const auto* text = std::get_if<std::string>(&name);
      if (text == nullptr) continue;
      for (FieldDef& field : fields) {
        if (field.name != *text) continue;
        const Value notNull = info.column(3);
        const auto* flag = std::get_if<std::int64_t>(&notNull);
        field.nullable = flag == nullptr || *flag == 0;
        field.defaultKnown = true;
        if (const Value value = info.column(4); const auto* dflt = std::get_if<std::string>(&value))
          field.defaultValue = *dflt;
      }
    }
  }

  FieldDef describeColumn(const std::string& table, const std::string& name) {
    const char* declared = nullptr;
    int notNull = 0;
    int primaryKey = 0;
    int autoIncrement = 0;
    checkSqlite(db(),
                sqlite3_table_column_metadata(db(), nullptr, table.c_str(), name.c_str(), &declared,
                                              nullptr, &notNull, &primaryKey, &autoIncrement));
    FieldDef field = fieldFromDeclaredType(name, declared ? declared : "");
    if (autoIncrement) {
      field.identity = true;
      field.writable = false;
    }
    return field;
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

  std::int32_t allocateOnce(const std::string& table, const std::string& column) {
    const std::string key = column + "_" + table;
    SqliteTransaction transaction(db(), statement("BEGIN IMMEDIATE"), statement("COMMIT"));
    {
      StatementUse bump(statement("UPDATE AutoSerialNo SET ASN_NO=ASN_NO+1 WHERE ASN_TYPE=?1"));
      bump->bindText(1, key);
      bump->step();
    }
    if (sqlite3_changes(db()) == 0) {
      // The first number for this key: one past the column's greatest value.
      StatementUse create(statement("INSERT INTO AutoSerialNo(ASN_NO,ASN_TYPE) SELECT IFNULL(MAX(" +
                                    quoteIdentifier(column) + "),0)+1,?1 FROM " +
                                    quoteIdentifier(table)));
      create->bindText(1, key);
      create->step();
    }
    const std::int64_t number = counterValue(key);
    transaction.commit();
    return static_cast<std::int32_t>(number);
  }

  // A text statement, run as it stands; several statements run in turn and
  // the last one that has columns gives the result.
  ResultSet runText(const std::string& sql) {
    ResultSet result;
    const char* tail = sql.c_str();
    const char* end = tail + sql.size();
    while (tail < end) {
      sqlite3_stmt* raw = nullptr;
      checkSqlite(db(), sqlite3_prepare_v2(db(), tail, static_cast<int>(end - tail), &raw, &tail));
      if (!raw) break;  // only blanks or comments were left
      std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> owned(raw, sqlite3_finalize);
      // A statement that may change the schema makes the kept metadata stale.
      if (!sqlite3_stmt_readonly(raw)) forgetSchema();
      ResultSet current = readRows(raw);
      if (!current.columns.empty()) result = std::move(current);
    }
    return result;
  }

  ResultSet readRows(sqlite3_stmt* raw) {
    ResultSet result;
    const int count = sqlite3_column_count(raw);
    for (int i = 0; i < count; ++i) {
      const char* name = sqlite3_column_name(raw, i);
      const char* declared = sqlite3_column_decltype(raw, i);
      result.columns.push_back(fieldFromDeclaredType(name ? name : "", declared ? declared : ""));
    }
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
      std::vector<Value> row;
      row.reserve(static_cast<std::size_t>(count));
      for (int i = 0; i < count; ++i)
        row.push_back(
            SqliteStatement::decode(raw, i, result.columns[static_cast<std::size_t>(i)].kind));
      result.rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) {
      rollbackIfOpen(db());
      checkSqlite(db(), rc);
    }
    return result;
  }

  SqliteHandle m_db;
  bool m_inTransaction = false;
  int m_numberBlock = 1;
  NumberBlocks m_blocks;
  std::unordered_map<std::string, std::unique_ptr<SqliteStatement>> m_statements;
  InsertCache<SqliteStatement> m_inserts;
  std::map<std::string, TableInfo> m_tables;
};

// The store must be writable: a read-only file, or a folder where the
// journal cannot be made, would otherwise fail every record of a run.
void requireWritable(sqlite3* db, const std::string& path) {
  if (sqlite3_db_readonly(db, "main") == 1)
    throw StoreError("The store file '" + vip::messageText(path) + "' is read-only",
                     StoreError::Kind::StorageFailed);
  std::error_code ec;
  const std::filesystem::path folder =
      std::filesystem::absolute(std::filesystem::path(path), ec).parent_path();
  if (!ec && ::access(folder.c_str(), W_OK | X_OK) != 0)
    throw StoreError(
        "The folder of the store file '" + vip::messageText(path) + "' cannot be written",
        StoreError::Kind::StorageFailed);
}

}  // namespace

std::unique_ptr<Backend> openSqliteBackend(const std::string& path, OpenMode mode) {
  if (path.empty()) throw StoreError("The connection string names no Data Source (store file)");
  std::error_code ec;
  if (mode == OpenMode::Existing && !std::filesystem::exists(path, ec))
    throw StoreError("The store file '" + vip::messageText(path) + "' does not exist",
                     StoreError::Kind::NotFound);
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
  if (mode == OpenMode::Create) flags |= SQLITE_OPEN_CREATE;
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  SqliteHandle db(raw);
  if (rc != SQLITE_OK) {
    const std::string message = raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc);
    throw StoreError(
        "Cannot open the store file '" + vip::messageText(path) + "': " + message,
        (rc & 0xff) == SQLITE_CANTOPEN ? StoreError::Kind::NotFound : StoreError::Kind::General,
        StoreError::EngineCode{rc, {}});
  }
  sqlite3_extended_result_codes(db.get(), 1);
  sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
  // Read the schema now, so a file that is not a store fails here, clearly.
  char* error = nullptr;
  const int schemaRc =
      sqlite3_exec(db.get(), "SELECT count(*) FROM sqlite_master", nullptr, nullptr, &error);
  if (schemaRc != SQLITE_OK) {
    const std::string message = error ? error : "unknown error";
    sqlite3_free(error);
    throw StoreError("Cannot open the store file '" + vip::messageText(path) + "': " + message,
                     StoreError::Kind::General, StoreError::EngineCode{schemaRc, {}});
  }
  requireWritable(db.get(), path);
  return std::make_unique<SqliteBackend>(std::move(db));
}

}  // namespace vip::store
