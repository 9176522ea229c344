#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "import/ImportRun.h"
#include "import/Operator.h"
#include "import/TestStore.h"
#include "store/Connection.h"
#include "store/Query.h"

namespace vip::test {
namespace {

const std::string kFixtures = std::string(VIP_FIXTURES) + "/import/";

// Records every call of the engine, in order, as one text per call.
class RecordingOperator : public import::Operator {
 public:
  std::vector<std::string> calls;

  void writeLog(const std::string& line) override { calls.push_back("log " + line); }
  void msgBox(const std::string& text) override { calls.push_back("notice " + text); }
  void processEvents() override { calls.push_back("pump"); }
  void importStarted() override { calls.push_back("started"); }
  void progress(import::Phase phase, int row, int rows) override {
    calls.push_back("progress " + std::to_string(static_cast<int>(phase)) + " " +
                    std::to_string(row) + "/" + std::to_string(rows));
  }
};

class ImportRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_store = TestStore::create(StoreEngine::Sqlite, "run");
    m_store->createSchema();
    m_connection.setConnectionString(m_store->connectionString());
  }

  import::ImportRun::Outcome run(const std::string& categories, const std::string& members) {
    import::ImportRun importRun(m_operator, m_qryInsert, m_qryDetail, "2030-02-03");
  return importRun.run(categories, members);
}

std::unique_ptr<TestStore>
    m_store;
store::Connection m_connection;
store::Query m_qryInsert{m_connection, "qryInsert"};
store::Query m_qryDetail{m_connection, "qryDetail"};
RecordingOperator m_operator;
};  // namespace

TEST_F(ImportRunTest, RefusedRunShowsOnlyItsNotice) {
  struct Case {
    std::string categories, members, notice;
  };
  const std::string path = kFixtures + "categories.xls";
  for (const Case& c : std::vector<Case>{{"", "", "请选择会员类别excel文件!"},
                                         {path, "", "请选择会员资料excel文件!"},
                                         {path, path, "请选择不同的两个文件!"}}) {
    m_operator.calls.clear();
    EXPECT_EQ(run(c.categories, c.members), import::ImportRun::Outcome::Refused);
    EXPECT_EQ(m_operator.calls, std::vector<std::string>{"notice " + c.notice});
  }
}

// The pump and the progress run once per row; the notice comes after the
// closing block.
TEST_F(ImportRunTest, CompletedRunPumpsOncePerRowAndEndsWithTheNotice) {
  EXPECT_EQ(run(kFixtures + "categories.xls", kFixtures + "members_error_cell.xlsx"),
            import::ImportRun::Outcome::Completed);
  const std::vector<std::string>& calls = m_operator.calls;
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls.front(), "started");
  EXPECT_EQ(calls[1], "log 正在导入会员类别，请耐心等待......");
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "pump"), 6 + 3);
  const std::vector<std::string> memberPhase(
      std::find(calls.begin(), calls.end(), "log 正在导入会员资料，请耐心等待......"), calls.end());
  ASSERT_FALSE(memberPhase.empty());
  EXPECT_EQ(memberPhase,
            (std::vector<std::string>{
                "log 正在导入会员资料，请耐心等待......", "progress 2 0/3", "pump",
                "progress 2 1/3", "pump", "progress 2 2/3",
                "log 插入第3行会员资料失败:Could not convert variant of type (Error) into type "
                "(String)",
                "pump", "progress 2 3/3", "log >>>会员资料数量:3 成功导入数量:2", "log ", "log <<<",
                "log 导入完毕", "log 会员类别数量:6 成功导入数量:4",
                "log 会员资料数量:3 成功导入数量:2", "log >>>", "notice 导入完毕"}));
}

// A sheet with only its title row, or with no cell at all, has no data
// rows: nothing is pumped and both numbers of the summary are 0.
TEST_F(ImportRunTest, SheetWithoutDataRowsGivesZeroSummary) {
  EXPECT_EQ(run(kFixtures + "empty_sheet.xlsx", kFixtures + "members_titles_only.xls"),
            import::ImportRun::Outcome::Completed);
  const std::vector<std::string> expected{"started",
                                          "log 正在导入会员类别，请耐心等待......",
                                          "progress 1 0/0",
                                          "log >>>会员类别数量:0 成功导入数量:0",
                                          "log 正在导入会员资料，请耐心等待......",
                                          "progress 2 0/0",
                                          "log >>>会员资料数量:0 成功导入数量:0",
                                          "log ",
                                          "log <<<",
                                          "log 导入完毕",
                                          "log 会员类别数量:0 成功导入数量:0",
                                          "log 会员资料数量:0 成功导入数量:0",
                                          "log >>>",
                                          "notice 导入完毕"};
  EXPECT_EQ(m_operator.calls, expected);
}

// A failure outside the row guards escapes with its message; the categories
// saved before it stay.
TEST_F(ImportRunTest, UnopenableWorkbookEscapesWithTheReadersMessage) {
  const std::string members = kFixtures + "does-not-exist.xlsx";
  try {
    run(kFixtures + "categories.xls", members);
    ADD_FAILURE() << "the run completed";
  } catch (const std::exception& e) {
    EXPECT_EQ(std::string(e.what()).substr(0, members.size()), members);
  }
  EXPECT_EQ(m_operator.calls.back(), "log 正在导入会员资料，请耐心等待......");
  EXPECT_EQ(m_store->scalar("SELECT count(*) FROM VipCardType"), "4");
}

}  // namespace vip::test
}  // namespace vip::test
