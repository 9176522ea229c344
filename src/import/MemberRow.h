#pragma once

#include <string>

#include "common/FormatSettings.h"
#include "import/OpeningBalance.h"
#include "import/Operator.h"
#include "import/TitleRow.h"
#include "store/Query.h"

namespace vip::import {

// One data row of the member workbook into the VipCardMaster record that
// qryInsert has just appended: its number from the counter table, the cells
// under known titles with their defaults and the sex code, the total balance
// a second time in Base64, the save, then the opening-balance entries.
class MemberRow {
 public:
  MemberRow(Operator& op, store::Query& qryInsert, const TitleRow& titles,
            OpeningBalance& openingBalance, const FormatSettings& settings);

  // Fills and saves the record and its entries; throws the row's first
  // failure (after the save, the member record stays).
  void import(int row);

 private:
  struct Amounts {
    double principal = 0;
    double gift = 0;
  };
  void writeColumn(std::string_view field, std::string text, Amounts& amounts);

  Operator& m_operator;
  store::Query& m_qryInsert;
  const TitleRow& m_titles;
  OpeningBalance& m_openingBalance;
  const FormatSettings& m_settings;
};

}  // namespace vip::import
