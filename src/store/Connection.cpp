#include "store/Connection.h"

#include "common/Messages.h"

#include "store/StoreError.h"
#include "store/odbc/OdbcBackend.h"
#include "store/sqlite/SqliteBackend.h"

namespace vip::store {

Connection::Connection() = default;
Connection::~Connection() = default;

void Connection::setConnectionString(std::string text) {
  m_connectionString = std::move(text);
}

void Connection::open() {
  if (m_backend) return;
  m_backend = openBackend(ConnectionString::parse(m_connectionString));
}

void Connection::close() {
  m_backend.reset();
}

Backend& Connection::backend() {
  // Like the data layer it stands in for, a query that needs the store
  // opens a closed connection again.
  if (!m_backend) open();
  return *m_backend;
}

std::unique_ptr<Backend> openBackend(const ConnectionString& settings, OpenMode mode) {
  switch (settings.providerKind()) {
    case Provider::Sqlite:
      return openSqliteBackend(settings.get("Data Source").value_or(""), mode);
    case Provider::SqlServer:
    case Provider::Msdasql:
      return openOdbcBackend(settings);
    case Provider::None:
      throw StoreError("The connection string names no provider");
    case Provider::Unknown:
      break;
  }
  throw StoreError("Unknown provider '" + vip::messageText(settings.get("Provider").value_or("")) +
                   "'");
}

}  // namespace vip::store
