#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "Commands.h"
#include "Console.h"
#include "Options.h"
#include "common/Messages.h"
#include "import/CheckReport.h"
#include "import/ImportRun.h"
#include "import/Rehearsal.h"
#include "import/RejectsWorkbook.h"
#include "store/BusinessDate.h"
#include "store/Connection.h"
#include "store/Query.h"
#include "store/Statements.h"

namespace vip::cli {

namespace {

constexpr const char* kCheckHelp =
    "usage: vipimport-cli check [--connect CONNSTR] --categories PATH --members PATH\n"
    "                           [--rejects NAME]\n"
    "       (each option also as --option=VALUE)\n"
    "\n"
    "Rehearses the import against the real store and writes nothing: the same\n"
    "run as 'vipimport-cli import' in one transaction that is rolled back at the\n"
    "end. Every statement really runs, so the store's own refusals (unique keys,\n"
    "required columns, lengths) show up as they would. Afterwards the store\n"
    "holds exactly what it held before, counters included.\n"
    "\n"
    "options:\n"
    "  --connect CONNSTR   the store's connection string, as for import\n"
    "  --categories PATH   the member category workbook\n"
    "  --members PATH      the member record workbook (not the same path)\n"
    "  --rejects NAME      also write the rows that would not import whole, as\n"
    "                      'vipimport-cli import --rejects' does\n"
    "  -h, --help          this text\n"
    "\n"
    "While it runs, the rehearsal holds the store: on SQLite its write lock\n"
    "(every other writer waits), on a server store the counter rows it drew\n"
    "from (other importers wait for them). Run it when no import is due.\n"
    "\n"
    "output:\n"
    "  stdout  exactly the log the import would print now (every failure line,\n"
    "          every truncation warning, both summaries and the closing block),\n"
    "          then a report in Chinese on each workbook: the sheet and its used\n"
    "          range, the titles matched and ignored (with a hint where a title\n"
    "          differs from a known one only by blanks, full-width forms or\n"
    "          invisible characters), the known titles missing and what the store\n"
    "          does then, empty rows, card numbers repeated in the sheet or\n"
    "          already in VipCardMaster, and unknown category numbers\n"
    "  stderr  notices and failures, as for import\n"
    "\n"
    "exit status:\n"
    "  0    every row would import and nothing was found to warn about\n"
    "  4    rows would fail, or the report found something to warn about\n"
    "  1    a failure ended the rehearsal (as for import)\n"
    "  2    usage error, or an empty or repeated workbook path\n"
    "  3    the store could not be connected, or cannot be written\n"
    "  130  interrupted; nothing was written\n";

constexpr int kFindings = 4;

}  // namespace

int runCheck(const std::vector<std::string>& args) {
  std::string connect = store::statements::kDefaultConnectionString;
  std::string categories;
  std::string members;
  std::string rejectsName;
  Options options("vipimport-cli check", kCheckHelp);
  options.value("--connect", connect)
      .value("--categories", categories, Options::Need::Required)
      .value("--members", members, Options::Need::Required)
      .value("--rejects", rejectsName);
  if (const auto stop = options.parse(args)) return *stop;

  ConsoleOperator op;
  import::ImportRun::Options runOptions;
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
    if (const auto notice = import::ImportRun::refusal(categories, members)) {
      op.msgBox(*notice);
      return 2;
    }
    const import::Rehearsal rehearsal(session.connection);
    // The store as it is before the rehearsal's rows: the card numbers it
    // already holds are those of earlier imports.
    const import::CheckReport report =
        import::checkWorkbooks(session.connection, categories, members);
    import::ImportRun run(op, session.qryInsert, session.qryDetail, session.sysDate,
                          defaultFormatSettings(), runOptions);
    catchInterrupts();
    const auto outcome = run.run(categories, members);
    if (outcome == import::ImportRun::Outcome::Interrupted) {
      reportInterruption(*run.stop(), op);
      status = kInterrupted;
    } else {
      for (const std::string& line : report.lines)
        op.writeLog(line);
      const bool clean = op.rowFailures() == 0 && op.warnings() == 0 && report.warnings == 0;
      status = clean ? 0 : kFindings;
    }
  } catch (const std::exception& failure) {
    op.printError(errorDisplayText(failure.what()));
    hintAtMissingTables(session.connection, op);
    status = 1;
  }
  return rejects ? reportRejects(*rejects, op, status) : status;
}

}  // namespace vip::cli
