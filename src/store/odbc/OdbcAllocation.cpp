// The counter draw on each ODBC store.
#include <limits>

#include "common/AsciiCase.h"
#include "store/odbc/OdbcDialects.h"

namespace vip::store {

std::int32_t counterNumber(const ResultSet& result) {
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
  } else if (const auto* decimal = std::get_if<Decimal4>(&value);
             decimal != nullptr && decimal->units % 10000 == 0) {
    number = decimal->units / 10000;
  } else {
    throw StoreError("The allocation batch returned no whole ASN_NO");
  }
  if (number < std::numeric_limits<std::int32_t>::min() ||
      number > std::numeric_limits<std::int32_t>::max()) {
    throw StoreError("ASN_NO " + std::to_string(number) + " is out of the integer range");
  }
  return static_cast<std::int32_t>(number);
}

// SQL Server: the batch exactly as the program writes it, in one call. A
// batch that fails part-way leaves its transaction open on the connection:
// roll it back so the counter and the locks are released.
std::int32_t SqlServerDialect::allocateOnce(OdbcSession& session, const std::string& table,
                                            const std::string& column) const {
  try {
    return counterNumber(session.runBatch(Statement::allocation(table, column).sqlServerText()));
  } catch (const StoreError&) {
    try {
      session.execute("IF @@TRANCOUNT > 0 ROLLBACK TRAN");
    } catch (const StoreError&) {
      // The connection is gone, and with it the transaction.
    }
    throw;
  }
}

// Bumps the counter inside one transaction; the update locks the counter row
// until the commit, so a second client waits and then draws the following
// number. Without a counter row yet, it is created at the column's greatest
// value plus 1.
std::int32_t allocatePlain(OdbcSession& session, const OdbcDialect& dialect,
                           const std::string& counterTable, CounterCreation creation,
                           const std::string& table, const std::string& column) {
  const std::string key = column + "_" + table;
  const std::string bump = "UPDATE " + counterTable + " SET ASN_NO=ASN_NO+1 WHERE ASN_TYPE=?";
  const auto transaction = dialect.begin(session);
  std::int64_t changed = session.changedRows(bump, {Value{key}});
  if (changed == 0 && creation == CounterCreation::LockTable) {
    // The first client to find the counter missing locks the counter table
    // against other creators and looks again.
    session.execute("LOCK TABLE " + counterTable + " IN SHARE ROW EXCLUSIVE MODE");
    changed = session.changedRows(bump, {Value{key}});
  }
  if (changed == 0) {
    session.changedRows("INSERT INTO " + counterTable + " (ASN_NO,ASN_TYPE) SELECT COALESCE(MAX(" +
                            OdbcDialect::columnName(column) + "),0)+1,? FROM " +
                            OdbcDialect::tableName(table),
                        {Value{key}});
  }
  const std::int32_t number = counterNumber(
      session.run("SELECT ASN_NO FROM " + counterTable + " WHERE ASN_TYPE=?", {Value{key}}));
  transaction->commit();
  return number;
}

std::int32_t PostgresDialect::allocateOnce(OdbcSession& session, const std::string& table,
                                           const std::string& column) const {
  // Once the counter exists a draw is one statement, committed by itself;
  // the update's row lock keeps concurrent draws apart. (Written as a
  // select: the driver describes no rows of UPDATE ... RETURNING.)
  const ResultSet drawn = session.run(
      "WITH bumped AS (UPDATE autoserialno SET asn_no=asn_no+1 WHERE asn_type=?"
      " RETURNING asn_no) SELECT asn_no FROM bumped",
      {Value{column + "_" + table}});
  if (!drawn.rows.empty()) return counterNumber(drawn);
  return allocatePlain(session, *this, "autoserialno", CounterCreation::LockTable, table, column);
}

std::int32_t GenericDialect::allocateOnce(OdbcSession& session, const std::string& table,
                                          const std::string& column) const {
  return allocatePlain(session, *this, "AutoSerialNo", CounterCreation::Plain, table, column);
}

std::int32_t drawPlainBlock(OdbcSession& session, const OdbcDialect& dialect,
                            CounterCreation creation, const std::string& table,
                            const std::string& column, int size) {
  const std::string key = column + "_" + table;
  const std::string counter = dialect.counterTable();
  const std::string bump = "UPDATE " + counter + " SET ASN_NO=ASN_NO+? WHERE ASN_TYPE=?";
  const std::vector<Value> bumpBy{Value{std::int64_t{size}}, Value{key}};
  std::int64_t changed = session.changedRows(bump, bumpBy);
  if (changed == 0 && creation == CounterCreation::LockTable) {
    session.execute("LOCK TABLE " + counter + " IN SHARE ROW EXCLUSIVE MODE");
    changed = session.changedRows(bump, bumpBy);
  }
  if (changed == 0) {
    session.changedRows("INSERT INTO " + counter + " (ASN_NO,ASN_TYPE) SELECT COALESCE(MAX(" +
                            OdbcDialect::columnName(column) + "),0)+?,? FROM " +
                            OdbcDialect::tableName(table),
                        bumpBy);
  }
  return counterNumber(
      session.run("SELECT ASN_NO FROM " + counter + " WHERE ASN_TYPE=?", {Value{key}}));
}

std::int32_t OdbcDialect::drawBlock(OdbcSession& session, const std::string& table,
                                    const std::string& column, int size) const {
  return drawPlainBlock(session, *this, CounterCreation::Plain, table, column, size);
}

std::int32_t PostgresDialect::drawBlock(OdbcSession& session, const std::string& table,
                                        const std::string& column, int size) const {
  // One statement once the counter exists.
  const ResultSet drawn = session.run(
      "WITH bumped AS (UPDATE autoserialno SET asn_no=asn_no+? WHERE asn_type=?"
      " RETURNING asn_no) SELECT asn_no FROM bumped",
      {Value{std::int64_t{size}}, Value{column + "_" + table}});
  if (!drawn.rows.empty()) return counterNumber(drawn);
  return drawPlainBlock(session, *this, CounterCreation::LockTable, table, column, size);
}

// SQL Server: the program's batch with the block in place of 1, inside the
// caller's transaction (its own begin and commit nest there).
std::int32_t SqlServerDialect::drawBlock(OdbcSession& session, const std::string& table,
                                         const std::string& column, int size) const {
  const std::string key = column + "_" + table;
  const std::string by = std::to_string(size);
  return counterNumber(session.runBatch(
      "set nocount on\n"
      "update AutoSerialNo with (serializable) set ASN_NO=ASN_NO+" +
      by + " where ASN_TYPE='" + key +
      "'\n"
      "if @@rowcount = 0 insert into AutoSerialNo (ASN_NO,ASN_TYPE) select isnull(max(" +
      OdbcDialect::columnName(column) + "),0)+" + by + ",'" + key + "' from " +
      OdbcDialect::tableName(table) +
      "\n"
      "select ASN_NO from AutoSerialNo where ASN_TYPE='" +
      key + "'"));
}

}  // namespace vip::store
