#pragma once

#include <memory>
#include <string>

#include "store/odbc/OdbcHandle.h"

namespace vip::store {

// An environment and one connection on it, connected for its whole life:
// the destructor disconnects before the handles are freed, on every path.
class OdbcConnection {
 public:
  // Connects with an ODBC connection string, without prompting. Throws
  // StoreError with the driver's message (the password masked in it).
  OdbcConnection(const std::string& odbcText, std::shared_ptr<const std::string> secret);
  ~OdbcConnection();
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  // A new statement handle on the connection.
  OdbcHandle newStatement() const;
  // A text the driver reports about the connection (SQLGetInfo), e.g. SQL_DBMS_NAME.
  std::string infoText(SQLUSMALLINT info) const;

  // The driver's own transaction control: autocommit on or off, and the
  // end of a transaction taken with autocommit off.
  void setAutocommit(bool on);
  void endTransaction(bool commit);
  void endTransactionQuietly() noexcept;  // rollback, for destructors

  const OdbcHandle& handle() const { return m_dbc; }

 private:
  std::shared_ptr<const std::string> m_secret;
  OdbcHandle m_env;
  OdbcHandle m_dbc;
};

}  // namespace vip::store
