#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "Commands.h"

namespace {

constexpr const char* kUsage =
    "usage: vipimport-cli COMMAND [OPTIONS]\n"
    "       vipimport-cli --help | --version\n"
    "\n"
    "commands:\n"
    "  import [--connect CONNSTR] --categories PATH --members PATH\n"
    "         [--commit-every N] [--rejects NAME]\n"
    "      import a category workbook and a member workbook into the store\n"
    "  check [--connect CONNSTR] --categories PATH --members PATH [--rejects NAME]\n"
    "      rehearse the import against the store, write nothing, report\n"
    "  dump WORKBOOK\n"
    "      show a workbook as the import reads it, as JSON Lines\n"
    "  init-store --connect CONNSTR\n"
    "      create the store's tables in an empty store\n"
    "\n"
    "An option's value follows it as '--option VALUE' or '--option=VALUE'.\n"
    "Run 'vipimport-cli COMMAND --help' for a command's options.\n";

struct Command {
  std::string_view name;
  int (*run)(const std::vector<std::string>& args);
};

constexpr Command kCommands[] = {
    {"import", vip::cli::runImport},
    {"check", vip::cli::runCheck},
    {"dump", vip::cli::runDump},
    {"init-store", vip::cli::runInitStore},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string command = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  for (const Command& known : kCommands)
    if (known.name == command) return known.run(args);
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "--version") {
    std::puts("vipimport-cli " VIPIMPORT_VERSION);
    return 0;
  }
  // The argument is not echoed when it looks like a setting: it may hold a password.
  if (command.find('=') != std::string::npos)
    std::fprintf(stderr, "vipimport-cli: unknown command\n\n%s", kUsage);
  else
    std::fprintf(stderr, "vipimport-cli: unknown command '%s'\n\n%s", command.c_str(), kUsage);
  return 2;
}
