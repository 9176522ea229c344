#include "store/Connection.h"

#include "store/OdbcBackend.h"
#include "store/SqliteBackend.h"
#include "store/StoreError.h"

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
  const std::string provider = settings.provider();
  if (provider == "SQLITE")
    return openSqliteBackend(settings.get("Data Source").value_or(""), mode);
  if (provider == "SQLOLEDB" || provider == "SQLOLEDB.1" || provider == "MSDASQL")
    return openOdbcBackend(settings);
  if (provider.empty()) throw StoreError("The connection string names no provider");
  throw StoreError("Unknown provider '" + settings.get("Provider").value_or("") + "'");
}

}  // namespace vip::store
