#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "Commands.h"
#include "Options.h"
#include "store/ConnectionString.h"
#include "store/StoreError.h"
#include "store/StoreSchema.h"

namespace vip::cli {
namespace {

constexpr const char* kInitStoreUsage =
    "usage: vipimport-cli init-store --connect CONNSTR\n"
    "\n"
    "Creates the store's tables (VipCardType, VipCardMaster, VIPCardDetail,\n"
    "AutoSerialNo, Qx_SysPara) in an empty store. A store that already holds any\n"
    "of them is left untouched.\n"
    "\n"
    "  --connect CONNSTR   the store's connection string, for instance\n"
    "                      \"Provider=SQLite;Data Source=store.db\" (a new file,\n"
    "                      in WAL journal mode)\n"
    "  -h, --help          this text\n"
    "\n"
    "exit status:\n"
    "  0  the tables were created\n"
    "  1  the store could not be reached or already holds some of the tables\n"
    "  2  usage error\n";

}  // namespace

int runInitStore(const std::vector<std::string>& args) {
  std::string connect;
  Options options("vipimport-cli init-store", kInitStoreUsage);
  options.value("--connect", connect, Options::Need::Required);
  if (const auto stop = options.parse(args)) return *stop;

  store::ConnectionString settings;
  try {
    settings = store::ConnectionString::parse(connect);
  } catch (const store::StoreError& error) {
    std::fprintf(stderr, "vipimport-cli init-store: %s\n\n%s", error.what(), kInitStoreUsage);
    return 2;
  }

  try {
    store::createStore(settings);
    std::printf(
        "Created the tables VipCardType, VipCardMaster, VIPCardDetail, AutoSerialNo and "
        "Qx_SysPara in %s\n",
        settings.redacted().c_str());
    return 0;
  } catch (const std::exception& error) {
    // Store messages never carry the password.
    std::fprintf(stderr, "vipimport-cli init-store: %s\n", error.what());
    return 1;
  }
}

}  // namespace vip::cli
