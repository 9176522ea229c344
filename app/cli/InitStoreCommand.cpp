#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "Commands.h"
#include "StoreSchemas.h"
#include "store/Connection.h"
#include "store/ConnectionString.h"
#include "store/StoreError.h"

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

constexpr const char* kTables[] = {"VipCardType", "VipCardMaster", "VIPCardDetail", "AutoSerialNo",
                                   "Qx_SysPara"};

int usageError(const std::string& message) {
  std::fprintf(stderr, "vipimport-cli init-store: %s\n\n%s", message.c_str(), kInitStoreUsage);
  return 2;
}

const char* schemaFor(store::Engine engine) {
  switch (engine) {
    case store::Engine::Sqlite:
      return schema::k_sqlite;
    case store::Engine::Postgres:
      return schema::k_postgresql;
    case store::Engine::SqlServer:
      return schema::k_sqlserver;
    case store::Engine::OtherOdbc:
      break;
  }
  return "";
}

}  // namespace

int runInitStore(const std::vector<std::string>& args) {
  std::string connect;
  bool haveConnect = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-h" || arg == "--help") {
      std::fputs(kInitStoreUsage, stdout);
      return 0;
    }
    if (arg == "--connect") {
      if (i + 1 >= args.size()) return usageError("--connect needs a connection string");
      connect = args[++i];
      haveConnect = true;
    } else if (arg.starts_with("--connect=")) {
      connect = arg.substr(10);
      haveConnect = true;
    } else {
      // The argument is not echoed: it may be a connection string with a password.
      return usageError("unexpected argument " + std::to_string(i + 1));
    }
  }
  if (!haveConnect) return usageError("--connect is required");

  store::ConnectionString settings;
  try {
    settings = store::ConnectionString::parse(connect);
  } catch (const store::StoreError& error) {
    return usageError(error.what());
  }

  try {
    auto backend = store::openBackend(settings, store::OpenMode::Create);
    std::string present;
    for (const char* table : kTables) {
      if (!backend->tableExists(table)) continue;
      if (!present.empty()) present += ", ";
      present += table;
    }
    if (!present.empty()) {
      std::fprintf(stderr,
                   "vipimport-cli init-store: the store already holds %s; nothing was changed\n",
                   present.c_str());
      return 1;
    }
    const char* schema = schemaFor(backend->engine());
    if (!*schema) {
      std::fputs("vipimport-cli init-store: no schema for this kind of store\n", stderr);
      return 1;
    }
    backend->executeScript(schema);
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
