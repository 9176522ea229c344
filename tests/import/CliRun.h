#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace vip::test {

// One run of vipimport-cli with its exit status and both output streams.
struct CliResult {
  int status = -1;  // the exit status; -1 when the program did not exit
  int signal = 0;   // the signal that ended it, if one did
  std::string out;
  std::string err;
  std::vector<std::string> outLines() const;
  std::vector<std::string> errLines() const;
};

// The built vipimport-cli running with `args`, stdin closed and stdout and
// stderr captured (neither is a terminal, so no progress is drawn).
class CliProcess {
 public:
  // `account`: the user to run as (as root only; "" runs as we are).
  explicit CliProcess(const std::vector<std::string>& args, const std::string& account = {});
  ~CliProcess();
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  // Waits until stdout holds `text`; false after `timeout` or once the
  // program has ended without writing it.
  bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout);
  void signal(int number) const;
  bool running() const;
  // Waits for the program to end.
  CliResult finish();

 private:
  std::string readAll(int fd) const;

  pid_t m_pid = -1;
  int m_out = -1;
  int m_err = -1;
  bool m_finished = false;
};

// Runs the program to its end.
CliResult runCli(const std::vector<std::string>& args);

}  // namespace vip::test
