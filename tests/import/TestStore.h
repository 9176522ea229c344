#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace vip::test {

class PgServer;

enum class StoreEngine { Sqlite, Postgres };

inline void PrintTo(StoreEngine engine, std::ostream* out) {
  *out << (engine == StoreEngine::Sqlite ? "Sqlite" : "Postgres");
}

// How a hand-written store schema differs from the plain one.
struct SchemaOptions {
  int categoryNameLength = 40;    // VipCardType.VCT_Name varchar(n)
  bool identityMemberId = false;  // VCM_ID numbered by the store itself
  std::vector<std::string> omit;  // "Table.Column" pairs left out
  // "Table.Column" pairs given another type than the usual one.
  std::vector<std::pair<std::string, std::string>> retype;
  bool businessDateTable = true;  // Qx_SysPara exists
};

// An empty store of one engine for one test, reached through the program's
// own data layer: SQLite in a temporary file, PostgreSQL as a fresh database
// on the test server.
class TestStore {
 public:
  // A PostgreSQL store lives on `server`, by default the one the tests share.
  static std::unique_ptr<TestStore> create(StoreEngine engine, const std::string& name,
                                           PgServer* server = nullptr);
  ~TestStore();

  StoreEngine engine() const { return m_engine; }
  const std::string& connectionString() const { return m_connectionString; }
  // Where a SQLite store's file is (empty for PostgreSQL).
  const std::string& path() const { return m_path; }

  // The five tables with their usual columns, as `options` varies them.
  void createSchema(const SchemaOptions& options = {});
  // Runs statements separated by ";" (no ";" inside them).
  void exec(const std::string& script);
  // The rows of a query, every value as text (NULL as "<null>").
  std::vector<std::vector<std::string>> rows(const std::string& select);
  std::string scalar(const std::string& select);
  // Waits (up to a minute, or until `stillRunning` says no) until the store
  // holds at least `count` members, while an import writes to it.
  void waitForMembers(int count, const std::function<bool()>& stillRunning);

 private:
  TestStore(StoreEngine engine, std::string connectionString, std::string path);

  StoreEngine m_engine;
  std::string m_connectionString;
  std::string m_path;
};

}  // namespace vip::test
