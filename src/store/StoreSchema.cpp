#include "store/StoreSchema.h"

#include "StoreSchemas.h"
#include "store/Connection.h"
#include "store/StoreError.h"

namespace vip::store {

namespace {

const char* schemaFor(Engine engine) {
  switch (engine) {
    case Engine::Sqlite:
      return schema::k_sqlite;
    case Engine::Postgres:
      return schema::k_postgresql;
    case Engine::SqlServer:
      return schema::k_sqlserver;
    case Engine::OtherOdbc:
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

std::vector<std::string> missingTables(Backend& backend) {
  std::vector<std::string> missing;
  for (const char* table : kStoreTables)
    if (!backend.tableExists(table)) missing.emplace_back(table);
  return missing;
}

void createStore(const ConnectionString& settings) {
  auto backend = openBackend(settings, OpenMode::Create);
  std::vector<std::string> present;
  for (const char* table : kStoreTables)
    if (backend->tableExists(table)) present.emplace_back(table);
  if (!present.empty())
    throw StoreError("the store already holds " + joined(present) + "; nothing was changed");
  const char* schema = schemaFor(backend->engine());
  if (*schema == '\0') throw StoreError("no schema for this kind of store");
  backend->executeScript(schema);
}

}  // namespace vip::store
