#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "Commands.h"
#include "Options.h"
#include "common/Messages.h"
#include "import/ImportRun.h"
#include "import/Operator.h"
#include "store/BusinessDate.h"
#include "store/Connection.h"
#include "store/Query.h"
#include "store/Statements.h"
#include "store/StoreSchema.h"

namespace vip::cli {

namespace {

constexpr const char* kImportHelp =
    "usage: vipimport-cli import [--connect CONNSTR] --categories PATH --members PATH\n"
    "       (each option also as --option=VALUE)\n"
    "\n"
    "Imports a member category workbook into VipCardType, then a member\n"
    "workbook into VipCardMaster with the opening-balance entries in\n"
    "VIPCardDetail (.xls, .xlsx or .xlsm; row 1 holds the column titles).\n"
    "\n"
    "options:\n"
    "  --connect CONNSTR   the store's connection string, for instance\n"
    "                      \"Provider=SQLite;Data Source=out/demo.db\" or an ODBC\n"
    "                      string; without it, the built-in SQL Server store\n"
    "  --categories PATH   the member category workbook\n"
    "  --members PATH      the member record workbook (not the same path)\n"
    "  -h, --help          this text\n"
    "\n"
    "The business date is today's, replaced by Qx_SysPara's '系统日期' when the\n"
    "store holds it.\n"
    "\n"
    "output:\n"
    "  stdout  the import log, one line per line (UTF-8): start lines, a line\n"
    "          for every failed row with its sheet row number, the totals of\n"
    "          both phases and the closing block\n"
    "  stderr  notices, one per line; a failure that ended the run; progress\n"
    "          only when stderr is a terminal\n"
    "\n"
    "exit status:\n"
    "  0    the import ran to its end (rows may have failed: see the log)\n"
    "  1    a failure ended the run: a workbook that cannot be opened, a\n"
    "       business date that cannot be read, or a store lost or no longer\n"
    "       writable during the run (the row it failed on is logged; the\n"
    "       message says what was kept)\n"
    "  2    usage error (checked before connecting), or a workbook path was\n"
    "       empty or both were the same\n"
    "  3    the store could not be connected, or cannot be written\n"
    "  130  interrupted (SIGINT, SIGTERM or SIGHUP): the row in progress was\n"
    "       finished and the rest not imported (the log's last line names the\n"
    "       first row not imported); a second signal ends the program at once\n";

// An interrupt (SIGINT, SIGTERM, SIGHUP) asks the import to stop once the row
// in progress is done; a second one ends the program at once.
volatile std::sig_atomic_t g_interrupt = 0;

extern "C" void onInterrupt(int number) {
  if (g_interrupt != 0) {
    std::signal(number, SIG_DFL);
    std::raise(number);
    return;
  }
  g_interrupt = number;
}

void catchInterrupts() {
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  // The row in progress carries on: its store calls are not cut short.
  action.sa_flags = SA_RESTART;
  for (const int number : {SIGINT, SIGTERM, SIGHUP})
    sigaction(number, &action, nullptr);
}

// The exit status of an interrupted import, as a shell gives one ended by
// Ctrl+C.
constexpr int kInterrupted = 130;

// The command line as the import's operator: log lines to stdout, notices
// and failures to stderr, progress only where a person watches stderr.
class ConsoleOperator : public import::Operator {
 public:
  ConsoleOperator() : m_showProgress(isatty(STDERR_FILENO) == 1) {}

  void writeLog(const std::string& line) override {
    clearProgress();
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
  void msgBox(const std::string& text) override { printError(text); }
  void processEvents() override {}
  void importStarted() override {}
  bool interruptRequested() override { return g_interrupt != 0; }
  void progress(import::Phase phase, int row, int rows) override {
    if (!m_showProgress) return;
    // Redrawing every row would cost more than the rows themselves.
    if (row != 0 && row != rows && row % 97 != 0) return;
    std::fprintf(stderr, "\r%s %d/%d", phase == import::Phase::Categories ? "类别" : "会员", row,
                 rows);
    std::fflush(stderr);
    m_progressShown = true;
  }

  void printError(const std::string& text) {
    clearProgress();
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
  }

 private:
  void clearProgress() {
    if (!m_progressShown) return;
    std::fputs("\r\033[K", stderr);
    m_progressShown = false;
  }

  bool m_showProgress;
  bool m_progressShown = false;
};

// After a failure: a store that lacks the program's tables was most likely
// never made with init-store, so say how to make one.
void hintAtMissingTables(store::Connection& connection, ConsoleOperator& op) {
  if (!connection.isOpen()) return;
  std::vector<std::string> missing;
  try {
    missing = store::missingTables(connection.backend());
  } catch (const std::exception&) {
    return;  // the store is gone too; its own message has been shown
  }
  if (missing.empty()) return;
  std::string tables;
  for (const std::string& table : missing)
    tables += (tables.empty() ? "" : ", ") + table;
  op.printError("vipimport-cli: this store lacks the program's tables (" + tables +
                "); 'vipimport-cli init-store --connect CONNSTR' creates an empty store that "
                "has them");
}

// Where the log's last line says the run stopped, stderr says what the
// phase had saved.
void reportInterruption(const import::ImportRun::Stop& stop, ConsoleOperator& op) {
  const char* phase = stop.phase == import::Phase::Categories ? "会员类别" : "会员资料";
  op.printError(std::string("导入已中断:") + phase + "已成功导入" + std::to_string(stop.imported) +
                "行,第" + std::to_string(stop.firstRowNotImported) + "行及以后的行未导入");
}

}  // namespace

int runImport(const std::vector<std::string>& args) {
  std::string connect = store::statements::kDefaultConnectionString;
  std::string categories;
  std::string members;
  Options options("vipimport-cli import", kImportHelp);
  options.value("--connect", connect)
      .value("--categories", categories, Options::Need::Required)
      .value("--members", members, Options::Need::Required);
  if (const auto stop = options.parse(args)) return *stop;

  ConsoleOperator op;
  store::Connection connection;
  store::Query qryTmp(connection, "qryTmp");
  store::Query qryInsert(connection, "qryInsert");
  store::Query qryDetail(connection, "qryDetail");
  try {
    std::string sysDate;
    const store::ConnectResult connected =
        store::connectStore(connection, qryTmp, connect, sysDate);
    if (!connected.opened) {
      op.printError("连接数据库失败!");
      op.printError(connected.reason);
      return 3;
    }
    import::ImportRun run(op, qryInsert, qryDetail, sysDate);
    catchInterrupts();
    switch (run.run(categories, members)) {
      case import::ImportRun::Outcome::Completed:
        return 0;
      case import::ImportRun::Outcome::Refused:
        return 2;
      case import::ImportRun::Outcome::Interrupted:
        reportInterruption(*run.stop(), op);
        return kInterrupted;
    }
    return 1;
  } catch (const std::exception& failure) {
    op.printError(errorDisplayText(failure.what()));
    hintAtMissingTables(connection, op);
    return 1;
  }
}

}  // namespace vip::cli
