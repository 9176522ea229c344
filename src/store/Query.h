#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/FormatSettings.h"
#include "store/Connection.h"
#include "store/Statement.h"
#include "store/Value.h"

namespace vip::store {

// A dataset on the store connection (qryTmp, qryInsert, qryDetail): opened
// on a statement it holds the result rows; opened on an empty select of a
// table it describes the table's columns and can append and post one record
// at a time.
class Query {
 public:
  Query(Connection& connection, std::string name,
        const FormatSettings& settings = defaultFormatSettings());

  const std::string& name() const { return m_name; }
  Connection& connection() const { return m_connection; }

  bool isOpen() const { return m_open; }
  void close();
  // A new statement closes the result of the old one.
  void setSql(Statement statement);
  const Statement& sql() const { return m_sql; }
  // Opens the connection first when it is closed.
  void open();

  // Reading results.
  bool eof() const;
  void next();
  const std::vector<FieldDef>& fields() const { return *m_fields; }
  // The same description as every query opened on the table shares it: a
  // caller that resolved names against it may keep its indices while it is
  // the same.
  const TableColumns& sharedFields() const { return m_fields; }
  // Index of a column, without regard to letter case.
  std::optional<std::size_t> findField(std::string_view name) const;
  // The same, throwing "<query name>: Field '<name>' not found".
  std::size_t fieldIndex(std::string_view name) const;
  [[noreturn]] void throwFieldNotFound(std::string_view name) const;
  // The current row's column (or the appended record's) as text; NULL gives "".
  std::string fieldAsText(std::string_view name) const;
  // The current row's column as a 32-bit integer; NULL, a fraction or a
  // number beyond the range throws.
  std::int32_t fieldAsInt32(std::string_view name) const;
  // The current row's column (or the appended record's) as the store gave it.
  const Value& fieldValue(std::string_view name) const;

  // Appending a record. Columns are named, or given by their index in
  // fields() where a caller has resolved the names once.
  void append();
  bool inInsertState() const { return m_inserting; }
  void cancel();
  void setText(std::size_t field, std::string_view text);
  void setInteger(std::size_t field, std::int64_t value);
  void setDouble(std::size_t field, double value);
  void setDateTime(std::size_t field, const vip::DateTime& value);
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
  void requireInsertState() const;
  // Converts a value for a column of the appended record and assigns it:
  // convert(const FieldDef&, bool& cut) returns the store value.
  template <typename Convert>
  void setConverted(std::size_t field, Convert convert);
  void noteCut(std::size_t index, bool cut);
  const Value& currentValue(std::size_t index) const;

  Connection& m_connection;
  std::string m_name;
  FormatSettings m_settings;
  Statement m_sql = Statement::text({});
  bool m_open = false;
  bool m_describesTable = false;  // opened on an empty select: records can be appended
  std::shared_ptr<const std::vector<FieldDef>> m_fields;
  std::vector<std::vector<Value>> m_rows;
  std::size_t m_row = 0;
  bool m_inserting = false;
  std::vector<Value> m_record;
  std::vector<bool> m_assigned;
  std::vector<std::size_t> m_pendingCuts;
  std::vector<std::string> m_truncated;
};

}  // namespace vip::store
