#include "import/RowLog.h"

namespace vip::import {

void RowLog::deliver(std::function<void()> action) {
  if (m_holding)
    m_held.push_back(std::move(action));
  else
    action();
}

void RowLog::writeLog(const std::string& line) {
  deliver([this, line] { m_operator.writeLog(line); });
}

void RowLog::rowRejected(Phase phase, int row, const std::string& message) {
  if (m_observer == nullptr) return;
  deliver([this, phase, row, message] { m_observer->rowRejected(phase, row, message); });
}

void RowLog::rowPartlySaved(Phase phase, int row, const std::string& memberId,
                            const std::string& message) {
  if (m_observer == nullptr) return;
  deliver([this, phase, row, memberId, message] {
    m_observer->rowPartlySaved(phase, row, memberId, message);
  });
}

void RowLog::rowsNotImported(Phase phase, int first, int last, const std::string& reason) {
  if (m_observer == nullptr || first > last) return;
  deliver([this, phase, first, last, reason] {
    m_observer->rowsNotImported(phase, first, last, reason);
  });
}

void RowLog::release() {
  m_holding = false;
  std::vector<std::function<void()>> held = std::move(m_held);
  m_held.clear();
  for (const auto& action : held)
    action();
}

void RowLog::discard() {
  m_holding = false;
  m_held.clear();
}

}  // namespace vip::import
