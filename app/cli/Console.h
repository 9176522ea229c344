#pragma once

#include <memory>
#include <optional>
#include <string>

#include "import/ImportRun.h"
#include "import/Operator.h"
#include "import/RejectsWorkbook.h"
#include "store/Connection.h"
#include "store/Query.h"

namespace vip::cli {

// The exit status of an interrupted run, as a shell gives one ended by Ctrl+C.
inline constexpr int kInterrupted = 130;

// From now on an interrupt (SIGINT, SIGTERM, SIGHUP) asks the run to stop
// once the row in progress is done; a second one ends the program at once.
void catchInterrupts();

// The command line as the import's operator: log lines to stdout, notices
// and failures to stderr, progress only where a person watches stderr. It
// counts the lines that say a row failed or a text was cut.
class ConsoleOperator : public import::Operator {
 public:
  ConsoleOperator();

  void writeLog(const std::string& line) override;
  void msgBox(const std::string& text) override { printError(text); }
  void processEvents() override {}
  void importStarted() override {}
  bool interruptRequested() override;
  void progress(import::Phase phase, int row, int rows) override;

  void printError(const std::string& text);
  // Lines "插入第…失败:…" and "警告:…" written so far.
  int rowFailures() const { return m_rowFailures; }
  int warnings() const { return m_warnings; }

 private:
  void clearProgress();

  bool m_showProgress;
  bool m_progressShown = false;
  int m_rowFailures = 0;
  int m_warnings = 0;
};

// After an interruption: stderr says what the phase had imported.
void reportInterruption(const import::ImportRun::Stop& stop, ConsoleOperator& op);

// After a failure: a store that lacks the program's tables was most likely
// never made with init-store, so say how to make one.
void hintAtMissingTables(store::Connection& connection, ConsoleOperator& op);

// The store connection of a command that imports, with the import's queries.
struct ImportSession {
  store::Connection connection;
  store::Query qryTmp{connection, "qryTmp"};
  store::Query qryInsert{connection, "qryInsert"};
  store::Query qryDetail{connection, "qryDetail"};
  std::string sysDate;

  // Connects and reads the business date, as the window's connect does.
  // False, with "连接数据库失败!" and the reason on stderr, when the store
  // cannot be reached (a failing business-date read throws).
  bool connect(const std::string& connectionString, ConsoleOperator& op);
};

// For --rejects NAME: the workbooks of the rows to fix, checked writable
// before anything runs. Sets `observer` on the options; nullptr with
// `usable` false when they cannot be written (said on stderr).
std::unique_ptr<import::RejectsWorkbook> rejectsFor(const std::string& name,
                                                    import::ImportRun::Options& options,
                                                    ConsoleOperator& op, bool& usable);

// The value of --commit-every: a whole number of rows from 1 to 1,000,000;
// nothing for any other text.
std::optional<int> rowsPerCommit(const std::string& text);

// Whether the workbooks of the rows to fix can be made where --rejects says
// (checked before anything runs); says why not on stderr.
bool rejectsWritable(const import::RejectsWorkbook& rejects, ConsoleOperator& op);

// After the run: the workbooks written, or why they could not be. Returns
// the exit status: `status`, or 1 when the workbooks could not be written.
int reportRejects(const import::RejectsWorkbook& rejects, ConsoleOperator& op, int status);

}  // namespace vip::cli
