#pragma once

#include <string>

namespace vip::store {

// A statement the data layer is asked to run, carrying what it is for
// together with the text a SQL Server store receives. SQL Server runs the
// text as it stands; the other engines act on the intent with statements of
// their own, so no engine ever has to read the meaning back out of SQL.
class Statement {
 public:
  enum class Intent {
    SelectEmpty,   // "Select top 0 * from <table>": the table's columns, no rows
    BusinessDate,  // the business date parameter of Qx_SysPara
    IdentityTest,  // does the store number <column> of <table> itself?
    Allocation,    // the counter batch: the next number for <column> of <table>
    Text,          // any other text, run as it stands
  };

  static Statement selectEmpty(std::string table);
  static Statement businessDate();
  static Statement identityTest(std::string table, std::string column);
  static Statement allocation(std::string table, std::string column);
  static Statement text(std::string sql);

  Intent intent() const { return m_intent; }
  const std::string& table() const { return m_table; }
  const std::string& column() const { return m_column; }
  // The statement as written for SQL Server, formatted when asked for: only
  // a SQL Server store (and a message) needs it.
  std::string sqlServerText() const;

 private:
  Statement(Intent intent, std::string table, std::string column, std::string text);

  Intent m_intent;
  std::string m_table;
  std::string m_column;
  std::string m_text;  // Text only
};

}  // namespace vip::store
