#pragma once

#include <string>
#include <string_view>

#include "store/Backend.h"
#include "store/Value.h"

namespace vip::store {

// What one ODBC column description says, as the driver gives it.
struct OdbcColumn {
  std::string name;
  std::string typeName;  // SQL_DESC_TYPE_NAME: "varchar", "nvarchar", "int4", ...
  int sqlType = 0;       // SQL_VARCHAR, SQL_WVARCHAR, SQL_INTEGER, ...
  long long size = 0;    // column size: characters, digits
  int scale = 0;
  bool autoIncrement = false;
  bool readOnly = false;
};

// The differences between the stores reached through ODBC: which engine a
// driver leads to, how its columns read as the data layer's kinds, how names
// are written into the statements the layer builds itself.
class OdbcDialect {
 public:
  explicit OdbcDialect(Engine engine) : m_engine(engine) {}
  // From SQL_DBMS_NAME: "Microsoft SQL Server" or "PostgreSQL"; anything
  // else is served by the plain ODBC statements.
  static Engine engineFor(std::string_view dbmsName);

  Engine engine() const { return m_engine; }

  // Kind, declared length and its unit, writable, identity.
  FieldDef field(const OdbcColumn& column) const;

  // The empty result that describes a table's columns.
  std::string selectEmpty(const std::string& table) const;
  // A column name as found in the store, quoted for a statement.
  std::string quoteName(std::string_view name) const;
  // A table name the program passes, as it appears in statements: letter
  // case folds as the store folds unquoted names. Throws StoreError for a
  // name that is not a plain (optionally schema-qualified) identifier.
  static std::string tableName(const std::string& table);
  // Same for a column name the program passes (the allocation's column).
  static std::string columnName(const std::string& column);

 private:
  Engine m_engine;
};

}  // namespace vip::store
