#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include "import/CliRun.h"
#include "import/TestStore.h"
#include "store/Statements.h"

namespace vip::test {
namespace {

using Rows = std::vector<std::vector<std::string>>;

const std::string kFixtures = std::string(VIP_FIXTURES) + "/import/";

struct PathCase {
  const char* name;
  std::vector<std::string> args;  // after --connect
  const char* notice;
};

// The path checks of a given option refuse after connecting, before
// anything is logged or written.
TEST(ImportCommand, PathChecksShowTheirNoticeAndExitTwo) {
  auto store = TestStore::create(StoreEngine::Sqlite, "paths");
  store->createSchema();
  const std::string categories = kFixtures + "categories.xls";
  const std::vector<PathCase> cases = {
      {"both empty", {"--categories", "", "--members", ""}, "请选择会员类别excel文件!"},
      {"categories empty",
       {"--categories", "", "--members", categories},
       "请选择会员类别excel文件!"},
      {"members empty", {"--categories=" + categories, "--members="}, "请选择会员资料excel文件!"},
      {"same path twice",
       {"--categories", categories, "--members", categories},
       "请选择不同的两个文件!"},
  };
  for (const PathCase& c : cases) {
    std::vector<std::string> args{"import", "--connect", store->connectionString()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CliResult result = runCli(args);
    EXPECT_EQ(result.status, 2) << c.name;
    EXPECT_EQ(result.out, "") << c.name;
    EXPECT_EQ(result.err, std::string(c.notice) + "\n") << c.name;
  }
  EXPECT_EQ(store->scalar("SELECT count(*) FROM VipCardType"), "0");
}

// Two spellings of one file are two paths: the check passes and both phases
// read that one workbook.
TEST(ImportCommand, TwoSpellingsOfOneFilePassTheCheck) {
  auto store = TestStore::create(StoreEngine::Sqlite, "spellings");
  store->createSchema();
  const CliResult result =
      runCli({"import", "--connect", store->connectionString(), "--categories",
              kFixtures + "categories.xls", "--members", kFixtures + "./categories.xls"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(store->scalar("SELECT count(*) FROM VipCardType"), "4");
  EXPECT_EQ(store->scalar("SELECT count(*) FROM VipCardMaster"), "6");
}

// Usage is checked before anything connects: the built-in connection
// string names a server that would take its login time-out to refuse, so
// these must answer at once, with the usage text and never an argument's
// value (it may hold a password).
TEST(ImportCommand, UsageErrorsExitTwoBeforeConnecting) {
  const std::string categories = kFixtures + "categories.xls";
  const std::string members = kFixtures + "members.xls";
  struct UsageCase {
    std::vector<std::string> args;
    const char* names;  // what the message must name
  };
  const std::vector<UsageCase> cases = {
      {{"import"}, "--categories"},
      {{"import", "--categories", categories}, "--members"},
      {{"import", "--members=" + members}, "--categories"},
      {{"import", "--categories", categories, "--members", members, "--bogus=Pwd=Sesame-7781"},
       "--bogus"},
      {{"import", "--categories", "--members", members}, "--categories"},
      {{"import", "--categories", categories, "--members"}, "--members"},
      {{"import", "--categories", categories, "--members", members, "--members", members},
       "--members"},
      {{"import", "--categories", categories, "--members", members, "Pwd=Sesame-7781"},
       "argument 5"},
  };
  for (const UsageCase& c : cases) {
    SCOPED_TRACE(c.args.back());
    const auto start = std::chrono::steady_clock::now();
    const CliResult result = runCli(c.args);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.find("vipimport-cli import: "), 0u) << result.err;
    EXPECT_NE(result.err.find(c.names), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("usage: vipimport-cli import"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("Sesame-7781"), std::string::npos) << result.err;
  }
}

TEST(ImportCommand, HelpExplainsTheCommand) {
  for (const char* flag : {"--help", "-h"}) {
    const CliResult help = runCli({"import", "--members", "x.xls", flag});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    for (const char* word :
         {"--connect", "--categories", "--members", "--option=VALUE", "exit status", "stdout"}) {
      EXPECT_NE(help.out.find(word), std::string::npos) << word;
    }
  }
}

// --version, help and unknown commands of the program itself.
TEST(ImportCommand, ProgramVersionAndHelp) {
  const CliResult version = runCli({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(std::regex_match(version.out, std::regex("vipimport-cli [0-9]+\\.[0-9]+\\.[0-9]+\n")))
      << version.out;

  const CliResult help = runCli({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* word : {"import", "init-store", "dump", "--version", "--option=VALUE"})
    EXPECT_NE(help.out.find(word), std::string::npos) << word;

  const CliResult unknown = runCli({"imprt"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("'imprt'"), std::string::npos) << unknown.err;
  EXPECT_NE(unknown.err.find("usage: vipimport-cli COMMAND"), std::string::npos) << unknown.err;
}

TEST(ImportCommand, StoreThatCannotBeReachedExitsThreeWithoutThePassword) {
  const std::vector<std::string> connects = {
      "Provider=SQLite;Data Source=/nonexistent-folder/store.db;Password=Sesame-7781",
      // Port 1 on the loopback is closed.
      "Provider=MSDASQL;Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Database=x;"
      "Uid=vip;Pwd=Sesame-7781",
  };
  for (const std::string& connect : connects) {
    const CliResult result =
        runCli({"import", "--connect", connect, "--categories", kFixtures + "categories.xls",
                "--members", kFixtures + "members.xls"});
    EXPECT_EQ(result.status, 3) << result.err;
    const auto err = result.errLines();
    ASSERT_EQ(err.size(), 2u) << "stderr has " << err.size() << " lines";
    EXPECT_EQ(err[0], "连接数据库失败!");
    EXPECT_FALSE(err[1].empty());
    EXPECT_EQ(result.err.find("Sesame-7781"), std::string::npos) << "the password was printed";
    EXPECT_EQ(result.out, "");
  }
}

// Without --connect the built-in SQL Server store is tried; none runs here.
TEST(ImportCommand, BuiltInConnectionIsTheDefaultAndItsPasswordStaysHidden) {
  const std::string builtIn = store::statements::kDefaultConnectionString;
  const auto start = builtIn.find("Password=") + 9;
  const std::string password = builtIn.substr(start, builtIn.find(';', start) - start);
  ASSERT_FALSE(password.empty());

  const CliResult result = runCli({"import", "--categories", kFixtures + "categories.xls",
                                   "--members", kFixtures + "members.xls"});
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(result.errLines().at(0), "连接数据库失败!");
  EXPECT_EQ(result.err.find(password), std::string::npos) << "the password was printed";
}

// A store without the program's tables ends before the import, with the
// store's message and then how to make an empty store.
TEST(ImportCommand, FailingBusinessDateQueryStopsBeforeTheImport) {
  auto store = TestStore::create(StoreEngine::Sqlite, "nobizdate");
  SchemaOptions options;
  options.businessDateTable = false;
  store->createSchema(options);
  const CliResult result =
      runCli({"import", "--connect", store->connectionString(), "--categories",
              kFixtures + "categories.xls", "--members", kFixtures + "members.xls"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  const auto err = result.errLines();
  ASSERT_EQ(err.size(), 2u) << result.err;
  EXPECT_NE(err[0].find("Qx_SysPara"), std::string::npos) << result.err;
  EXPECT_NE(err[1].find("vipimport-cli init-store --connect"), std::string::npos) << result.err;
  EXPECT_EQ(store->scalar("SELECT count(*) FROM VipCardType"), "0");
}

// A failure in a store that has every table gives no such hint.
TEST(ImportCommand, NoStoreHintForAWorkbookThatDoesNotOpen) {
  auto store = TestStore::create(StoreEngine::Sqlite, "nohint");
  store->createSchema();
  const CliResult result =
      runCli({"import", "--connect", store->connectionString(), "--categories",
              kFixtures + "categories.xls", "--members", kFixtures + "absent.xls"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err.find("init-store"), std::string::npos) << result.err;
}

// The bundled examples into the store that init-store makes.
TEST(ImportCommand, ExamplesImportIntoAnInitStoreStore) {
  auto store = TestStore::create(StoreEngine::Sqlite, "examples");
  const CliResult init = runCli({"init-store", "--connect", store->connectionString()});
  ASSERT_EQ(init.status, 0) << init.err;

  const std::string examples = std::string(VIP_SOURCE_DIR) + "/examples/";
  for (const std::string kind : {"xls", "xlsx"}) {
    SCOPED_TRACE(kind);
    if (kind == "xlsx") store->exec("DELETE FROM VipCardType; DELETE FROM VipCardMaster");
    const CliResult result =
        runCli({"import", "--connect", store->connectionString(), "--categories",
                examples + "categories." + kind, "--members", examples + "members." + kind});
    EXPECT_EQ(result.status, 0) << result.err;
    const auto log = result.outLines();
    ASSERT_GE(log.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()),
              (std::vector<std::string>{"会员类别数量:13 成功导入数量:12",
                                        "会员资料数量:300 成功导入数量:299", ">>>"}));
    EXPECT_NE(result.out.find("插入第6行会员类别失败:"), std::string::npos);
    EXPECT_NE(
        result.out.find("插入第43行会员资料失败:'1,234.50' is not a valid floating point value"),
        std::string::npos);
  }
  EXPECT_EQ(store->scalar("SELECT count(*) FROM VipCardType"), "12");
  EXPECT_EQ(store->scalar("SELECT count(*) FROM VipCardMaster"), "299");
}

}  // namespace
}  // namespace vip::test
