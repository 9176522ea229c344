#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "StoreTargets.h"
#include "store/FieldConvert.h"

namespace vip::test {
namespace {

struct CliResult {
  int status = -1;
  std::string out;
  std::string err;
};

std::string slurp(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// Runs vipimport-cli with arguments free of single quotes.
CliResult runCli(const std::vector<std::string>& args) {
  const std::string out = scratchDir() + "/cli.out";
  const std::string err = scratchDir() + "/cli.err";
  std::string command = std::string("'") + VIP_CLI + "'";
  for (const std::string& arg : args)
    command += " '" + arg + "'";
  command += " >'" + out + "' 2>'" + err + "'";
  std::filesystem::remove(out);
  std::filesystem::remove(err);
  const int raw = std::system(command.c_str());
  CliResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = slurp(out);
  result.err = slurp(err);
  return result;
}

TEST(InitStore, CreatesTheTablesOnceInAWalStore) {
  const std::string path = scratchDir() + "/init.db";
  std::filesystem::remove(path);
  const std::string connect = "Provider=SQLite;Data Source=" + path + ";Password=hunter22";

  const CliResult created = runCli({"init-store", "--connect", connect});
  EXPECT_EQ(created.status, 0) << created.err;
  EXPECT_NE(created.out.find("VIPCardDetail"), std::string::npos) << created.out;
  EXPECT_EQ((created.out + created.err).find("hunter22"), std::string::npos);

  store::Connection connection;
  connection.setConnectionString(connect);
  auto& backend = connection.backend();
  for (const char* table :
       {"VipCardType", "VipCardMaster", "VIPCardDetail", "AutoSerialNo", "Qx_SysPara"})
    EXPECT_TRUE(backend.tableExists(table)) << table;
  const auto mode = backend.query(store::Statement::text("PRAGMA journal_mode"));
  EXPECT_EQ(store::valueToText(mode.rows.at(0).at(0), defaultFormatSettings()), "wal");
  EXPECT_TRUE(backend.query(store::Statement::text("SELECT * FROM Qx_SysPara")).rows.empty());
  // Category numbers are unique.
  backend.executeScript("INSERT INTO VipCardType(VCT_No) VALUES('01')");
  EXPECT_ANY_THROW(backend.executeScript("INSERT INTO VipCardType(VCT_No) VALUES('01')"));
  connection.close();

  const CliResult again = runCli({"init-store", "--connect", connect});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("already holds"), std::string::npos) << again.err;
  EXPECT_EQ((again.out + again.err).find("hunter22"), std::string::npos);
  connection.setConnectionString(connect);
  const auto rows =
      connection.backend().query(store::Statement::text("SELECT COUNT(*) FROM VipCardType")).rows;
  EXPECT_EQ(store::valueToText(rows.at(0).at(0), defaultFormatSettings()), "1");
}

TEST(InitStore, StoreWithOneOfTheTablesIsLeftUntouched) {
  const std::string path = scratchDir() + "/partial.db";
  std::filesystem::remove(path);
  const std::string connect = "Provider=SQLite;Data Source=" + path;
  {
    auto backend =
        store::openBackend(store::ConnectionString::parse(connect), store::OpenMode::Create);
    backend->executeScript("CREATE TABLE autoserialno(x int)");
  }
  const CliResult result = runCli({"init-store", "--connect", connect});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("AutoSerialNo"), std::string::npos) << result.err;
  store::Connection connection;
  connection.setConnectionString(connect);
  EXPECT_FALSE(connection.backend().tableExists("VipCardMaster"));
}

TEST(InitStore, UsageAndConnectionErrors) {
  struct Case {
    std::vector<std::string> args;
    int status;
  };
  const Case cases[] = {
      {{"init-store"}, 2},
      {{"init-store", "--connect"}, 2},
      {{"init-store", "--bogus"}, 2},
      {{"init-store", "--connect", "Provider=SQLite;Password=\"hunter22"}, 2},
      {{"init-store", "--connect", "Provider=Nope;Password=hunter22"}, 1},
      {{"init-store", "--connect", "Provider=SQLite;Password=hunter22;Data Source=/no/dir/x.db"},
       1},
      {{"init-store", "--help"}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    const CliResult result = runCli(c.args);
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_EQ((result.out + result.err).find("hunter22"), std::string::npos);
    EXPECT_NE((result.out + result.err).find("init-store"), std::string::npos);
  }
}

}  // namespace
}  // namespace vip::test
