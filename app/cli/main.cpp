#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"

namespace {

constexpr const char* kUsage =
    "usage: vipimport-cli COMMAND [OPTIONS]\n"
    "\n"
    "commands:\n"
    "  import [--connect CONNSTR] --categories PATH --members PATH\n"
    "      import a category workbook and a member workbook into the store\n"
    "  dump WORKBOOK\n"
    "      show a workbook as the import reads it, as JSON Lines\n"
    "  init-store --connect CONNSTR\n"
    "      create the store's tables in an empty store\n"
    "\n"
    "Run 'vipimport-cli COMMAND --help' for a command's options.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string command = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "dump") return vip::cli::runDump(args);
  if (command == "init-store") return vip::cli::runInitStore(args);
  if (command == "import") return vip::cli::runImport(args);
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  std::fprintf(stderr, "vipimport-cli: unknown command '%s'\n\n%s", command.c_str(), kUsage);
  return 2;
}
