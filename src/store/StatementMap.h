#pragma once

#include <string>

namespace vip::store {

// Recognises the program's own statements (Statements.h, formatted) in the
// SQL Server text a query is opened on, so each dialect can map them.
struct RecognisedStatement {
  enum class Kind { SelectEmpty, BusinessDate, IdentityTest, Allocation, Other };
  Kind kind = Kind::Other;
  std::string table;   // SelectEmpty, IdentityTest, Allocation
  std::string column;  // IdentityTest, Allocation
};

RecognisedStatement recogniseStatement(const std::string& sqlServerText);

// The formatted statements, as a SQL Server store receives them.
std::string selectEmptyStatement(const std::string& table);
std::string identityTestStatement(const std::string& table, const std::string& column);
std::string allocationBatch(const std::string& table, const std::string& column);

}  // namespace vip::store
