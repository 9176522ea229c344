#pragma once

#include <sql.h>
#include <sqlext.h>

#include <memory>
#include <string>
#include <vector>

namespace vip::store {

// One ODBC handle (environment, connection or statement), freed with its
// owner. check() turns a failed call into a StoreError carrying the driver's
// message, its native error and SQLSTATE; the login's password is kept out
// of that message. Internal to the ODBC backend.
class OdbcHandle {
 public:
  struct Diagnostic {
    std::string sqlState;
    int native = 0;
    std::string message;
  };

  OdbcHandle() = default;
  // Allocates a handle of `type` under `parent` (SQL_NULL_HANDLE for an
  // environment). `secret` is the login's password, masked in messages.
  OdbcHandle(SQLSMALLINT type, SQLHANDLE parent, std::shared_ptr<const std::string> secret);
  ~OdbcHandle();
  OdbcHandle(OdbcHandle&& other) noexcept;
  OdbcHandle& operator=(OdbcHandle&& other) noexcept;
  OdbcHandle(const OdbcHandle&) = delete;
  OdbcHandle& operator=(const OdbcHandle&) = delete;

  SQLHANDLE get() const { return m_handle; }
  const std::shared_ptr<const std::string>& secret() const { return m_secret; }

  // Returns `rc` when the call succeeded (SQL_NO_DATA counts as success);
  // throws StoreError with the driver's diagnostics otherwise.
  SQLRETURN check(SQLRETURN rc) const;

  std::vector<Diagnostic> diagnostics() const;
  // The driver's text without the "[unixODBC][Driver]" prefixes, on one line,
  // with the password masked wherever it stands as a word of its own.
  std::string message() const;

 private:
  void release() noexcept;

  SQLHANDLE m_handle = SQL_NULL_HANDLE;
  SQLSMALLINT m_type = 0;
  std::shared_ptr<const std::string> m_secret;
};

// `text` with every occurrence of `secret` that stands as a token of its own
// (not inside a longer word) replaced by "***". A password of a few common
// letters thus never garbles a message or shows which letters it holds.
std::string maskSecret(std::string text, const std::string& secret);

}  // namespace vip::store
