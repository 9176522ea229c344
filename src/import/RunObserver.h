#pragma once

#include <string>

#include "import/Operator.h"
#include "sheet/Workbook.h"

namespace vip::import {

// Told what became of each row of a run that did not import whole (the
// workbook of the rows to fix is written from it).
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // A phase's workbook is open; the rows reported next are its rows.
  virtual void phaseStarted(Phase phase, const std::string& path,
                            const sheet::Workbook& workbook) = 0;
  // Row `row` saved nothing; `message` is its failure line's message.
  virtual void rowRejected(Phase phase, int row, const std::string& message) = 0;
  // Row `row`'s member was saved as `memberId`, but an opening-balance
  // entry of it failed with `message`.
  virtual void rowPartlySaved(Phase phase, int row, const std::string& memberId,
                              const std::string& message) = 0;
  // Rows `first` to `last` saved nothing for another reason: they were not
  // tried (an interruption) or their batch was rolled back.
  virtual void rowsNotImported(Phase phase, int first, int last, const std::string& reason) = 0;
  // The phase is over (on every path); its workbook is still open.
  virtual void phaseEnded(Phase phase, const sheet::Workbook& workbook) = 0;
};

}  // namespace vip::import
