#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/Backend.h"
#include "store/StoreError.h"
#include "store/Value.h"
#include "store/odbc/OdbcConnection.h"

namespace vip::store {

// What one ODBC column description says, as the driver gives it.
struct OdbcColumn {
  std::string name;
  std::string typeName;  // SQL_DESC_TYPE_NAME: "varchar", "nvarchar", "int4", ...
  int sqlType = 0;       // SQL_VARCHAR, SQL_WVARCHAR, SQL_INTEGER, ...
  long long size = 0;    // column size: characters, digits
  int scale = 0;
  bool autoIncrement = false;
  bool readOnly = false;
  bool nullable = true;
};

// What a dialect may ask of the connection it serves.
class OdbcSession {
 public:
  virtual ~OdbcSession() = default;
  // A statement of the data layer's own, with text parameters; its rows.
  virtual ResultSet run(const std::string& sql, const std::vector<Value>& parameters) = 0;
  // A statement that returns no rows.
  virtual void execute(const std::string& sql) = 0;
  // The rows a statement with parameters changed.
  virtual std::int64_t changedRows(const std::string& sql,
                                   const std::vector<Value>& parameters) = 0;
  // A batch run in one call, its first result read and the rest drained.
  virtual ResultSet runBatch(const std::string& sql) = 0;
  virtual TableColumns describeTable(const std::string& table) = 0;
  virtual OdbcConnection& connection() = 0;
};

// A transaction on a session, in the dialect's way of taking one; rolled
// back unless committed.
class OdbcTransaction {
 public:
  virtual ~OdbcTransaction() = default;
  virtual void commit() = 0;
};

// The differences between the stores reached through ODBC, one subclass per
// engine: how a driver's columns read as the data layer's kinds, the
// statements the layer writes itself, how an insert's number comes back,
// the identity test, the counter draw and how a transaction is taken.
class OdbcDialect {
 public:
  // From SQL_DBMS_NAME: "Microsoft SQL Server" or "PostgreSQL"; anything
  // else is served by the plain ODBC statements.
  static std::unique_ptr<OdbcDialect> forDbms(std::string_view dbmsName);
  static std::unique_ptr<OdbcDialect> forEngine(Engine engine);
  virtual ~OdbcDialect() = default;

  virtual Engine engine() const = 0;

  // Kind, declared length and its unit, writable, identity.
  FieldDef field(const OdbcColumn& column) const;
  // What the driver's description cannot tell, from the store's catalogue.
  virtual void refineColumns(OdbcSession& session, const std::string& table,
                             std::vector<FieldDef>& fields) const;

  // The empty result that describes a table's columns.
  virtual std::string selectEmpty(const std::string& table) const = 0;
  // An INSERT of these columns; where the table has an identity column,
  // the statement also gives back the number the store assigned.
  virtual std::string insert(const std::string& table, const std::vector<const FieldDef*>& columns,
                             const FieldDef* identity) const = 0;
  // One INSERT of `rows` records of these columns (no identity read back).
  std::string insertRows(const std::string& table, const std::vector<const FieldDef*>& columns,
                         std::size_t rows) const;
  // Whether insert() gives the number back.
  virtual bool returnsIdentity() const = 0;
  // Whether a text may hold the character U+0000.
  virtual bool textHoldsNul() const { return true; }

  virtual bool isIdentity(OdbcSession& session, const std::string& table,
                          const std::string& column) const;
  // One attempt at the counter draw; the caller retries where retryable().
  virtual std::int32_t allocateOnce(OdbcSession& session, const std::string& table,
                                    const std::string& column) const = 0;
  virtual bool retryable(const StoreError& error) const;

  virtual std::unique_ptr<OdbcTransaction> begin(OdbcSession& session) const = 0;
  virtual std::string tableExists() const;

  // Inside a transaction the caller holds: a block of `size` numbers in
  // one draw, without a transaction of its own; the block's last number.
  virtual std::int32_t drawBlock(OdbcSession& session, const std::string& table,
                                 const std::string& column, int size) const;
  // The statements of a savepoint around one operation; "" for none.
  virtual std::string savepoint() const { return "SAVEPOINT vip_op"; }
  virtual std::string releaseSavepoint() const { return "RELEASE SAVEPOINT vip_op"; }
  virtual std::string rollbackToSavepoint() const { return "ROLLBACK TO SAVEPOINT vip_op"; }
  // Whether inserts may wait and go as multi-row statements.
  virtual bool supportsFastBatches() const { return false; }
  // Keys the connection needs beyond the operator's string ("" for none):
  // the connection is made again with them once the engine is known.
  virtual std::string connectionKeys(const std::string& odbcText) const {
    (void)odbcText;
    return {};
  }
  // The name of the counter table as statements the layer writes name it.
  virtual std::string counterTable() const { return "AutoSerialNo"; }

  // A table or column name the program passes, as it appears in statements
  // the layer builds: letter case folds as the store folds unquoted names.
  // Throws StoreError for a name that is not a plain identifier (a table
  // may carry its schema).
  static std::string tableName(const std::string& table);
  static std::string columnName(const std::string& column);

 protected:
  // Whether the store counts a character column's length in characters
  // (rather than SQL Server's bytes and UTF-16 units).
  virtual bool countsCharacters() const { return false; }
  // A name as found in the store, quoted for a statement.
  virtual std::string quoteName(std::string_view name) const;
};

}  // namespace vip::store
