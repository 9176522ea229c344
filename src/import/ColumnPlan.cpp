#include "import/ColumnPlan.h"

namespace vip::import {

std::optional<std::size_t> findTitle(std::span<const std::string_view> titles,
                                     std::string_view title) {
  for (std::size_t i = 0; i < titles.size(); ++i) {
    if (titles[i] == title) return i;
  }
  return std::nullopt;
}

ColumnPlan::ColumnPlan(const TitleRow& titles, std::span<const std::string_view> tableTitles,
                       std::span<const std::string_view> tableFields, const store::Query& target)
    : m_titles(titles), m_columns(titles.size()) {
  for (std::size_t slot = 0; slot < titles.size(); ++slot) {
    std::optional<std::size_t> entry;
    try {
      entry = findTitle(tableTitles, titles.text(slot));
    } catch (...) {
      continue;  // at() throws the title's own failure
    }
    if (entry) m_columns[slot] = Column{*entry, target.findField(tableFields[*entry])};
  }
}

const ColumnPlan::Column* ColumnPlan::at(std::size_t slot) const {
  if (slot >= m_columns.size()) return nullptr;
  if (!m_columns[slot]) {
    (void)m_titles.text(slot);  // a title that could not be read throws here
    return nullptr;
  }
  return &*m_columns[slot];
}

}  // namespace vip::import
