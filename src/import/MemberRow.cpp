#include "import/MemberRow.h"

#include <string>

#include "common/DateTime.h"
#include "import/BalanceFormat.h"
#include "import/Base64.h"
#include "import/ColumnTables.h"
#include "import/TruncationLog.h"
#include "store/SerialNo.h"

namespace vip::import {

MemberRow::MemberRow(Operator& op, store::Query& qryInsert, const TitleRow& titles,
                     OpeningBalance& openingBalance, const FormatSettings& settings)
    : m_operator(op),
      m_qryInsert(qryInsert),
      m_titles(titles),
      m_openingBalance(openingBalance),
      m_settings(settings),
      m_plan(titles, VipMasterTitles, VipMasterFields, qryInsert),
      m_balanceE(qryInsert.findField("VCM_BalanceE")) {
  for (const std::string_view field : VipMasterFields) {
    m_roles.push_back(field == "VCM_Sex"            ? Role::Sex
                      : field == "VCM_CreateDate"   ? Role::CreateDate
                      : field == "VCM_Balance"      ? Role::Balance
                      : field == "VCM_BalancePayed" ? Role::Principal
                      : field == "VCM_BalanceFree"  ? Role::Gift
                                                    : Role::Plain);
  }
}

void MemberRow::import(int row) {
  m_saved.reset();
  store::AssignAutoSerialNo("VIPCardMaster", "VCM_ID", &m_qryInsert);
  Amounts amounts;
  m_titles.forEachColumn(row, [&](std::size_t slot, std::string_view value) {
    if (const ColumnPlan::Column* column = m_plan.at(slot)) writeColumn(*column, value, amounts);
  });
  m_qryInsert.post();
  // The member number is read back from the saved record: where the store
  // numbers members itself the number exists only now, and the entries must
  // carry it rather than an empty text.
  const std::string memberNo = m_qryInsert.fieldAsText("VCM_ID");
  m_saved = memberNo;
  logTruncations(m_operator, row, m_qryInsert);
  if (amounts.principal > 0 || amounts.gift > 0) {
    m_openingBalance.write(row, memberNo, amounts.principal, amounts.gift);
  }
}

std::size_t MemberRow::fieldOf(const ColumnPlan::Column& column) const {
  if (!column.field) m_qryInsert.throwFieldNotFound(VipMasterFields[column.entry]);
  return *column.field;
}

void MemberRow::writeColumn(const ColumnPlan::Column& column, std::string_view value,
                            Amounts& amounts) {
  const Role role = m_roles[column.entry];
  // What an empty cell of a known member column becomes.
  std::string today;
  std::string_view text = value;
  if (text.empty()) {
    if (role == Role::CreateDate) {
      today = todayText();
      text = today;
    } else if (role != Role::Plain) {
      text = "0";
    }
  }
  // "女" is the only text that codes a woman; anything else is stored as a man.
  if (role == Role::Sex) text = text == "女" ? "1" : "0";
  // The text goes into its column first, so a column that refuses it fails
  // the row with the column's own message before the number is read.
  m_qryInsert.setText(fieldOf(column), text);
  const char separator = m_settings.decimalSeparator;
  if (role == Role::Balance) {
    if (!m_balanceE) m_qryInsert.throwFieldNotFound("VCM_BalanceE");
    m_qryInsert.setText(*m_balanceE, EncodeBase64(formatBalance(text, separator)));
  } else if (role == Role::Principal) {
    amounts.principal = readAmount(text, separator);
  } else if (role == Role::Gift) {
    amounts.gift = readAmount(text, separator);
  }
}

}  // namespace vip::import
