#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/Value.h"

namespace vip::store {

// "INSERT INTO t (a,b) VALUES (?,?)", or "INSERT INTO t DEFAULT VALUES" for
// no columns: the table as given, the column names as `quote` writes them;
// `rows` groups of markers for a multi-row insert.
std::string insertText(std::string_view table, const std::vector<const FieldDef*>& columns,
                       const std::function<std::string(std::string_view)>& quote,
                       std::size_t rows = 1);

// The INSERTs a backend has prepared, one per table and set of columns: a
// phase sends the same columns record after record, so each is prepared
// once and found again by its column names.
template <typename Prepared>
class InsertCache {
 public:
  // The statement for these columns, made by prepare() (a unique_ptr of
  // it) the first time.
  template <typename Prepare>
  Prepared& get(const std::string& table, const std::vector<const FieldDef*>& columns,
                Prepare&& prepare) {
    for (Entry& entry : m_entries) {
      if (entry.table == table && sameColumns(entry.columns, columns)) return *entry.prepared;
    }
    std::vector<std::string> names;
    for (const FieldDef* column : columns)
      names.push_back(column->name);
    Entry& entry = m_entries.emplace_back(Entry{table, std::move(names), nullptr});
    entry.prepared = prepare();
    return *entry.prepared;
  }

  void clear() { m_entries.clear(); }

 private:
  struct Entry {
    std::string table;
    std::vector<std::string> columns;
    std::unique_ptr<Prepared> prepared;
  };

  static bool sameColumns(const std::vector<std::string>& names,
                          const std::vector<const FieldDef*>& columns) {
    if (names.size() != columns.size()) return false;
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (names[i] != columns[i]->name) return false;
    }
    return true;
  }

  std::vector<Entry> m_entries;
};

}  // namespace vip::store
