#include "import/CategoryRow.h"

#include <string>

#include "import/ColumnTables.h"
#include "import/TruncationLog.h"

namespace vip::import {

namespace {

// Every category gets price list 1 for the rooms, the bar and the shop.
constexpr const char* kPriceIdFields[] = {"VCT_BaoFangPriceID", "VCT_JiuBaPriceID",
                                          "VCT_ChaoShiPriceID"};

}  // namespace

CategoryRow::CategoryRow(Operator& op, store::Query& qryInsert, const TitleRow& titles)
    : m_operator(op), m_qryInsert(qryInsert), m_titles(titles) {}

void CategoryRow::import(int row) {
  m_titles.forEachColumn(row, [&](const std::string& title, const std::string& value) {
    // An empty cell leaves the column to the store's default.
    if (value.empty()) return;
    if (auto entry = findTitle(VipTypeTitles, title)) {
      m_qryInsert.setText(VipTypeFields[*entry], value);
    }
  });
  for (const char* field : kPriceIdFields)
    m_qryInsert.setInteger(field, 1);
  m_qryInsert.post();
  logTruncations(m_operator, row, m_qryInsert);
}

}  // namespace vip::import
