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
};

// Whether opening may create the store (init-store) or needs it to exist.
enum class OpenMode { Existing, Create };

}  // namespace vip::store
