#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "common/FormatSettings.h"
#include "import/ColumnPlan.h"
#include "import/OpeningBalance.h"
#include "import/Operator.h"
#include "import/RowImporter.h"
#include "import/TitleRow.h"
#include "store/Query.h"

namespace vip::import {

// The data rows of the member workbook into VipCardMaster records, each into
// the record qryInsert has just appended: its number from the counter table,
// the cells under known titles with their defaults and the sex code, the
// total balance a second time in Base64, the save, then the opening-balance
// entries.
class MemberRow final : public RowImporter {
 public:
  // `qryInsert` is open on VipCardMaster.
  MemberRow(Operator& op, store::Query& qryInsert, const TitleRow& titles,
            OpeningBalance& openingBalance, const FormatSettings& settings);

  // Fills and saves the record and its entries; throws the row's first
  // failure (after the save, the member record stays).
  void import(int row) override;
  std::optional<std::string> savedRecord() const override { return m_saved; }

 private:
  // What a member column does beyond taking its text.
  enum class Role { Plain, Sex, CreateDate, Balance, Principal, Gift };
  struct Amounts {
    double principal = 0;
    double gift = 0;
  };
  void writeColumn(const ColumnPlan::Column& column, std::string_view value, Amounts& amounts);
  std::size_t fieldOf(const ColumnPlan::Column& column) const;

  Operator& m_operator;
  store::Query& m_qryInsert;
  const TitleRow& m_titles;
  OpeningBalance& m_openingBalance;
  const FormatSettings& m_settings;
  ColumnPlan m_plan;
  std::vector<Role> m_roles;              // by entry of the member column table
  std::optional<std::size_t> m_balanceE;  // VCM_BalanceE
  std::optional<std::string> m_saved;     // the member number once saved
};

}  // namespace vip::import
