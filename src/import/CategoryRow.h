#pragma once

#include <array>
#include <optional>

#include "import/ColumnPlan.h"
#include "import/Operator.h"
#include "import/RowImporter.h"
#include "import/TitleRow.h"
#include "store/Query.h"

namespace vip::import {

// The data rows of the category workbook into VipCardType records, each
// into the record qryInsert has just appended: the cells under known titles,
// the three price IDs set to 1, then the save.
class CategoryRow final : public RowImporter {
 public:
  // `qryInsert` is open on VipCardType.
  CategoryRow(Operator& op, store::Query& qryInsert, const TitleRow& titles);

  // Fills and saves the appended record; throws the row's first failure.
  void import(int row) override;

 private:
  Operator& m_operator;
  store::Query& m_qryInsert;
  const TitleRow& m_titles;
  ColumnPlan m_plan;
  std::array<std::optional<std::size_t>, 3> m_priceIds;
};

}  // namespace vip::import
