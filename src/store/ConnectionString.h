#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vip::store {

// An OLE DB-style connection string: `key=value;` pairs, keys without regard
// to letter case, values optionally quoted ("..." or '...').
class ConnectionString {
 public:
  // Throws StoreError on a malformed string.
  static ConnectionString parse(const std::string& text);

  std::optional<std::string> get(const std::string& key) const;
  const std::vector<std::pair<std::string, std::string>>& pairs() const { return m_pairs; }

  // Provider name in upper case ("SQLITE", "SQLOLEDB", "MSDASQL"); "" if none.
  std::string provider() const;

  // The same settings for messages and logs: any password replaced by "***".
  std::string redacted() const;

 private:
  std::vector<std::pair<std::string, std::string>> m_pairs;
};

// The ODBC connection string for a SQLOLEDB or MSDASQL string (the driver is
// FreeTDS for SQLOLEDB unless a Driver key names another). Throws StoreError
// for a provider that is not reached through ODBC.
std::string odbcConnectionString(const ConnectionString& settings);

}  // namespace vip::store
