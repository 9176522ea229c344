#include "store/InsertCache.h"

namespace vip::store {

std::string insertText(std::string_view table, const std::vector<const FieldDef*>& columns,
                       const std::function<std::string(std::string_view)>& quote) {
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
  return sql + " (" + names + ") VALUES (" + marks + ")";
}

}  // namespace vip::store
