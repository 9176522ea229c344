#include "import/CategoryRow.h"

#include <array>
#include <string>
#include <string_view>

#include "import/ColumnTables.h"
#include "import/TruncationLog.h"

namespace vip::import {

namespace {

// Every category gets price list 1 for the rooms, the bar and the shop.
constexpr std::array<std::string_view, 3> kPriceIdFields = {
    "VCT_BaoFangPriceID", "VCT_JiuBaPriceID", "VCT_ChaoShiPriceID"};

}  // namespace

CategoryRow::CategoryRow(Operator& op, store::Query& qryInsert, const TitleRow& titles)
    : m_operator(op),
      m_qryInsert(qryInsert),
      m_titles(titles),
      m_plan(titles, VipTypeTitles, VipTypeFields, qryInsert) {
  for (std::size_t i = 0; i < kPriceIdFields.size(); ++i)
    m_priceIds.at(i) = qryInsert.findField(kPriceIdFields[i]);
}

void CategoryRow::import(int row) {
  m_titles.forEachColumn(row, [&](std::size_t slot, std::string_view value) {
    // An empty cell leaves the column to the store's default.
    if (value.empty()) return;
    if (const ColumnPlan::Column* column = m_plan.at(slot)) {
      if (!column->field) m_qryInsert.throwFieldNotFound(VipTypeFields[column->entry]);
      m_qryInsert.setText(*column->field, value);
    }
  });
  for (std::size_t i = 0; i < kPriceIdFields.size(); ++i) {
    const std::optional<std::size_t> field = m_priceIds.at(i);
    if (!field) m_qryInsert.throwFieldNotFound(kPriceIdFields[i]);
    m_qryInsert.setInteger(*field, 1);
  }
  m_qryInsert.post();
  logTruncations(m_operator, row, m_qryInsert);
}

}  // namespace vip::import
