// A store that goes away or cannot be written while an import runs ends the
// run at the row where it failed, instead of failing every row after it; a
// store that cannot be written is refused when connecting.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/Error.h"
#include "import/CliRun.h"
#include "import/GeneratedWorkbooks.h"
#include "import/ImportRun.h"
#include "import/Operator.h"
#include "import/TestStore.h"
#include "store/Connection.h"
#include "store/PgServer.h"
#include "store/Query.h"

namespace vip::test {
namespace {

using Lines = std::vector<std::string>;

// Logs into memory and runs `action` once, just before member row `row`.
class TriggerOperator : public import::Operator {
 public:
  TriggerOperator(int row, std::function<void()> action)
      : m_row(row), m_action(std::move(action)) {}
  Lines log;

  void writeLog(const std::string& line) override { log.push_back(line); }
  void msgBox(const std::string& text) override { log.push_back("notice " + text); }
  void processEvents() override {}
  void importStarted() override {}
  void progress(import::Phase phase, int row, int) override {
    // Called with the rows done so far: sheet row `row + 1` comes next.
    if (phase == import::Phase::Members && row + 1 == m_row && m_action)
      std::exchange(m_action, {})();
  }

 private:
  int m_row;
  std::function<void()> m_action;
};

struct Ended {
  std::string message;  // of the failure that ended the run; "" if none did
  Lines log;
};

// Imports the generated workbooks into `store`, with `action` run just
// before member row `row`.
Ended importWith(TestStore& store, const std::string& members, const std::string& categories,
                 int row, const std::function<void(store::Connection&)>& action) {
  store::Connection connection;
  connection.setConnectionString(store.connectionString());
  store::Query qryInsert(connection, "qryInsert");
  store::Query qryDetail(connection, "qryDetail");
  TriggerOperator op(row, [&] { action(connection); });
  Ended ended;
  try {
    import::ImportRun(op, qryInsert, qryDetail, "2030-02-03").run(categories, members);
  } catch (const vip::Error& failure) {
    ended.message = failure.what();
  }
  ended.log = op.log;
  return ended;
}

std::vector<std::string> failureLines(const Lines& log) {
  std::vector<std::string> lines;
  for (const std::string& line : log) {
    if (line.rfind("插入第", 0) == 0) lines.push_back(line);
  }
  return lines;
}

// The run ended at member row `row` as a failure: that row's own line is
// the last in the log, with no summary of the phase and no closing block.
void expectEndedAt(const Ended& ended, int row, const std::string& storeText) {
  EXPECT_EQ(ended.message.rfind("数据库不可用,导入已停止:", 0), 0u) << ended.message;
  EXPECT_NE(ended.message.find("第" + std::to_string(row) + "行及以后的行未导入"),
            std::string::npos)
      << ended.message;
  EXPECT_NE(ended.message.find(storeText), std::string::npos) << ended.message;
  const auto failures = failureLines(ended.log);
  ASSERT_EQ(failures.size(), 1u) << ::testing::PrintToString(failures);
  EXPECT_EQ(failures[0].rfind("插入第" + std::to_string(row) + "行会员资料失败:", 0), 0u)
      << failures[0];
  ASSERT_FALSE(ended.log.empty());
  EXPECT_EQ(ended.log.back(), failures[0]);
  EXPECT_EQ(ended.log.back().find("导入完毕"), std::string::npos);
}

// The server stops while member row 101 is next: that row fails with the
// driver's message and the run ends; 99 members are kept.
TEST(StoreFailure, PostgresStoppedMidImportEndsTheRun) {
  VIP_REQUIRE_POSTGRES();
  PgServer& server = PgServer::isolated();
  ASSERT_TRUE(server.running()) << server.failure();
  auto store = TestStore::create(StoreEngine::Postgres, "stopped_mid_import", &server);
  store->createSchema();
  GeneratedWorkbooks books;
  const Ended ended = importWith(*store, books.members(300), books.categories(), 101,
                                 [&](store::Connection&) { server.stop(); });
  expectEndedAt(ended, 101, "");
  EXPECT_NE(ended.message.find("会员类别2条、会员资料99条保留在数据库中"), std::string::npos)
      << ended.message;
  ASSERT_TRUE(server.restart()) << server.failure();
  EXPECT_EQ(store->scalar("SELECT count(*) FROM VipCardMaster"), "99");
  EXPECT_EQ(store->scalar("SELECT count(*) FROM VIPCardDetail"), "198");
}

// A full store (SQLite's page limit stands in for a full disk): the first
// row that cannot be written is the last row tried.
TEST(StoreFailure, FullSqliteStoreEndsTheRun) {
  auto store = TestStore::create(StoreEngine::Sqlite, "full");
  store->createSchema();
  GeneratedWorkbooks books;
  const Ended ended =
      importWith(*store, books.members(2000), books.categories(), 50, [](store::Connection& c) {
        const auto pages = c.backend().query(store::Statement::text("PRAGMA page_count")).rows;
        const auto count = std::get<std::int64_t>(pages.at(0).at(0));
        c.backend().query(store::Statement::text("PRAGMA max_page_count=" + std::to_string(count)));
      });
  ASSERT_FALSE(ended.message.empty()) << "the run went on through a full store";
  const auto failures = failureLines(ended.log);
  ASSERT_EQ(failures.size(), 1u) << ::testing::PrintToString(failures);
  const int row = std::stoi(failures[0].substr(std::string("插入第").size()));
  expectEndedAt(ended, row, "database or disk is full");
}

// The store's folder is removed while the run goes on.
TEST(StoreFailure, VanishedSqliteStoreEndsTheRun) {
  auto store = TestStore::create(StoreEngine::Sqlite, "vanished");
  store->createSchema();
  GeneratedWorkbooks books;
  const std::string folder = std::filesystem::path(store->path()).parent_path();
  const Ended ended = importWith(*store, books.members(300), books.categories(), 40,
                                 [&](store::Connection&) { std::filesystem::remove_all(folder); });
  expectEndedAt(ended, 40, "");
}

// A store file or folder the account cannot write fails the connect, with
// the reason, instead of failing every row. As root the program runs as
// "nobody", for whom the root-owned store is read-only.
TEST(StoreFailure, ReadOnlyStoreFailsTheConnect) {
  const bool root = ::geteuid() == 0;
  auto store = TestStore::create(StoreEngine::Sqlite, "readonly");
  store->createSchema();
  GeneratedWorkbooks books;
  const std::string folder = std::filesystem::path(store->path()).parent_path();
  ::chmod(folder.c_str(), 0755);
  ::chmod(books.folder().c_str(), 0755);
  const struct {
    const char* what;
    mode_t fileMode;
    mode_t folderMode;
    const char* reason;
  } cases[] = {
      {"read-only file", 0444, 0755, "is read-only"},
      {"read-only folder", 0666, 0555, "cannot be written"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ::chmod(store->path().c_str(), root ? (c.fileMode == 0444 ? 0644 : 0666) : c.fileMode);
    ::chmod(folder.c_str(), root ? 0755 : c.folderMode);
    CliProcess cli({"import", "--connect", store->connectionString(), "--categories",
                    books.categories(), "--members", books.members(5)},
                   root ? "nobody" : "");
    const CliResult result = cli.finish();
    EXPECT_EQ(result.status, 3) << result.err;
    EXPECT_EQ(result.errLines().at(0), "连接数据库失败!");
    EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
  }
  ::chmod(folder.c_str(), 0755);
  EXPECT_EQ(store->scalar("SELECT count(*) FROM VipCardType"), "0");
}

}  // namespace
}  // namespace vip::test
