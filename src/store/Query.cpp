#include "store/Query.h"

#include <algorithm>
#include <limits>

#include "common/AsciiCase.h"
#include "store/FieldConvert.h"
#include "store/StoreError.h"

namespace vip::store {

namespace {

const Value kNull{};

TableColumns noColumns() {
  static const TableColumns none = std::make_shared<const std::vector<FieldDef>>();
  return none;
}

// The one row the allocation batch gives: ASN_NO.
TableColumns counterColumns() {
  static const TableColumns columns = [] {
    FieldDef number;
    number.name = "ASN_NO";
    number.kind = FieldKind::Integer;
    return std::make_shared<const std::vector<FieldDef>>(std::vector<FieldDef>{number});
  }();
  return columns;
}

}  // namespace

Query::Query(Connection& connection, std::string name, const FormatSettings& settings)
    : m_connection(connection),
      m_name(std::move(name)),
      m_settings(settings),
      m_fields(noColumns()) {}

void Query::close() {
  m_open = false;
  m_describesTable = false;
  m_fields = noColumns();
  m_rows.clear();
  m_row = 0;
  m_inserting = false;
  m_record.clear();
  m_assigned.clear();
  m_pendingCuts.clear();
}

void Query::setSql(Statement statement) {
  if (m_open) close();
  m_sql = std::move(statement);
}

void Query::open() {
  if (m_open) return;
  Backend& backend = m_connection.backend();
  m_rows.clear();
  m_describesTable = false;
  switch (m_sql.intent()) {
    case Statement::Intent::SelectEmpty:
      m_fields = backend.describeTable(m_sql.table());
      m_describesTable = true;
      break;
    case Statement::Intent::IdentityTest:
      // The catalogue gives a row for an identity column and none otherwise.
      m_fields = noColumns();
      if (backend.isIdentity(m_sql.table(), m_sql.column())) m_rows.emplace_back();
      break;
    case Statement::Intent::Allocation:
      m_fields = counterColumns();
      m_rows.push_back({Value{std::int64_t{backend.allocate(m_sql.table(), m_sql.column())}}});
      break;
    case Statement::Intent::BusinessDate:
    case Statement::Intent::Text: {
      ResultSet result = backend.query(m_sql);
      m_fields = std::make_shared<const std::vector<FieldDef>>(std::move(result.columns));
      m_rows = std::move(result.rows);
      break;
    }
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

std::optional<std::size_t> Query::findField(std::string_view name) const {
  const std::vector<FieldDef>& fields = *m_fields;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (equalsIgnoringCase(fields[i].name, name)) return i;
  }
  return std::nullopt;
}

void Query::throwFieldNotFound(std::string_view name) const {
  throw StoreError(m_name + ": Field '" + std::string(name) + "' not found");
}

std::size_t Query::fieldIndex(std::string_view name) const {
  const auto index = findField(name);
  if (!index) throwFieldNotFound(name);
  return *index;
}

const Value& Query::currentValue(std::size_t index) const {
  if (m_inserting) return m_record[index];
  if (m_row < m_rows.size() && index < m_rows[m_row].size()) return m_rows[m_row][index];
  return kNull;
}

const Value& Query::fieldValue(std::string_view name) const {
  return currentValue(fieldIndex(name));
}

std::string Query::fieldAsText(std::string_view name) const {
  return valueToText(fieldValue(name), m_settings);
}

std::int32_t Query::fieldAsInt32(std::string_view name) const {
  const std::size_t index = fieldIndex(name);
  const Value& value = currentValue(index);
  const std::string& field = (*m_fields)[index].name;
  const auto* integer = std::get_if<std::int64_t>(&value);
  if (integer == nullptr) {
    throw StoreError(m_name + ": Field '" + field + "' holds no integer value");
  }
  if (*integer < std::numeric_limits<std::int32_t>::min() ||
      *integer > std::numeric_limits<std::int32_t>::max()) {
    throw StoreError(m_name + ": Field '" + field + "' holds " + std::to_string(*integer) +
                     ", beyond the 32-bit integer range");
  }
  return static_cast<std::int32_t>(*integer);
}

void Query::append() {
  if (!m_open) throw StoreError(m_name + ": Cannot perform this operation on a closed dataset");
  if (!m_describesTable) throw StoreError(m_name + ": Cannot modify a read-only dataset");
  // A record still pending is saved when it holds a value and dropped when
  // it holds none, as a dataset does before it appends again.
  if (m_inserting) {
    if (std::find(m_assigned.begin(), m_assigned.end(), true) != m_assigned.end())
      post();
    else
      cancel();
  }
  m_record.assign(m_fields->size(), Value{});
  m_assigned.assign(m_fields->size(), false);
  m_pendingCuts.clear();
  m_inserting = true;
}

void Query::cancel() {
  m_inserting = false;
  m_record.clear();
  m_assigned.clear();
  m_pendingCuts.clear();
}

void Query::requireInsertState() const {
  if (!m_inserting) throw StoreError(m_name + ": Dataset not in edit or insert mode");
}

void Query::noteCut(std::size_t index, bool cut) {
  const auto it = std::find(m_pendingCuts.begin(), m_pendingCuts.end(), index);
  if (cut && it == m_pendingCuts.end()) m_pendingCuts.push_back(index);
  if (!cut && it != m_pendingCuts.end()) m_pendingCuts.erase(it);
}

template <typename Convert>
void Query::setConverted(std::size_t index, Convert convert) {
  requireInsertState();
  const FieldDef& field = (*m_fields)[index];
  bool cut = false;
  Value value = convert(field, cut);
  m_record[index] = std::move(value);
  m_assigned[index] = true;
  noteCut(index, cut);
}

void Query::setText(std::size_t field, std::string_view text) {
  setConverted(field, [&](const FieldDef& column, bool& cut) {
    return textToValue(column, text, m_settings, cut);
  });
}

void Query::setInteger(std::size_t field, std::int64_t value) {
  setConverted(field, [&](const FieldDef& column, bool&) { return integerToValue(column, value); });
}

void Query::setDouble(std::size_t field, double value) {
  setConverted(field, [&](const FieldDef& column, bool& cut) {
    return doubleToValue(column, value, m_settings, cut);
  });
}

void Query::setDateTime(std::size_t field, const vip::DateTime& value) {
  setConverted(field, [&](const FieldDef& column, bool& cut) {
    return dateTimeToValue(column, value, m_settings, cut);
  });
}

void Query::setText(std::string_view field, std::string_view text) {
  setText(fieldIndex(field), text);
}

void Query::setInteger(std::string_view field, std::int64_t value) {
  setInteger(fieldIndex(field), value);
}

void Query::setDouble(std::string_view field, double value) {
  setDouble(fieldIndex(field), value);
}

void Query::setDateTime(std::string_view field, const vip::DateTime& value) {
  setDateTime(fieldIndex(field), value);
}

void Query::post() {
  requireInsertState();
  const std::vector<FieldDef>& fields = *m_fields;
  std::vector<const FieldDef*> columns;
  std::vector<Value> values;
  columns.reserve(fields.size());
  values.reserve(fields.size());
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (!m_assigned[i]) continue;
    columns.push_back(&fields[i]);
    values.push_back(std::move(m_record[i]));
  }
  std::optional<std::int64_t> identity;
  try {
    identity = m_connection.backend().insert(m_sql.table(), columns, values);
  } catch (...) {
    // The record stays pending as it was; the caller cancels it.
    std::size_t next = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (m_assigned[i]) m_record[i] = std::move(values[next++]);
    }
    throw;
  }
  std::size_t next = 0;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (m_assigned[i]) m_record[i] = std::move(values[next++]);
    if (identity && fields[i].identity) m_record[i] = *identity;
  }
  m_truncated.clear();
  for (const std::size_t index : m_pendingCuts)
    m_truncated.push_back(fields[index].name);
  m_pendingCuts.clear();
  // The saved record stays the current one, so its columns (the number the
  // store gave it) can be read back.
  m_rows.clear();
  m_rows.push_back(std::move(m_record));
  m_row = 0;
  m_record.clear();
  m_assigned.clear();
  m_inserting = false;
}

}  // namespace vip::store
