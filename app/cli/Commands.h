#pragma once

#include <string>
#include <vector>

namespace vip::cli {

// Each command takes the arguments after its name and returns the exit status.
int runDump(const std::vector<std::string>& args);
int runInitStore(const std::vector<std::string>& args);
int runImport(const std::vector<std::string>& args);
int runCheck(const std::vector<std::string>& args);

}  // namespace vip::cli
