#pragma once

#include <memory>

#include <QString>
#include <QStringList>

class QTemporaryDir;

namespace vip::import {
class RejectsWorkbook;
class RunObserver;
}  // namespace vip::import

namespace vip::window {

// The rows of the window's last run (an import or a check) that did not
// import whole: each run writes its rows-to-fix workbooks into a temporary
// folder of the window's, where they wait until the operator exports them
// or the next run replaces them. The folder goes with the window.
class RunRejects {
 public:
  RunRejects();
  ~RunRejects();
  RunRejects(const RunRejects&) = delete;
  RunRejects& operator=(const RunRejects&) = delete;

  // Drops the last run's workbooks and returns the observer of the next
  // run; nullptr where no temporary folder can be made (the run then keeps
  // nothing to export).
  import::RunObserver* startRun();
  // Whether the last run kept a workbook to export.
  bool any() const;
  // Copies the kept workbooks to NAME.categories.xlsx and NAME.members.xlsx
  // (NAME with or without ".xlsx") and returns the paths written. A phase
  // that kept nothing leaves no file under NAME: one of an earlier export
  // would pass for this run's. Throws vip::Error where a copy fails.
  QStringList exportTo(const QString& name) const;
  // Why a workbook of the last run could not be kept; empty while all went well.
  QString failure() const;

 private:
  void dropWritten();

  std::unique_ptr<QTemporaryDir> m_folder;
  std::unique_ptr<import::RejectsWorkbook> m_workbook;
  int m_runs = 0;
};

}  // namespace vip::window
