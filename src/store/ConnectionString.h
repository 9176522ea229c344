#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vip::store {

// The kinds of store a connection string's Provider leads to.
enum class Provider {
  None,       // no Provider key
  Sqlite,     // "SQLite": the embedded store, natively
  SqlServer,  // "SQLOLEDB", "SQLOLEDB.1": SQL Server through ODBC (FreeTDS)
  Msdasql,    // "MSDASQL", "MSDASQL.1": any ODBC driver or data source
  Unknown,
};

// An OLE DB-style connection string: `key=value;` pairs, keys without regard
// to letter case, values optionally quoted ("..." or '...'). A key given
// twice means its last value, everywhere.
class ConnectionString {
 public:
  using Pairs = std::vector<std::pair<std::string, std::string>>;

  // Throws StoreError on a malformed string.
  static ConnectionString parse(const std::string& text);

  // The value of a key among pairs: its last setting wins.
  static std::optional<std::string> find(const Pairs& pairs, std::string_view key);
  // Pairs as a connection string, each value quoted where it must be.
  static std::string compose(const Pairs& pairs);
  // The kind of store a Provider value names.
  static Provider providerOf(std::string_view name);

  // The value of a key: its last setting wins, as when a later key
  // overrides an earlier one.
  std::optional<std::string> get(std::string_view key) const;
  // Every pair as written, duplicates included.
  const Pairs& pairs() const { return m_pairs; }
  // Each key once with its value, in the order the keys first appear.
  Pairs effectivePairs() const;

  // Provider name in upper case ("SQLITE", "SQLOLEDB", "MSDASQL"); "" if none.
  std::string provider() const;
  Provider providerKind() const;

  // The login's password (the value of Password or PWD); "" without one.
  std::string password() const;
  static bool isPasswordKey(std::string_view key);

  // The same settings for messages and logs: any password replaced by "***".
  std::string redacted() const;

 private:
  Pairs m_pairs;
};

// A value as this string's own syntax writes it: in double quotes (a quote
// doubled) where it holds a separator or a quote or has blanks at its ends.
std::string oleDbQuoted(std::string_view value);

// A value as ODBC's connection strings take it: one holding ';', '{' or '}',
// or beginning with a blank, goes in braces with every '}' doubled, so no
// value can end early or carry keys of its own.
std::string odbcQuoted(std::string_view value);

// The ODBC connection string for a SQLOLEDB or MSDASQL string (the driver is
// FreeTDS for SQLOLEDB unless a Driver key names another). Throws StoreError
// for a provider that is not reached through ODBC.
std::string odbcConnectionString(const ConnectionString& settings);

}  // namespace vip::store
