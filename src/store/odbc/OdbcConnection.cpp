#include "store/odbc/OdbcConnection.h"

#include <algorithm>

#include "store/StoreError.h"
#include "store/odbc/OdbcWideText.h"

namespace vip::store {

namespace {

constexpr SQLULEN kLoginTimeoutSeconds = 15;
// SQLDriverConnectW takes the string's length as a 16-bit count.
constexpr std::size_t kLongestConnectionString = 32767;

}  // namespace

OdbcConnection::OdbcConnection(const std::string& odbcText,
                               std::shared_ptr<const std::string> secret)
    : m_secret(std::move(secret)), m_env(SQL_HANDLE_ENV, SQL_NULL_HANDLE, m_secret) {
  WideText text = toWide(odbcText);
  if (text.size() > kLongestConnectionString) {
    throw StoreError("The connection string is too long for ODBC: " + std::to_string(text.size()) +
                     " characters, at most " + std::to_string(kLongestConnectionString));
  }
  m_env.check(SQLSetEnvAttr(m_env.get(), SQL_ATTR_ODBC_VERSION,
                            reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
  OdbcHandle dbc(SQL_HANDLE_DBC, m_env.get(), m_secret);
  dbc.check(SQLSetConnectAttr(dbc.get(), SQL_ATTR_LOGIN_TIMEOUT,
                              reinterpret_cast<SQLPOINTER>(kLoginTimeoutSeconds), 0));
  dbc.check(SQLDriverConnectW(dbc.get(), nullptr, text.data(),
                              static_cast<SQLSMALLINT>(text.size()), nullptr, 0, nullptr,
                              SQL_DRIVER_NOPROMPT));
  // Connected: from here the destructor disconnects.
  m_dbc = std::move(dbc);
}

OdbcConnection::~OdbcConnection() {
  SQLDisconnect(m_dbc.get());
}

OdbcHandle OdbcConnection::newStatement() const {
  return OdbcHandle(SQL_HANDLE_STMT, m_dbc.get(), m_secret);
}

std::string OdbcConnection::infoText(SQLUSMALLINT info) const {
  WideText buffer(256, 0);
  SQLSMALLINT length = 0;
  m_dbc.check(SQLGetInfoW(m_dbc.get(), info, buffer.data(),
                          static_cast<SQLSMALLINT>(buffer.size() * sizeof(SQLWCHAR)), &length));
  const std::size_t units = std::min(
      static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)) / sizeof(SQLWCHAR), buffer.size());
  return fromWide(buffer.data(), units);
}

void OdbcConnection::setAutocommit(bool on) {
  m_dbc.check(SQLSetConnectAttr(
      m_dbc.get(), SQL_ATTR_AUTOCOMMIT,
      reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), SQL_IS_UINTEGER));
}

void OdbcConnection::endTransaction(bool commit) {
  m_dbc.check(SQLEndTran(SQL_HANDLE_DBC, m_dbc.get(), commit ? SQL_COMMIT : SQL_ROLLBACK));
}

void OdbcConnection::endTransactionQuietly() noexcept {
  SQLEndTran(SQL_HANDLE_DBC, m_dbc.get(), SQL_ROLLBACK);
}

}  // namespace vip::store
