#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "Commands.h"
#include "Console.h"
#include "Options.h"
#include "common/Messages.h"
#include "import/ImportRun.h"
#include "import/Operator.h"
#include "import/RejectsWorkbook.h"
#include "store/BusinessDate.h"
#include "store/Connection.h"
#include "store/Query.h"
#include "store/Statements.h"

namespace vip::cli {

namespace {

constexpr const char* kImportHelp =
    "usage: vipimport-cli import [--connect CONNSTR] --categories PATH --members PATH\n"
    "                            [--commit-every N] [--rejects NAME]\n"
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
    "  --commit-every N    one transaction per N data rows instead of a commit\n"
    "                      per record: much faster, the same log and the same\n"
    "                      numbers; a member is never kept without its entries\n"
    "                      after a crash. A store lost during the run keeps the\n"
    "                      rows up to the last commit (the log says \"已提交至第N行\")\n"
    "  --rejects NAME      write the rows that did not import whole to\n"
    "                      NAME.categories.xlsx and NAME.members.xlsx (a trailing\n"
    "                      .xlsx of NAME is dropped), each only where its phase\n"
    "                      had such rows: sheet \"未导入\" holds the rows that saved\n"
    "                      nothing, with the reason, ready to fix and import again;\n"
    "                      sheet \"已部分导入\" the members saved without their\n"
    "                      opening-balance entries (not to be imported again)\n"
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

}  // namespace

int runImport(const std::vector<std::string>& args) {
  std::string connect = store::statements::kDefaultConnectionString;
  std::string categories;
  std::string members;
  std::string commitEvery;
  std::string rejectsName;
  Options options("vipimport-cli import", kImportHelp);
  options.value("--connect", connect)
      .value("--categories", categories, Options::Need::Required)
      .value("--members", members, Options::Need::Required)
      .value("--commit-every", commitEvery)
      .value("--rejects", rejectsName);
  if (const auto stop = options.parse(args)) return *stop;
  import::ImportRun::Options runOptions;
  if (options.given("--commit-every")) {
    const auto rows = rowsPerCommit(commitEvery);
    if (!rows) {
      std::fprintf(stderr,
                   "vipimport-cli import: --commit-every takes a number of rows from 1 "
                   "to 1000000\n\n%s",
                   kImportHelp);
      return 2;
    }
    runOptions.commitEvery = *rows;
  }

  ConsoleOperator op;
  std::unique_ptr<import::RejectsWorkbook> rejects;
  if (options.given("--rejects")) {
    bool usable = false;
    rejects = rejectsFor(rejectsName, runOptions, op, usable);
    if (!usable) return 2;
  }
  ImportSession session;
  int status = 1;
  try {
    if (!session.connect(connect, op)) return 3;
    import::ImportRun run(op, session.qryInsert, session.qryDetail, session.sysDate,
                          defaultFormatSettings(), runOptions);
    catchInterrupts();
    switch (run.run(categories, members)) {
      case import::ImportRun::Outcome::Completed:
        status = 0;
        break;
      case import::ImportRun::Outcome::Refused:
        return 2;
      case import::ImportRun::Outcome::Interrupted:
        reportInterruption(*run.stop(), op);
        status = kInterrupted;
        break;
    }
  } catch (const std::exception& failure) {
    op.printError(errorDisplayText(failure.what()));
    hintAtMissingTables(session.connection, op);
    status = 1;
  }
  return rejects ? reportRejects(*rejects, op, status) : status;
}

}  // namespace vip::cli
