// An interrupted import ends between two rows: every member it saved has
// the entries its row wanted, and the log says where it stopped.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "import/CliRun.h"
#include "import/GeneratedWorkbooks.h"
#include "import/TestStore.h"
#include "store/PgServer.h"

namespace vip::test {
namespace {

struct Case {
  StoreEngine engine;
  int signal;
};

std::string caseName(const ::testing::TestParamInfo<Case>& info) {
  const char* engine = info.param.engine == StoreEngine::Sqlite ? "Sqlite" : "Postgres";
  return std::string(engine) + "_" + sigabbrev_np(info.param.signal);
}

class Interrupt : public ::testing::TestWithParam<Case> {};

TEST_P(Interrupt, StopsBetweenRowsAndSaysWhere) {
  if (GetParam().engine == StoreEngine::Postgres) VIP_REQUIRE_POSTGRES();
  auto store = TestStore::create(GetParam().engine,
                                 std::string("interrupt_") + sigabbrev_np(GetParam().signal));
  store->createSchema();
  GeneratedWorkbooks books;
  CliProcess cli({"import", "--connect", store->connectionString(), "--categories",
                  books.categories(), "--members", books.members(20000)});
  ASSERT_TRUE(cli.waitForOutput("正在导入会员资料", std::chrono::seconds(60)));
  // The signal comes once members are being saved.
  store->waitForMembers(100, [&] { return cli.running(); });
  cli.signal(GetParam().signal);
  const CliResult result = cli.finish();

  ASSERT_EQ(result.status, 130) << result.err;
  const auto lines = result.outLines();
  ASSERT_FALSE(lines.empty());
  const std::string prefix = "导入已中断:第";
  ASSERT_EQ(lines.back().rfind(prefix, 0), 0u) << lines.back();
  const int row = std::stoi(lines.back().substr(prefix.size()));
  EXPECT_EQ(lines.back(), prefix + std::to_string(row) + "行及以后的行未导入");
  EXPECT_GT(row, 2) << "the signal came before the first member";
  EXPECT_LT(row, 20002) << "the import had ended before the signal";
  // Every row before `row` was saved whole; none after it was tried.
  const std::string saved = std::to_string(row - 2);
  EXPECT_NE(result.err.find("会员资料已成功导入" + saved + "行"), std::string::npos) << result.err;
  EXPECT_EQ(store->scalar("SELECT count(*) FROM VipCardMaster"), saved);
  EXPECT_EQ(store->scalar("SELECT count(*) FROM VIPCardDetail"), std::to_string(2 * (row - 2)));
  for (const std::string& line : lines)
    EXPECT_EQ(line.rfind(">>>会员资料数量", 0), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Signals, Interrupt,
                         ::testing::Values(Case{StoreEngine::Sqlite, SIGINT},
                                           Case{StoreEngine::Sqlite, SIGTERM},
                                           Case{StoreEngine::Sqlite, SIGHUP},
                                           Case{StoreEngine::Postgres, SIGINT},
                                           Case{StoreEngine::Postgres, SIGTERM}),
                         caseName);

}  // namespace
}  // namespace vip::test
