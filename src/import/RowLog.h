#pragma once

#include <functional>
#include <string>
#include <vector>

#include "import/Operator.h"
#include "import/RunObserver.h"

namespace vip::import {

// The operator and the observer as the rows of a phase see them. Normally
// everything goes through at once; while a fast batch runs, the log lines
// and row reports are held, to be delivered once the batch has stood, or
// dropped when the batch is done again the careful way.
class RowLog final : public Operator {
 public:
  RowLog(Operator& op, RunObserver* observer) : m_operator(op), m_observer(observer) {}

  void writeLog(const std::string& line) override;
  void msgBox(const std::string& text) override { m_operator.msgBox(text); }
  void processEvents() override { m_operator.processEvents(); }
  void importStarted() override { m_operator.importStarted(); }
  void progress(Phase phase, int row, int rows) override { m_operator.progress(phase, row, rows); }
  bool interruptRequested() override { return m_operator.interruptRequested(); }

  void rowRejected(Phase phase, int row, const std::string& message);
  void rowPartlySaved(Phase phase, int row, const std::string& memberId,
                      const std::string& message);
  void rowsNotImported(Phase phase, int first, int last, const std::string& reason);

  // From now on, keep everything until release() or discard().
  void hold() { m_holding = true; }
  void release();
  void discard();

 private:
  void deliver(std::function<void()> action);

  Operator& m_operator;
  RunObserver* m_observer;
  bool m_holding = false;
  std::vector<std::function<void()>> m_held;
};

}  // namespace vip::import
