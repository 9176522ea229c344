#include "Console.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <vector>

#include "common/Messages.h"
#include "store/BusinessDate.h"
#include "store/StoreSchema.h"

namespace vip::cli {

namespace {

volatile std::sig_atomic_t g_interrupt = 0;

extern "C" void onInterrupt(int number) {
  if (g_interrupt != 0) {
    std::signal(number, SIG_DFL);
    std::raise(number);
    return;
  }
  g_interrupt = number;
}

}  // namespace

void catchInterrupts() {
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  // The row in progress carries on: its store calls are not cut short.
  action.sa_flags = SA_RESTART;
  for (const int number : {SIGINT, SIGTERM, SIGHUP})
    sigaction(number, &action, nullptr);
}

ConsoleOperator::ConsoleOperator() : m_showProgress(isatty(STDERR_FILENO) == 1) {}

void ConsoleOperator::writeLog(const std::string& line) {
  clearProgress();
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
  if (line.rfind("插入第", 0) == 0) ++m_rowFailures;
  if (line.rfind("警告:", 0) == 0) ++m_warnings;
}

bool ConsoleOperator::interruptRequested() {
  return g_interrupt != 0;
}

void ConsoleOperator::progress(import::Phase phase, int row, int rows) {
  if (!m_showProgress) return;
  // Redrawing every row would cost more than the rows themselves.
  if (row != 0 && row != rows && row % 97 != 0) return;
  std::fprintf(stderr, "\r%s %d/%d", phase == import::Phase::Categories ? "类别" : "会员", row,
               rows);
  std::fflush(stderr);
  m_progressShown = true;
}

void ConsoleOperator::printError(const std::string& text) {
  clearProgress();
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

void ConsoleOperator::clearProgress() {
  if (!m_progressShown) return;
  std::fputs("\r\033[K", stderr);
  m_progressShown = false;
}

void reportInterruption(const import::ImportRun::Stop& stop, ConsoleOperator& op) {
  const char* phase = stop.phase == import::Phase::Categories ? "会员类别" : "会员资料";
  op.printError(std::string("导入已中断:") + phase + "已成功导入" + std::to_string(stop.imported) +
                "行,第" + std::to_string(stop.firstRowNotImported) + "行及以后的行未导入");
}

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

bool ImportSession::connect(const std::string& connectionString, ConsoleOperator& op) {
  const store::ConnectResult connected =
      store::connectStore(connection, qryTmp, connectionString, sysDate);
  if (connected.opened) return true;
  op.printError("连接数据库失败!");
  op.printError(connected.reason);
  return false;
}

std::unique_ptr<import::RejectsWorkbook> rejectsFor(const std::string& name,
                                                    import::ImportRun::Options& options,
                                                    ConsoleOperator& op, bool& usable) {
  auto rejects = std::make_unique<import::RejectsWorkbook>(name);
  usable = rejectsWritable(*rejects, op);
  if (!usable) return nullptr;
  options.observer = rejects.get();
  return rejects;
}

std::optional<int> rowsPerCommit(const std::string& text) {
  if (text.empty() || text.size() > 7 || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const int rows = std::stoi(text);
  if (rows < 1 || rows > 1000000) return std::nullopt;
  return rows;
}

bool rejectsWritable(const import::RejectsWorkbook& rejects, ConsoleOperator& op) {
  for (const import::Phase phase : {import::Phase::Categories, import::Phase::Members}) {
    const std::string path = rejects.pathOf(phase);
    const bool existed = std::filesystem::exists(path);
    std::FILE* probe = std::fopen(path.c_str(), "ab");
    if (probe == nullptr) {
      op.printError("vipimport-cli: cannot write the rows to fix to '" + vip::messageText(path) +
                    "': " + std::strerror(errno));
      return false;
    }
    std::fclose(probe);
    if (!existed) std::filesystem::remove(path);
  }
  return true;
}

int reportRejects(const import::RejectsWorkbook& rejects, ConsoleOperator& op, int status) {
  for (const std::string& path : rejects.written())
    op.printError("未导入的行已写入:" + path);
  if (rejects.failure().empty()) return status;
  op.printError("vipimport-cli: the rows to fix could not be written: " + rejects.failure());
  return status == 0 ? 1 : status;
}

}  // namespace vip::cli
