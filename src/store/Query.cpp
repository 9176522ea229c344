#include "store/Query.h"

#include <algorithm>

#include "common/AsciiCase.h"
#include "store/FieldConvert.h"
#include "store/StatementMap.h"
#include "store/StoreError.h"

namespace vip::store {

namespace {

const Value kNull{};

}  // namespace

Query::Query(Connection& connection, std::string name, const FormatSettings& settings)
    : m_connection(connection), m_name(std::move(name)), m_settings(settings) {}

void Query::close() {
  m_open = false;
  m_table.clear();
  m_fields.clear();
  m_rows.clear();
  m_row = 0;
  m_inserting = false;
  m_record.clear();
  m_assigned.clear();
  m_pendingCuts.clear();
}

void Query::setSql(std::string sqlServerText) {
  // A new statement closes the result of the old one.
  if (m_open) close();
  m_sql = std::move(sqlServerText);
}

void Query::open() {
  if (m_open) return;
  Backend& backend = m_connection.backend();
  const RecognisedStatement statement = recogniseStatement(m_sql);
  if (statement.kind == RecognisedStatement::Kind::SelectEmpty) {
    m_fields = backend.describeTable(statement.table);
    m_rows.clear();
    m_table = statement.table;
  } else {
    ResultSet result = backend.query(m_sql);
    m_fields = std::move(result.columns);
    m_rows = std::move(result.rows);
    m_table.clear();
  }
  m_row = 0;
  m_open = true;
}

bool Query::eof() const {
  return !m_open || m_row >= m_rows.size();
}

void Query::next() {
  if (m_open && m_row < m_rows.size()) ++m_row;
}

std::size_t Query::fieldIndex(std::string_view name) const {
  for (std::size_t i = 0; i < m_fields.size(); ++i) {
    if (equalsIgnoringCase(m_fields[i].name, name)) return i;
  }
  throw StoreError(m_name + ": Field '" + std::string(name) + "' not found");
}

const Value& Query::fieldValue(std::string_view name) const {
  const std::size_t index = fieldIndex(name);
  if (m_inserting) return m_record[index];
  if (m_row < m_rows.size() && index < m_rows[m_row].size()) return m_rows[m_row][index];
  return kNull;
}

std::string Query::fieldAsText(std::string_view name) const {
  return valueToText(fieldValue(name), m_settings);
}

void Query::append() {
  if (!m_open) throw StoreError(m_name + ": Cannot perform this operation on a closed dataset");
  if (m_table.empty()) throw StoreError(m_name + ": Cannot modify a read-only dataset");
  // A record still pending is saved when it holds a value and dropped when
  // it holds none, as a dataset does before it appends again.
  if (m_inserting) {
    if (std::find(m_assigned.begin(), m_assigned.end(), true) != m_assigned.end())
      post();
    else
      cancel();
  }
  m_record.assign(m_fields.size(), Value{});
  m_assigned.assign(m_fields.size(), false);
  m_pendingCuts.clear();
  m_inserting = true;
}

void Query::cancel() {
  m_inserting = false;
  m_record.clear();
  m_assigned.clear();
  m_pendingCuts.clear();
}

void Query::requireInsertState(std::string_view field) const {
  (void)field;
  if (!m_inserting) throw StoreError(m_name + ": Dataset not in edit or insert mode");
}

void Query::assign(std::size_t index, Value value) {
  const FieldDef& field = m_fields[index];
  if (!field.writable) throw StoreError("Field '" + field.name + "' cannot be modified");
  m_record[index] = std::move(value);
  m_assigned[index] = true;
}

void Query::noteCut(std::size_t index, bool cut) {
  const std::string& name = m_fields[index].name;
  const auto it = std::find(m_pendingCuts.begin(), m_pendingCuts.end(), name);
  if (cut && it == m_pendingCuts.end()) m_pendingCuts.push_back(name);
  if (!cut && it != m_pendingCuts.end()) m_pendingCuts.erase(it);
}

template <typename Convert>
void Query::setConverted(std::string_view field, Convert convert) {
  const std::size_t index = fieldIndex(field);
  requireInsertState(field);
  bool cut = false;
  Value value = convert(m_fields[index], cut);
  assign(index, std::move(value));
  noteCut(index, cut);
}

void Query::setText(std::string_view field, std::string_view text) {
  setConverted(field, [&](const FieldDef& column, bool& cut) {
    return textToValue(column, text, m_settings, cut);
  });
}

void Query::setInteger(std::string_view field, std::int64_t value) {
  setConverted(field, [&](const FieldDef& column, bool&) { return integerToValue(column, value); });
}

void Query::setDouble(std::string_view field, double value) {
  setConverted(field, [&](const FieldDef& column, bool& cut) {
    return doubleToValue(column, value, m_settings, cut);
  });
}

void Query::setDateTime(std::string_view field, const vip::DateTime& value) {
  setConverted(field, [&](const FieldDef& column, bool& cut) {
    return dateTimeToValue(column, value, m_settings, cut);
  });
}

void Query::post() {
  requireInsertState({});
  std::vector<const FieldDef*> columns;
  std::vector<Value> values;
  for (std::size_t i = 0; i < m_fields.size(); ++i) {
    if (!m_assigned[i]) continue;
    columns.push_back(&m_fields[i]);
    values.push_back(m_record[i]);
  }
  // On failure the record stays pending; the caller cancels it.
  const std::optional<std::int64_t> identity =
      m_connection.backend().insert(m_table, columns, values);
  if (identity) {
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
      if (m_fields[i].identity) m_record[i] = *identity;
    }
  }
  m_truncated = std::move(m_pendingCuts);
  m_pendingCuts.clear();
  // The saved record stays the current one, so its columns (the number the
  // store gave it) can be read back.
  m_rows.assign(1, std::move(m_record));
  m_row = 0;
  m_record.clear();
  m_assigned.clear();
  m_inserting = false;
}

}  // namespace vip::store
