#include "import/OpeningBalance.h"

#include "common/DateTime.h"
#include "import/TruncationLog.h"
#include "store/SerialNo.h"
#include "store/StatementMap.h"

namespace vip::import {

OpeningBalance::OpeningBalance(Operator& op, store::Query& qryDetail, const std::string& sysDate)
    : m_operator(op), m_qryDetail(qryDetail), m_sysDate(sysDate) {}

void OpeningBalance::write(int row, const std::string& memberNo, double principal, double gift) {
  if (principal > 0) writeEntry(row, Kind::Principal, memberNo, principal);
  if (gift > 0) writeEntry(row, Kind::Gift, memberNo, gift);
}

void OpeningBalance::writeEntry(int row, Kind kind, const std::string& memberNo, double amount) {
  // Reopening also drops a record left pending by an entry that failed.
  m_qryDetail.close();
  m_qryDetail.setSql(store::selectEmptyStatement("VIPCardDetail"));
  m_qryDetail.open();
  m_qryDetail.append();
  store::AssignAutoSerialNo("VIPCardDetail", "VCD_ID", &m_qryDetail);
  const bool gift = kind == Kind::Gift;
  m_qryDetail.setText("VCM_ID", memberNo);
  m_qryDetail.setText("VCD_Flag", gift ? "F" : "C");
  m_qryDetail.setText("VCD_SysDate", m_sysDate);
  m_qryDetail.setDateTime("VCD_DateTime", localNow());
  m_qryDetail.setText("VCD_Descript", gift ? "初始化赠送余额" : "初始化本金余额");
  m_qryDetail.setDouble("VCD_CRMoney", amount);
  m_qryDetail.setDouble("VCD_Balance", amount);
  m_qryDetail.setText("VCD_ClerkName", "系统");
  if (gift) {
    m_qryDetail.setDouble("VCD_KaZengBalance", amount);
    m_qryDetail.setText("VCD_KaZengBeginDate", m_sysDate);
    m_qryDetail.setText("VCD_KaZengEndDate", "9999-12-31");
  }
  m_qryDetail.post();
  logTruncations(m_operator, row, m_qryDetail);
}

}  // namespace vip::import
