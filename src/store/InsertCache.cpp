#include "store/InsertCache.h"

namespace vip::store {

std::string insertText(std::string_view table, const std::vector<const FieldDef*>& columns,
                       const std::function<std::string(std::string_view)>& quote,
                       std::size_t rows) {
  std::string sql = "INSERT INTO " + std::string(table);
  if (columns.empty()) return sql + " DEFAULT VALUES";
  std::string names;
  std::string marks;
  for (const FieldDef* column : columns) {
    if (!names.empty()) {
      names += ',';
      marks += ',';
    }
    names += quote(column->name);
    marks += '?';
  }
  std::string values;
  values.reserve(rows * (marks.size() + 3));
  for (std::size_t row = 0; row < rows; ++row) {
    if (row != 0) values += ',';
    values += '(';
    values += marks;
    values += ')';
  }
  return sql + " (" + names + ") VALUES " + values;
}

}  // namespace vip::store
