#pragma once

#include "import/Operator.h"
#include "import/TitleRow.h"
#include "store/Query.h"

namespace vip::import {

// One data row of the category workbook into the VipCardType record that
// qryInsert has just appended: the cells under known titles, the three price
// IDs set to 1, then the save.
class CategoryRow {
 public:
  CategoryRow(Operator& op, store::Query& qryInsert, const TitleRow& titles);

  // Fills and saves the appended record; throws the row's first failure.
  void import(int row);

 private:
  Operator& m_operator;
  store::Query& m_qryInsert;
  const TitleRow& m_titles;
};

}  // namespace vip::import
