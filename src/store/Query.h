#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/FormatSettings.h"
#include "store/Connection.h"
#include "store/Value.h"

namespace vip::store {

// A dataset on the store connection (qryTmp, qryInsert, qryDetail): opened
// on a statement it holds the result rows; opened on "Select top 0 * from X"
// it describes X's columns and can append and post one record at a time.
class Query {
 public:
  Query(Connection& connection, std::string name,
        const FormatSettings& settings = defaultFormatSettings());

  const std::string& name() const { return m_name; }
  Connection& connection() const { return m_connection; }

  bool isOpen() const { return m_open; }
  void close();
  void setSql(std::string sqlServerText);
  const std::string& sql() const { return m_sql; }
  // Opens the connection first when it is closed.
  void open();

  // Reading results.
  bool eof() const;
  void next();
  const std::vector<FieldDef>& fields() const { return m_fields; }
  // Index of a column, without regard to letter case; throws
  // "<query name>: Field '<name>' not found".
  std::size_t fieldIndex(std::string_view name) const;
  // The current row's column (or the appended record's) as text; NULL gives "".
  std::string fieldAsText(std::string_view name) const;
  // The current row's column (or the appended record's) as the store gave it.
  const Value& fieldValue(std::string_view name) const;

  // Appending a record.
  void append();
  bool inInsertState() const { return m_inserting; }
  void cancel();
  void setText(std::string_view field, std::string_view text);
  void setInteger(std::string_view field, std::int64_t value);
  void setDouble(std::string_view field, double value);
  void setDateTime(std::string_view field, const vip::DateTime& value);
  // Inserts the columns that received a value, committed by itself; the
  // identity column then holds the number the store assigned.
  void post();
  // Columns whose text was cut to the declared length in the last posted record.
  const std::vector<std::string>& truncatedColumns() const { return m_truncated; }

 private:
  void requireInsertState(std::string_view field) const;
  // Converts a value for the named column of the appended record and
  // assigns it: convert(const FieldDef&, bool& cut) returns the store value.
  template <typename Convert>
  void setConverted(std::string_view field, Convert convert);
  void assign(std::size_t index, Value value);
  void noteCut(std::size_t index, bool cut);

  Connection& m_connection;
  std::string m_name;
  FormatSettings m_settings;
  std::string m_sql;
  std::string m_table;  // set when opened on an empty select of a table
  bool m_open = false;
  std::vector<FieldDef> m_fields;
  std::vector<std::vector<Value>> m_rows;
  std::size_t m_row = 0;
  bool m_inserting = false;
  std::vector<Value> m_record;
  std::vector<bool> m_assigned;
  std::vector<std::string> m_pendingCuts;
  std::vector<std::string> m_truncated;
};

}  // namespace vip::store
