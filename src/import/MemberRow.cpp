#include "import/MemberRow.h"

#include "common/DateTime.h"
#include "import/BalanceFormat.h"
#include "import/Base64.h"
#include "import/ColumnTables.h"
#include "import/TruncationLog.h"
#include "store/SerialNo.h"

namespace vip::import {

namespace {

// What an empty cell of a known member column becomes.
std::string emptyCellDefault(std::string_view field) {
  if (field == "VCM_Sex" || field == "VCM_Balance" || field == "VCM_BalancePayed" ||
      field == "VCM_BalanceFree") {
    return "0";
  }
  if (field == "VCM_CreateDate") return todayText();
  return {};
}

// "女" is the only text that codes a woman; anything else is stored as a man.
std::string sexCode(const std::string& text) {
  return text == "女" ? "1" : "0";
}

}  // namespace

MemberRow::MemberRow(Operator& op, store::Query& qryInsert, const TitleRow& titles,
                     OpeningBalance& openingBalance, const FormatSettings& settings)
    : m_operator(op),
      m_qryInsert(qryInsert),
      m_titles(titles),
      m_openingBalance(openingBalance),
      m_settings(settings) {}

void MemberRow::import(int row) {
  store::AssignAutoSerialNo("VIPCardMaster", "VCM_ID", &m_qryInsert);
  Amounts amounts;
  m_titles.forEachColumn(row, [&](const std::string& title, const std::string& value) {
    if (auto entry = findTitle(VipMasterTitles, title)) {
      writeColumn(VipMasterFields[*entry], value, amounts);
    }
  });
  m_qryInsert.post();
  // The member number is read back from the saved record: where the store
  // numbers members itself the number exists only now, and the entries must
  // carry it rather than an empty text.
  const std::string memberNo = m_qryInsert.fieldAsText("VCM_ID");
  logTruncations(m_operator, row, m_qryInsert);
  if (amounts.principal > 0 || amounts.gift > 0) {
    m_openingBalance.write(row, memberNo, amounts.principal, amounts.gift);
  }
}

void MemberRow::writeColumn(std::string_view field, std::string text, Amounts& amounts) {
  if (text.empty()) text = emptyCellDefault(field);
  if (field == "VCM_Sex") text = sexCode(text);
  // The text goes into its column first, so a column that refuses it fails
  // the row with the column's own message before the number is read.
  m_qryInsert.setText(field, text);
  const char separator = m_settings.decimalSeparator;
  if (field == "VCM_Balance") {
    m_qryInsert.setText("VCM_BalanceE", EncodeBase64(formatBalance(text, separator)));
  } else if (field == "VCM_BalancePayed") {
    amounts.principal = readAmount(text, separator);
  } else if (field == "VCM_BalanceFree") {
    amounts.gift = readAmount(text, separator);
  }
}

}  // namespace vip::import
