#pragma once

#include "store/odbc/OdbcDialect.h"

namespace vip::store {

// Microsoft SQL Server through FreeTDS (or Microsoft's driver): the
// program's statements are sent as written for it.
class SqlServerDialect final : public OdbcDialect {
 public:
  Engine engine() const override { return Engine::SqlServer; }
  std::string selectEmpty(const std::string& table) const override;
  std::string insert(const std::string& table, const std::vector<const FieldDef*>& columns,
                     const FieldDef* identity) const override;
  bool returnsIdentity() const override { return true; }
  bool isIdentity(OdbcSession& session, const std::string& table,
                  const std::string& column) const override;
  std::int32_t allocateOnce(OdbcSession& session, const std::string& table,
                            const std::string& column) const override;
  std::unique_ptr<OdbcTransaction> begin(OdbcSession& session) const override;
  std::int32_t drawBlock(OdbcSession& session, const std::string& table, const std::string& column,
                         int size) const override;
  std::string savepoint() const override { return "SAVE TRAN vip_op"; }
  // SQL Server keeps a savepoint until the transaction ends.
  std::string releaseSavepoint() const override { return {}; }
  std::string rollbackToSavepoint() const override { return "ROLLBACK TRAN vip_op"; }

 protected:
  std::string quoteName(std::string_view name) const override;
};

// PostgreSQL through psqlodbc.
class PostgresDialect final : public OdbcDialect {
 public:
  Engine engine() const override { return Engine::Postgres; }
  void refineColumns(OdbcSession& session, const std::string& table,
                     std::vector<FieldDef>& fields) const override;
  std::string selectEmpty(const std::string& table) const override;
  std::string insert(const std::string& table, const std::vector<const FieldDef*>& columns,
                     const FieldDef* identity) const override;
  bool returnsIdentity() const override { return true; }
  bool textHoldsNul() const override { return false; }
  std::int32_t allocateOnce(OdbcSession& session, const std::string& table,
                            const std::string& column) const override;
  bool retryable(const StoreError& error) const override;
  std::unique_ptr<OdbcTransaction> begin(OdbcSession& session) const override;
  std::string tableExists() const override;
  std::int32_t drawBlock(OdbcSession& session, const std::string& table, const std::string& column,
                         int size) const override;
  bool supportsFastBatches() const override { return true; }
  std::string connectionKeys(const std::string& odbcText) const override;
  std::string counterTable() const override { return "autoserialno"; }

 protected:
  bool countsCharacters() const override { return true; }
};

// Any other ODBC store: plain SQL, no number read back from an insert.
class GenericDialect final : public OdbcDialect {
 public:
  Engine engine() const override { return Engine::OtherOdbc; }
  std::string selectEmpty(const std::string& table) const override;
  std::string insert(const std::string& table, const std::vector<const FieldDef*>& columns,
                     const FieldDef* identity) const override;
  bool returnsIdentity() const override { return false; }
  std::int32_t allocateOnce(OdbcSession& session, const std::string& table,
                            const std::string& column) const override;
  std::unique_ptr<OdbcTransaction> begin(OdbcSession& session) const override;
};

// The driver's own transactions: autocommit off for the transaction's life.
std::unique_ptr<OdbcTransaction> driverTransaction(OdbcConnection& connection);

// How a missing counter row is created: as it stands, or with the counter
// table locked against other creators first (so a store without a unique
// key on ASN_TYPE still gets the row once).
enum class CounterCreation { Plain, LockTable };

// The plain counter draw shared by PostgreSQL and other stores.
std::int32_t allocatePlain(OdbcSession& session, const OdbcDialect& dialect,
                           const std::string& counterTable, CounterCreation creation,
                           const std::string& table, const std::string& column);

// The counter's number from a result: the ASN_NO column, found without
// regard to letter case, as a 32-bit integer.
std::int32_t counterNumber(const ResultSet& result);

// A block drawn the plain way, inside the caller's transaction.
std::int32_t drawPlainBlock(OdbcSession& session, const OdbcDialect& dialect,
                            CounterCreation creation, const std::string& table,
                            const std::string& column, int size);

}  // namespace vip::store
