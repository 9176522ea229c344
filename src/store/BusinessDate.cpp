#include "store/BusinessDate.h"

#include "common/DateTime.h"
#include "store/Statement.h"
#include "store/StoreError.h"

namespace vip::store {

ConnectResult connectStore(Connection& connection, Query& qryTmp,
                           const std::string& connectionString, std::string& sysDate) {
  if (connection.isOpen()) connection.close();
  connection.setConnectionString(connectionString);
  sysDate = vip::todayText();
  try {
    connection.open();
  } catch (const vip::Error& error) {
    // Store errors never carry the password.
    return ConnectResult{false, error.what()};
  }

  // Not guarded: a store without the parameter table reports it with the
  // connection left open.
  if (qryTmp.isOpen()) qryTmp.close();
  qryTmp.setSql(Statement::businessDate());
  qryTmp.open();
  if (!qryTmp.eof()) sysDate = qryTmp.fieldAsText("SP_Value");
  return ConnectResult{true, {}};
}

}  // namespace vip::store
