#include "import/OpeningBalance.h"

#include "common/DateTime.h"
#include "import/TruncationLog.h"
#include "store/SerialNo.h"

namespace vip::import {

namespace {

constexpr const char* kFieldNames[] = {
    "VCM_ID",
    "VCD_Flag",
    "VCD_SysDate",
    "VCD_DateTime",
    "VCD_Descript",
    "VCD_CRMoney",
    "VCD_Balance",
    "VCD_ClerkName",
    "VCD_KaZengBalance",
    "VCD_KaZengBeginDate",
    "VCD_KaZengEndDate",
};

}  // namespace

OpeningBalance::OpeningBalance(Operator& op, store::Query& qryDetail, const std::string& sysDate)
    : m_operator(op), m_qryDetail(qryDetail), m_sysDate(sysDate) {}

void OpeningBalance::write(int row, const std::string& memberNo, double principal, double gift) {
  if (principal > 0) writeEntry(row, Kind::Principal, memberNo, principal);
  if (gift > 0) writeEntry(row, Kind::Gift, memberNo, gift);
}

std::size_t OpeningBalance::field(Column column) {
  if (m_resolvedFor != m_qryDetail.sharedFields()) {
    m_resolvedFor = m_qryDetail.sharedFields();
    for (std::size_t i = 0; i < m_fields.size(); ++i)
      m_fields[i] = m_qryDetail.findField(kFieldNames[i]);
  }
  if (!m_fields[column]) m_qryDetail.throwFieldNotFound(kFieldNames[column]);
  return *m_fields[column];
}

void OpeningBalance::writeEntry(int row, Kind kind, const std::string& memberNo, double amount) {
  // Reopening also drops a record left pending by an entry that failed.
  m_qryDetail.close();
  m_qryDetail.setSql(store::Statement::selectEmpty("VIPCardDetail"));
  m_qryDetail.open();
  m_qryDetail.append();
  store::AssignAutoSerialNo("VIPCardDetail", "VCD_ID", &m_qryDetail);
  const bool gift = kind == Kind::Gift;
  m_qryDetail.setText(field(kMemberId), memberNo);
  m_qryDetail.setText(field(kFlag), gift ? "F" : "C");
  m_qryDetail.setText(field(kSysDate), m_sysDate);
  m_qryDetail.setDateTime(field(kDateTime), localNow());
  m_qryDetail.setText(field(kDescript), gift ? "初始化赠送余额" : "初始化本金余额");
  m_qryDetail.setDouble(field(kCrMoney), amount);
  m_qryDetail.setDouble(field(kBalance), amount);
  m_qryDetail.setText(field(kClerkName), "系统");
  if (gift) {
    m_qryDetail.setDouble(field(kKaZengBalance), amount);
    m_qryDetail.setText(field(kKaZengBeginDate), m_sysDate);
    m_qryDetail.setText(field(kKaZengEndDate), "9999-12-31");
  }
  m_qryDetail.post();
  logTruncations(m_operator, row, m_qryDetail);
}

}  // namespace vip::import
