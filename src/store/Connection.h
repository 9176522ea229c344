#pragma once

#include <memory>
#include <string>

#include "store/Backend.h"
#include "store/ConnectionString.h"

namespace vip::store {

// The store connection (acQxsys): a connection string, opened on demand.
class Connection {
 public:
  Connection();
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  void setConnectionString(std::string text);
  const std::string& connectionString() const { return m_connectionString; }

  bool isOpen() const { return m_backend != nullptr; }
  // Throws StoreError (without the password) when the store cannot be reached.
  void open();
  void close();

  // The open engine; opens the connection first when it is closed.
  Backend& backend();

 private:
  std::string m_connectionString;
  std::unique_ptr<Backend> m_backend;
};

// Opens a backend for a connection string: SQLite natively, everything else
// through ODBC.
// Throws StoreError for an unknown provider or a store that cannot be opened.
std::unique_ptr<Backend> openBackend(const ConnectionString& settings,
                                     OpenMode mode = OpenMode::Existing);

}  // namespace vip::store
