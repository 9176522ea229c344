#include "storeinit/StoreInit.h"

#include "StoreSchemas.h"
#include "common/Error.h"
#include "store/Connection.h"

namespace vip::storeinit {

namespace {

const char* schemaFor(store::Engine engine) {
  switch (engine) {
    case store::Engine::Sqlite:
      return schema::k_sqlite;
    case store::Engine::Postgres:
      return schema::k_postgresql;
    case store::Engine::SqlServer:
      return schema::k_sqlserver;
    case store::Engine::OtherOdbc:
      break;
  }
  return "";
}

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) {
    if (!text.empty()) text += ", ";
    text += name;
  }
  return text;
}

}  // namespace

std::vector<std::string> missingTables(store::Backend& backend) {
  std::vector<std::string> missing;
  for (const char* table : kTables)
    if (!backend.tableExists(table)) missing.emplace_back(table);
  return missing;
}

void createStore(const store::ConnectionString& settings) {
  auto backend = store::openBackend(settings, store::OpenMode::Create);
  std::vector<std::string> present;
  for (const char* table : kTables)
    if (backend->tableExists(table)) present.emplace_back(table);
  if (!present.empty())
    throw vip::Error("the store already holds " + joined(present) + "; nothing was changed");
  const char* schema = schemaFor(backend->engine());
  if (*schema == '\0') throw vip::Error("no schema for this kind of store");
  backend->executeScript(schema);
}

}  // namespace vip::storeinit
