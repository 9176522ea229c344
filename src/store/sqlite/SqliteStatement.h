#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "store/Value.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vip::store {

// Throws StoreError with SQLite's own message and extended result code for a
// failing result code: busy and locked stores are retryable; a full,
// read-only, unreadable or corrupt store, or one that cannot be opened, is
// a failure of the storage itself.
void checkSqlite(sqlite3* db, int rc);

// Rolls back whatever transaction is open on `db`; never throws.
void rollbackIfOpen(sqlite3* db) noexcept;

// An open store file, owned from the moment sqlite3_open_v2 hands it back:
// any transaction left open is rolled back and the file closed on every path.
struct SqliteCloser {
  void operator()(sqlite3* db) const noexcept;
};
using SqliteHandle = std::unique_ptr<sqlite3, SqliteCloser>;

// One prepared statement. Each use binds, steps and ends with reset(), which
// the StatementUse guard does on every path, so a cached statement never
// holds a read lock or stale parameters between uses.
class SqliteStatement {
 public:
  SqliteStatement(sqlite3* db, std::string_view sql);
  ~SqliteStatement();
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  // A text value is not copied: it must stay in place until the statement
  // has been stepped (and reset, which the StatementUse guard does).
  void bind(int index, const Value& value);
  void bindText(int index, std::string_view text);
  // true while a row is ready.
  bool step();
  void reset() noexcept;

  int columnCount() const;
  std::string columnName(int index) const;
  // The declared type of a result column taken straight from a table; "" otherwise.
  std::string columnDeclType(int index) const;
  // A result column as the data layer's value; a bit column's integers read
  // as booleans.
  Value column(int index, FieldKind kind = FieldKind::Unknown) const;
  static Value decode(sqlite3_stmt* stmt, int index, FieldKind kind);

 private:
  sqlite3* m_db;
  sqlite3_stmt* m_stmt = nullptr;
};

// Resets a statement when a use of it ends, by any path.
class StatementUse {
 public:
  explicit StatementUse(SqliteStatement& statement) : m_statement(statement) {}
  ~StatementUse() { m_statement.reset(); }
  StatementUse(const StatementUse&) = delete;
  StatementUse& operator=(const StatementUse&) = delete;
  SqliteStatement* operator->() { return &m_statement; }

 private:
  SqliteStatement& m_statement;
};

// A write transaction taken at once (`begin` is BEGIN IMMEDIATE), rolled
// back unless `commit` (COMMIT) has run.
class SqliteTransaction {
 public:
  SqliteTransaction(sqlite3* db, SqliteStatement& begin, SqliteStatement& commit);
  ~SqliteTransaction();
  SqliteTransaction(const SqliteTransaction&) = delete;
  SqliteTransaction& operator=(const SqliteTransaction&) = delete;
  void commit();

 private:
  sqlite3* m_db;
  SqliteStatement& m_commit;
  bool m_done = false;
};

// A name as a quoted SQLite identifier.
std::string quoteIdentifier(std::string_view name);

}  // namespace vip::store
