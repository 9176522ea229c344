#pragma once

#include <map>
#include <string>
#include <vector>

#include "import/RunObserver.h"

namespace vip::import {

// The workbooks of the rows to fix, written as each phase ends:
// NAME.categories.xlsx and NAME.members.xlsx, each only where its phase had
// rows that did not import whole. Sheet 1 "未导入" holds the phase's title row
// as read and then every row that saved nothing, every cell as the import
// read its text, with the failure's message in one more column "失败原因":
// fixed and imported again as it stands, it finishes the job. Sheet 2
// "已部分导入" holds the member rows whose record was saved but whose
// opening-balance entry failed, with the member's VCM_ID; those must not be
// imported again whole, and its first row says so.
class RejectsWorkbook final : public RunObserver {
 public:
  // `name` is NAME, with or without a trailing ".xlsx".
  explicit RejectsWorkbook(const std::string& name);

  // Where the workbook of a phase goes.
  std::string pathOf(Phase phase) const;
  // The workbooks written so far.
  const std::vector<std::string>& written() const { return m_written; }
  // Why a workbook could not be written; "" while all went well.
  const std::string& failure() const { return m_failure; }

  void phaseStarted(Phase phase, const std::string& path, const sheet::Workbook& workbook) override;
  void rowRejected(Phase phase, int row, const std::string& message) override;
  void rowPartlySaved(Phase phase, int row, const std::string& memberId,
                      const std::string& message) override;
  void rowsNotImported(Phase phase, int first, int last, const std::string& reason) override;
  void phaseEnded(Phase phase, const sheet::Workbook& workbook) override;

 private:
  struct Partial {
    std::string memberId;
    std::string message;
  };
  struct Range {
    int first = 0;
    int last = 0;
    std::string reason;
  };
  // The reason a row saved nothing; nullptr where it did.
  const std::string* reasonFor(int row) const;
  void write(Phase phase, const sheet::Workbook& workbook);

  std::string m_base;
  std::map<int, std::string> m_rejected;  // of the phase going on
  std::vector<Range> m_notImported;
  std::map<int, Partial> m_partial;
  std::vector<std::string> m_written;
  std::string m_failure;
};

}  // namespace vip::import
