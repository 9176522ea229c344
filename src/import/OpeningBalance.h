#pragma once

#include <array>
#include <optional>
#include <string>

#include "import/Operator.h"
#include "store/Query.h"

namespace vip::import {

// The opening-balance entries of a freshly saved member in VIPCardDetail: a
// "C" entry for the principal, an "F" entry for the gift, each numbered from
// the counter table and saved on its own through qryDetail.
class OpeningBalance {
 public:
  OpeningBalance(Operator& op, store::Query& qryDetail, const std::string& sysDate);

  // Writes the entries due (an amount strictly above 0); `row` is the sheet
  // row, for the truncation warnings. Throws the first failure.
  void write(int row, const std::string& memberNo, double principal, double gift);

 private:
  enum class Kind { Principal, Gift };
  // The entry's columns, in the order they are written.
  enum Column {
    kMemberId,
    kFlag,
    kSysDate,
    kDateTime,
    kDescript,
    kCrMoney,
    kBalance,
    kClerkName,
    kKaZengBalance,
    kKaZengBeginDate,
    kKaZengEndDate,
    kColumnCount
  };
  void writeEntry(int row, Kind kind, const std::string& memberNo, double amount);
  // The index of a column in the opened table; throws "qryDetail: Field ... not found".
  std::size_t field(Column column);

  Operator& m_operator;
  store::Query& m_qryDetail;
  const std::string& m_sysDate;
  // Field indices, resolved against one description of the table.
  store::TableColumns m_resolvedFor;
  std::array<std::optional<std::size_t>, kColumnCount> m_fields;
};

}  // namespace vip::import
