#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "store/Statement.h"
#include "store/Value.h"

namespace vip::store {

enum class Engine { Sqlite, SqlServer, Postgres, OtherOdbc };

struct ResultSet {
  std::vector<FieldDef> columns;
  std::vector<std::vector<Value>> rows;
};

// One engine behind the data layer. Implementations act on a statement's
// intent in their own dialect (a SQL Server store receives the statement's
// SQL Server text), keep prepared statements and column metadata, and throw
// StoreError with the store's own message and code.
class Backend {
 public:
  virtual ~Backend() = default;
  virtual Engine engine() const = 0;

  // A statement that gives rows: the business date read or a plain text.
  virtual ResultSet query(const Statement& statement) = 0;

  // The columns of `table` as an empty select of it gives them: kind,
  // declared length and its unit, writable, identity; read once per table
  // and kept until a statement may have changed the schema.
  virtual TableColumns describeTable(const std::string& table) = 0;

  // Inserts one row with bound parameters, committed by itself. Returns the
  // value the store assigned to the table's identity column, if it has one.
  virtual std::optional<std::int64_t> insert(const std::string& table,
                                             const std::vector<const FieldDef*>& columns,
                                             const std::vector<Value>& values) = 0;

  // The identity test: does the store number this column itself?
  virtual bool isIdentity(const std::string& table, const std::string& column) = 0;

  // The allocation batch: one transaction that bumps (or creates, at the
  // column's greatest value plus 1) the counter `column_table` and returns
  // the new number. Rolled back when it fails; retried on serialization
  // failures and counter-creation clashes.
  virtual std::int32_t allocate(const std::string& table, const std::string& column) = 0;

  // For init-store: does the table exist; run a script of statements.
  virtual bool tableExists(const std::string& table) = 0;
  virtual void executeScript(const std::string& sql) = 0;

  // ---- A transaction over many records: batched commits and the rehearsal.
  // Outside one, every draw and every record commits by itself. Inside one,
  // each allocation and each insert runs under a savepoint of its own,
  // released when it succeeds and rolled back when it fails, so a failure
  // undoes that operation alone and the rest of the transaction stands.
  // Serial numbers are drawn a block at a time (`numberBlock` per draw,
  // the counter row locked until the end); what a block leaves unused goes
  // back to the counter at the commit, so the counter stays exact.
  virtual void beginTransaction(int numberBlock) = 0;
  virtual void commitTransaction() = 0;
  // Never throws: a store that is gone takes its transaction with it.
  virtual void rollbackTransaction() noexcept = 0;
  virtual bool inTransaction() const = 0;

  // Fast batches, where the engine gains from them (a server a network
  // away): inside the transaction, inserts wait in the data layer and go to
  // the store as multi-row statements at flushInserts() (or the commit),
  // and no savepoints are taken. A statement that fails then leaves the
  // transaction broken: the caller rolls it back and does the work again
  // the careful way. An engine without them ignores setFastBatches().
  virtual bool supportsFastBatches() const { return false; }
  virtual void setFastBatches(bool on) { (void)on; }
  virtual void flushInserts() {}
  virtual bool transactionBroken() const { return false; }
};

// Whether opening may create the store (init-store) or needs it to exist.
enum class OpenMode { Existing, Create };

}  // namespace vip::store
