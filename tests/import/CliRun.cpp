#include "import/CliRun.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

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

std::string slurp(int fd) {
  std::string text;
  lseek(fd, 0, SEEK_SET);
  char buffer[65536];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return text;
}

int tempFile() {
  char name[] = "/tmp/vipimport-cli-XXXXXX";
  const int fd = mkstemp(name);
  if (fd >= 0) unlink(name);
  return fd;
}

}  // namespace

std::vector<std::string> CliResult::outLines() const {
  return splitLines(out);
}
std::vector<std::string> CliResult::errLines() const {
  return splitLines(err);
}

CliResult runCli(const std::vector<std::string>& args) {
  CliResult result;
  const int outFd = tempFile(), errFd = tempFile();
  if (outFd < 0 || errFd < 0) {
    result.err = "cannot create a temporary file";
    return result;
  }
  std::vector<std::string> argv{VIP_CLI};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (std::string& arg : argv)
    cargv.push_back(arg.data());
  cargv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid == 0) {
    const int devNull = open("/dev/null", O_RDONLY);
    dup2(devNull, STDIN_FILENO);
    dup2(outFd, STDOUT_FILENO);
    dup2(errFd, STDERR_FILENO);
    execv(VIP_CLI, cargv.data());
    _exit(127);
  }
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
    result.status = WEXITSTATUS(status);
  }
  result.out = slurp(outFd);
  result.err = slurp(errFd);
  return result;
}

}  // namespace vip::test
