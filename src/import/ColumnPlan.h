#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "import/TitleRow.h"
#include "store/Query.h"

namespace vip::import {

// Which store column each sheet column feeds, fixed for a phase once the
// title row is read and the target opened: the title's entry in the column
// table (the first equal title wins) and that entry's field in the target.
class ColumnPlan {
 public:
  struct Column {
    std::size_t entry = 0;             // in the column table
    std::optional<std::size_t> field;  // in the target's fields; none: the store lacks it
  };

  ColumnPlan(const TitleRow& titles, std::span<const std::string_view> tableTitles,
             std::span<const std::string_view> tableFields, const store::Query& target);

  // The column a title slot feeds; nullptr for a title in no entry (and for
  // a column without a title). Throws the failure of a title that could not
  // be read, as reading it would.
  const Column* at(std::size_t slot) const;

 private:
  const TitleRow& m_titles;
  std::vector<std::optional<Column>> m_columns;  // by slot
};

// The first entry whose title equals `title` byte for byte (case and blanks
// count, nothing is trimmed); nothing when no title matches.
std::optional<std::size_t> findTitle(std::span<const std::string_view> titles,
                                     std::string_view title);

}  // namespace vip::import
