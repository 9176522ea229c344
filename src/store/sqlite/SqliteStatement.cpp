#include "store/sqlite/SqliteStatement.h"

#include <sqlite3.h>

#include <limits>

#include "store/StoreError.h"

namespace vip::store {

namespace {

StoreError::Kind kindOf(int rc) {
  switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return StoreError::Kind::Retryable;
    case SQLITE_FULL:
    case SQLITE_READONLY:
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_PERM:
      return StoreError::Kind::StorageFailed;
    default:
      return StoreError::Kind::General;
  }
}

}  // namespace

void checkSqlite(sqlite3* db, int rc) {
  if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE) return;
  // The connection's own code is the extended one even where the call gave
  // the primary code alone.
  const int code = db != nullptr && (sqlite3_extended_errcode(db) & 0xff) == (rc & 0xff)
                       ? sqlite3_extended_errcode(db)
                       : rc;
  const std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  throw StoreError(message, kindOf(code), StoreError::EngineCode{code, {}});
}

void SqliteCloser::operator()(sqlite3* db) const noexcept {
  rollbackIfOpen(db);
  sqlite3_close_v2(db);
}

SqliteStatement::SqliteStatement(sqlite3* db, std::string_view sql) : m_db(db) {
  if (sql.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
    throw StoreError("statement too long");
  checkSqlite(m_db, sqlite3_prepare_v3(m_db, sql.data(), static_cast<int>(sql.size()),
                                       SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr));
  if (!m_stmt) throw StoreError("empty statement");
}

SqliteStatement::~SqliteStatement() {
  sqlite3_finalize(m_stmt);
}

void SqliteStatement::bindText(int index, std::string_view text) {
  checkSqlite(m_db, sqlite3_bind_text64(m_stmt, index, text.data(), text.size(), SQLITE_TRANSIENT,
                                        SQLITE_UTF8));
}

void SqliteStatement::bind(int index, const Value& value) {
  int rc = SQLITE_OK;
  if (std::holds_alternative<std::monostate>(value)) {
    rc = sqlite3_bind_null(m_stmt, index);
  } else if (const auto* text = std::get_if<std::string>(&value)) {
    // The value outlives the step (bind's contract): SQLite need not copy it.
    rc = sqlite3_bind_text64(m_stmt, index, text->data(), text->size(), SQLITE_STATIC, SQLITE_UTF8);
  } else if (const auto* integer = std::get_if<std::int64_t>(&value)) {
    rc = sqlite3_bind_int64(m_stmt, index, *integer);
  } else if (const auto* real = std::get_if<double>(&value)) {
    rc = sqlite3_bind_double(m_stmt, index, *real);
  } else if (const auto* decimal = std::get_if<Decimal4>(&value)) {
    // Whole amounts stay exact integers; others are the nearest double.
    if (decimal->units % 10000 == 0)
      rc = sqlite3_bind_int64(m_stmt, index, decimal->units / 10000);
    else
      rc = sqlite3_bind_double(m_stmt, index, static_cast<double>(decimal->units) / 10000.0);
  } else if (const auto* dateTime = std::get_if<vip::DateTime>(&value)) {
    const std::string iso = vip::isoText(*dateTime);
    rc = sqlite3_bind_text64(m_stmt, index, iso.data(), iso.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  } else if (const auto* flag = std::get_if<bool>(&value)) {
    rc = sqlite3_bind_int(m_stmt, index, *flag ? 1 : 0);
  }
  checkSqlite(m_db, rc);
}

bool SqliteStatement::step() {
  const int rc = sqlite3_step(m_stmt);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  checkSqlite(m_db, rc);
  return false;
}

void SqliteStatement::reset() noexcept {
  sqlite3_reset(m_stmt);
  sqlite3_clear_bindings(m_stmt);
}

int SqliteStatement::columnCount() const {
  return sqlite3_column_count(m_stmt);
}

std::string SqliteStatement::columnName(int index) const {
  const char* name = sqlite3_column_name(m_stmt, index);
  return name ? name : "";
}

std::string SqliteStatement::columnDeclType(int index) const {
  const char* type = sqlite3_column_decltype(m_stmt, index);
  return type ? type : "";
}

Value SqliteStatement::decode(sqlite3_stmt* stmt, int index, FieldKind kind) {
  switch (sqlite3_column_type(stmt, index)) {
    case SQLITE_INTEGER: {
      const std::int64_t number = sqlite3_column_int64(stmt, index);
      if (kind == FieldKind::Boolean) return number != 0;
      return number;
    }
    case SQLITE_FLOAT:
      return sqlite3_column_double(stmt, index);
    case SQLITE_TEXT:
    case SQLITE_BLOB: {
      const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, index));
      const int size = sqlite3_column_bytes(stmt, index);
      return std::string(bytes ? bytes : "", static_cast<std::size_t>(size));
    }
    default:
      return std::monostate{};
  }
}

Value SqliteStatement::column(int index, FieldKind kind) const {
  return decode(m_stmt, index, kind);
}

SqliteTransaction::SqliteTransaction(sqlite3* db, SqliteStatement& begin, SqliteStatement& commit)
    : m_db(db), m_commit(commit) {
  StatementUse use(begin);
  use->step();
}

SqliteTransaction::~SqliteTransaction() {
  if (!m_done) rollbackIfOpen(m_db);
}

void SqliteTransaction::commit() {
  StatementUse use(m_commit);
  use->step();
  m_done = true;
}

void rollbackIfOpen(sqlite3* db) noexcept {
  if (db && !sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
}

std::string quoteIdentifier(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

}  // namespace vip::store
