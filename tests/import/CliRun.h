#pragma once

#include <string>
#include <vector>

namespace vip::test {

// One run of vipimport-cli with its exit status and both output streams.
struct CliResult {
  int status = -1;
  std::string out;
  std::string err;
  std::vector<std::string> outLines() const;
  std::vector<std::string> errLines() const;
};

// Runs the built vipimport-cli with `args`, stdin closed and stdout and
// stderr captured (neither is a terminal, so no progress is drawn).
CliResult runCli(const std::vector<std::string>& args);

}  // namespace vip::test
