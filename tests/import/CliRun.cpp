#include "import/CliRun.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

namespace vip::test {

namespace {

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

int tempFile() {
  char name[] = "/tmp/vipimport-cli-XXXXXX";
  const int fd = mkstemp(name);
  if (fd >= 0) unlink(name);
  return fd;
}

// In the child: becomes `account`; false when it cannot.
bool becomeAccount(const std::string& account) {
  if (account.empty()) return true;
  const passwd* pw = ::getpwnam(account.c_str());
  if (pw == nullptr) return false;
  gid_t gid = pw->pw_gid;
  if (const group* gr = ::getgrnam("nogroup"); gr != nullptr && account == "nobody")
    gid = gr->gr_gid;
  return ::setgroups(0, nullptr) == 0 && ::setgid(gid) == 0 && ::setuid(pw->pw_uid) == 0;
}

}  // namespace

std::vector<std::string> CliResult::outLines() const {
  return splitLines(out);
}
std::vector<std::string> CliResult::errLines() const {
  return splitLines(err);
}

CliProcess::CliProcess(const std::vector<std::string>& args, const std::string& account)
    : m_out(tempFile()), m_err(tempFile()) {
  if (m_out < 0 || m_err < 0) return;
  std::vector<std::string> argv{VIP_CLI};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (std::string& arg : argv)
    cargv.push_back(arg.data());
  cargv.push_back(nullptr);

  m_pid = fork();
  if (m_pid == 0) {
    const int devNull = open("/dev/null", O_RDONLY);
    dup2(devNull, STDIN_FILENO);
    dup2(m_out, STDOUT_FILENO);
    dup2(m_err, STDERR_FILENO);
    if (!becomeAccount(account)) _exit(126);
    execv(VIP_CLI, cargv.data());
    _exit(127);
  }
}

CliProcess::~CliProcess() {
  if (m_pid > 0 && !m_finished) {
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
  }
  if (m_out >= 0) close(m_out);
  if (m_err >= 0) close(m_err);
}

std::string CliProcess::readAll(int fd) const {
  std::string text;
  char buffer[65536];
  off_t at = 0;
  for (ssize_t n; (n = pread(fd, buffer, sizeof buffer, at)) > 0; at += n)
    text.append(buffer, static_cast<std::size_t>(n));
  return text;
}

bool CliProcess::waitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    if (readAll(m_out).find(text) != std::string::npos) return true;
    if (!running()) return readAll(m_out).find(text) != std::string::npos;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

bool CliProcess::running() const {
  if (m_pid <= 0) return false;
  siginfo_t info{};
  // WNOWAIT: the exit status stays for finish().
  return ::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == 0;
}

void CliProcess::signal(int number) const {
  if (m_pid > 0) ::kill(m_pid, number);
}

CliResult CliProcess::finish() {
  CliResult result;
  if (m_out < 0 || m_err < 0) {
    result.err = "cannot create a temporary file";
    return result;
  }
  int status = 0;
  if (m_pid > 0 && waitpid(m_pid, &status, 0) == m_pid) {
    if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  }
  m_finished = true;
  result.out = readAll(m_out);
  result.err = readAll(m_err);
  return result;
}

CliResult runCli(const std::vector<std::string>& args) {
  return CliProcess(args).finish();
}

}  // namespace vip::test
