#include "window/OdbcDataSources.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <array>
#include <memory>

namespace vip::window {

namespace {

struct EnvironmentFree {
  void operator()(void* env) const { SQLFreeHandle(SQL_HANDLE_ENV, env); }
};
using Environment = std::unique_ptr<void, EnvironmentFree>;

Environment allocateEnvironment() {
  SQLHENV env = SQL_NULL_HENV;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) return nullptr;
  Environment owned(env);
  if (!SQL_SUCCEEDED(
          SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)))
    return nullptr;
  return owned;
}

std::string text(const std::array<SQLCHAR, 512>& buffer, SQLSMALLINT length) {
  const auto size = std::clamp<std::size_t>(
      static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)), 0, buffer.size() - 1);
  return std::string(reinterpret_cast<const char*>(buffer.data()), size);
}

void append(SQLHENV env, SQLUSMALLINT first, std::vector<OdbcDataSource>& out) {
  std::array<SQLCHAR, 512> name{};
  std::array<SQLCHAR, 512> description{};
  SQLSMALLINT nameLength = 0;
  SQLSMALLINT descriptionLength = 0;
  for (SQLUSMALLINT direction = first; SQL_SUCCEEDED(SQLDataSources(
           env, direction, name.data(), static_cast<SQLSMALLINT>(name.size()), &nameLength,
           description.data(), static_cast<SQLSMALLINT>(description.size()), &descriptionLength));
       direction = SQL_FETCH_NEXT) {
    out.push_back({text(name, nameLength), text(description, descriptionLength)});
  }
}

}  // namespace

std::vector<OdbcDataSource> odbcDataSources() {
  std::vector<OdbcDataSource> sources;
  const Environment env = allocateEnvironment();
  if (!env) return sources;
  append(env.get(), SQL_FETCH_FIRST_USER, sources);
  append(env.get(), SQL_FETCH_FIRST_SYSTEM, sources);
  return sources;
}

}  // namespace vip::window
