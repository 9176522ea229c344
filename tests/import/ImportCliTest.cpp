#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "common/DateTime.h"
#include "common/Messages.h"
#include "import/CliRun.h"
#include "import/TestStore.h"
#include "store/PgServer.h"

namespace vip::test {
namespace {

using Lines = std::vector<std::string>;
using Rows = std::vector<std::vector<std::string>>;

const std::string kFixtures = std::string(VIP_FIXTURES) + "/import/";

std::string fixture(const std::string& name) {
  return kFixtures + name;
}

CliResult runImport(const TestStore& store, const std::string& categories,
                    const std::string& members) {
  return runCli({"import", "--connect", store.connectionString(), "--categories", categories,
                 "--members", members});
}

// What the store says when it refuses a row, as each engine words it.
std::string uniqueRefusal(StoreEngine engine) {
  return engine == StoreEngine::Sqlite ? "UNIQUE constraint failed" : "duplicate key";
}
std::string notNullRefusal(StoreEngine engine) {
  return engine == StoreEngine::Sqlite ? "NOT NULL constraint failed" : "null value";
}

// Checks the log line by line; an expected line ending in "*" only has to
// begin with the text before the "*", and then must contain `contains`.
struct Expected {
  std::string text;
  std::string contains = {};
};

void expectLog(const Lines& actual, const std::vector<Expected>& expected) {
  ASSERT_EQ(actual.size(), expected.size()) << ::testing::PrintToString(actual);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const std::string& want = expected[i].text;
    if (!want.empty() && want.back() == '*') {
      const std::string prefix = want.substr(0, want.size() - 1);
      EXPECT_EQ(actual[i].substr(0, prefix.size()), prefix) << "line " << i + 1;
      EXPECT_NE(actual[i].find(expected[i].contains, prefix.size()), std::string::npos)
          << "line " << i + 1 << ": " << actual[i];
    } else {
      EXPECT_EQ(actual[i], want) << "line " << i + 1;
    }
  }
}

class ImportCli : public ::testing::TestWithParam<StoreEngine> {
 protected:
  void SetUp() override {
    if (GetParam() == StoreEngine::Postgres) VIP_REQUIRE_POSTGRES();
  }
  std::unique_ptr<TestStore> makeStore(const std::string& name) {
    return TestStore::create(GetParam(), name);
  }
};

// The category fixture: rows 2, 3, 5 and 7 import; row 4 repeats row 2's
// number, row 6 is empty and the store needs a number. Row 5's name is cut
// by an 8-character VCT_Name. The member fixture: row 5 has an unreadable
// balance, rows 2, 3, 6 and 8 have opening balances, row 7 is empty.
TEST_P(ImportCli, CompletedRunLogsFailuresWarningsSummariesAndClosingBlock) {
  for (const std::string kind : {"xls", "xlsx"}) {
    SCOPED_TRACE(kind);
    auto store = makeStore("complete_" + kind);
    SchemaOptions options;
    options.categoryNameLength = 8;
    store->createSchema(options);
    store->exec("INSERT INTO Qx_SysPara(SP_Name, SP_Value) VALUES ('系统日期', '2030-02-03')");

    const CliResult result =
        runImport(*store, fixture("categories." + kind), fixture("members." + kind));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "导入完毕\n");
    expectLog(result.outLines(),
              {{"正在导入会员类别，请耐心等待......"},
               {"插入第4行会员类别失败:*", uniqueRefusal(GetParam())},
               // The column as the store names it (PostgreSQL folds names to lower case).
               {GetParam() == StoreEngine::Sqlite ? "警告:第5行字段VCT_Name超长,已截断"
                                                  : "警告:第5行字段vct_name超长,已截断"},
               {"插入第6行会员类别失败:*", notNullRefusal(GetParam())},
               {">>>会员类别数量:6 成功导入数量:4"},
               {"正在导入会员资料，请耐心等待......"},
               {"插入第5行会员资料失败:'1,234.50' is not a valid floating point value"},
               {">>>会员资料数量:7 成功导入数量:6"},
               {""},
               {"<<<"},
               {"导入完毕"},
               {"会员类别数量:6 成功导入数量:4"},
               {"会员资料数量:7 成功导入数量:6"},
               {">>>"}});

    // The refused rows left nothing behind; the price IDs are 1.
    EXPECT_EQ(store->rows("SELECT VCT_No, VCT_Name, VCT_BaoFangPriceID, VCT_JiuBaPriceID, "
                          "VCT_ChaoShiPriceID FROM VipCardType ORDER BY VCT_No"),
              (Rows{{"01", "金卡", "1", "1", "1"},
                    {"02", "银卡", "1", "1", "1"},
                    {"03", GetParam() == StoreEngine::Sqlite ? "钻石至尊" : "钻石至尊无限尊享", "1",
                     "1", "1"},
                    {"4", "普通卡", "1", "1", "1"}}));

    // Member numbers come from the counter; the failed row 5 leaves a gap at 4.
    const std::string today = todayText();
    EXPECT_EQ(
        store->rows("SELECT VCM_ID, VCT_No, VCM_CardID, VCM_CardNo, VCM_GuestName, VCM_Sex, "
                    "VCM_MobileNo, VCM_CreateDate, VCM_EndDate, VCM_Balance, VCM_BalancePayed, "
                    "VCM_BalanceFree, VCM_BalanceE FROM VipCardMaster ORDER BY VCM_ID"),
        (Rows{{"1", "01", "A001", "8001", "张三", "0", "13800000001", "2024-01-05", "2025-01-05",
               "150.5", "100.1", "50.4", "MTUwLjUw"},
              {"2", "02", "A002", "8002", "李四", "1", "", today, "", "12.345", "100", "0",
               "MTIuMzU="},
              {"3", "01", "A003", "8003", "王五", "0", "", today, "", "0", "0", "0", "MC4wMA=="},
              {"5", "02", "A005", "8005", "钱七", "0", "", today, "", "0", "0", "50", "MC4wMA=="},
              {"6", "", "", "", "", "0", "", today, "", "0", "0", "0", "MC4wMA=="},
              {"7", "03", "A006", "8006", "孙八", "0", "13800000008", "2023-06-30", "", "2.675",
               "12345.67", "-3", "Mi42OA=="}}));
    EXPECT_EQ(
        store->scalar("SELECT ASN_NO FROM AutoSerialNo WHERE ASN_TYPE='VCM_ID_VIPCardMaster'"),
        "7");

    // Entries: principal before gift, each its own number, the amounts as
    // typed (not squeezed through single precision), the business date.
    EXPECT_EQ(
        store->rows("SELECT VCD_ID, VCM_ID, VCD_Flag, VCD_SysDate, VCD_Descript, "
                    "VCD_ClerkName, VCD_KaZengBeginDate, VCD_KaZengEndDate "
                    "FROM VIPCardDetail ORDER BY VCD_ID"),
        (Rows{{"1", "1", "C", "2030-02-03", "初始化本金余额", "系统", "<null>", "<null>"},
              {"2", "1", "F", "2030-02-03", "初始化赠送余额", "系统", "2030-02-03", "9999-12-31"},
              {"3", "2", "C", "2030-02-03", "初始化本金余额", "系统", "<null>", "<null>"},
              {"4", "5", "F", "2030-02-03", "初始化赠送余额", "系统", "2030-02-03", "9999-12-31"},
              {"5", "7", "C", "2030-02-03", "初始化本金余额", "系统", "<null>", "<null>"}}));
    EXPECT_EQ(store->rows("SELECT VCD_ID FROM VIPCardDetail WHERE "
                          "(VCD_ID = 1 AND VCD_CRMoney = 100.1 AND VCD_Balance = 100.1 AND "
                          " VCD_KaZengBalance IS NULL) OR "
                          "(VCD_ID = 2 AND VCD_CRMoney = 50.4 AND VCD_Balance = 50.4 AND "
                          " VCD_KaZengBalance = 50.4) OR "
                          "(VCD_ID = 3 AND VCD_CRMoney = 100 AND VCD_Balance = 100) OR "
                          "(VCD_ID = 4 AND VCD_CRMoney = 50 AND VCD_KaZengBalance = 50) OR "
                          "(VCD_ID = 5 AND VCD_CRMoney = 12345.67 AND VCD_Balance = 12345.67) "
                          "ORDER BY VCD_ID"),
              (Rows{{"1"}, {"2"}, {"3"}, {"4"}, {"5"}}));
    EXPECT_EQ(store->scalar("SELECT count(*) FROM VIPCardDetail WHERE VCD_DateTime IS NULL"), "0");
  }
}

TEST_P(ImportCli, StoreNumberedMembersHandTheirNumbersToTheEntries) {
  auto store = makeStore("identity");
  SchemaOptions options;
  options.identityMemberId = true;
  store->createSchema(options);
  store->exec("INSERT INTO VipCardMaster(VCM_GuestName) VALUES ('老会员')");

  const CliResult result = runImport(*store, fixture("categories.xlsx"), fixture("members.xlsx"));
  EXPECT_EQ(result.status, 0) << result.err;

  // Every entry names the member it belongs to by the store's own number; no
  // counter was drawn for the members.
  EXPECT_EQ(store->rows("SELECT m.VCM_GuestName, d.VCD_Flag FROM VIPCardDetail d "
                        "JOIN VipCardMaster m ON CAST(m.VCM_ID AS varchar(20)) = d.VCM_ID "
                        "ORDER BY d.VCD_ID"),
            (Rows{{"张三", "C"}, {"张三", "F"}, {"李四", "C"}, {"钱七", "F"}, {"孙八", "C"}}));
  EXPECT_EQ(store->scalar("SELECT count(*) FROM VIPCardDetail WHERE VCM_ID = '' OR VCM_ID IS NULL"),
            "0");
  EXPECT_EQ(
      store->scalar("SELECT count(*) FROM AutoSerialNo WHERE ASN_TYPE='VCM_ID_VIPCardMaster'"),
      "0");
  // Without a business date in Qx_SysPara the entries carry today's date.
  EXPECT_EQ(store->rows("SELECT DISTINCT VCD_SysDate FROM VIPCardDetail"), (Rows{{todayText()}}));
}

TEST_P(ImportCli, MissingColumnsFailTheRowsThatNameThem) {
  auto store = makeStore("missing");
  SchemaOptions options;
  options.omit = {"VipCardType.VCT_BaoFangPriceID", "VIPCardDetail.VCD_KaZengBalance"};
  store->createSchema(options);

  const CliResult result = runImport(*store, fixture("categories.xls"), fixture("members.xls"));
  EXPECT_EQ(result.status, 0) << result.err;
  std::vector<Expected> log{{"正在导入会员类别，请耐心等待......"}};
  for (int row = 2; row <= 7; ++row) {
    log.push_back({"插入第" + std::to_string(row) +
                   "行会员类别失败:qryInsert: Field 'VCT_BaoFangPriceID' not found"});
  }
  log.insert(log.end(), {{">>>会员类别数量:6 成功导入数量:0"},
                         {"正在导入会员资料，请耐心等待......"},
                         {"插入第2行会员资料失败:qryDetail: Field 'VCD_KaZengBalance' not found"},
                         {"插入第5行会员资料失败:'1,234.50' is not a valid floating point value"},
                         {"插入第6行会员资料失败:qryDetail: Field 'VCD_KaZengBalance' not found"},
                         {">>>会员资料数量:7 成功导入数量:4"},
                         {""},
                         {"<<<"},
                         {"导入完毕"},
                         {"会员类别数量:6 成功导入数量:0"},
                         {"会员资料数量:7 成功导入数量:4"},
                         {">>>"}});
  expectLog(result.outLines(), log);

  EXPECT_EQ(store->scalar("SELECT count(*) FROM VipCardType"), "0");
  // A member whose gift entry failed stays, with its principal entry; the
  // failed entry's number stays drawn.
  EXPECT_EQ(store->scalar("SELECT count(*) FROM VipCardMaster"), "6");
  EXPECT_EQ(store->rows("SELECT VCD_ID, VCM_ID, VCD_Flag FROM VIPCardDetail ORDER BY VCD_ID"),
            (Rows{{"1", "1", "C"}, {"3", "2", "C"}, {"5", "7", "C"}}));
}

// A cut text is saved, but each cut column of each save is logged: a
// member's warnings right after its save, before those of its entries.
TEST_P(ImportCli, CutTextsAreLoggedAfterEachSave) {
  auto store = makeStore("truncation");
  SchemaOptions options;
  options.retype = {{"VipCardMaster.VCM_GuestName", "varchar(1)"},
                    {"VipCardMaster.VCM_CardID", "varchar(2)"},
                    {"VIPCardDetail.VCD_Descript", "varchar(4)"}};
  store->createSchema(options);

  const CliResult result = runImport(*store, fixture("categories.xls"), fixture("members.xls"));
  EXPECT_EQ(result.status, 0) << result.err;
  const bool pg = GetParam() == StoreEngine::Postgres;
  auto warning = [&](int row, std::string column) {
    if (pg) {
      std::transform(column.begin(), column.end(), column.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    }
    return "警告:第" + std::to_string(row) + "行字段" + column + "超长,已截断";
  };
  const Lines log = result.outLines();
  const auto memberStart = std::find(log.begin(), log.end(), "正在导入会员资料，请耐心等待......");
  ASSERT_NE(memberStart, log.end());
  EXPECT_EQ(
      Lines(memberStart + 1, memberStart + 16),
      (Lines{warning(2, "VCM_CardID"), warning(2, "VCM_GuestName"), warning(2, "VCD_Descript"),
             warning(2, "VCD_Descript"), warning(3, "VCM_CardID"), warning(3, "VCM_GuestName"),
             warning(3, "VCD_Descript"), warning(4, "VCM_CardID"), warning(4, "VCM_GuestName"),
             "插入第5行会员资料失败:'1,234.50' is not a valid floating point value",
             warning(6, "VCM_CardID"), warning(6, "VCM_GuestName"), warning(6, "VCD_Descript"),
             warning(8, "VCM_CardID"), warning(8, "VCM_GuestName")}));
  EXPECT_EQ(log[static_cast<std::size_t>(memberStart - log.begin()) + 16],
            warning(8, "VCD_Descript"));
  EXPECT_EQ(log[static_cast<std::size_t>(memberStart - log.begin()) + 17],
            ">>>会员资料数量:7 成功导入数量:6");
  // The cut texts themselves are saved, cut to the declared length.
  EXPECT_EQ(store->scalar("SELECT count(*) FROM VipCardMaster"), "6");
  EXPECT_EQ(store->scalar("SELECT count(*) FROM VIPCardDetail"), "5");
  EXPECT_EQ(store->scalar("SELECT VCM_CardID FROM VipCardMaster WHERE VCM_ID = 1"), "A0");
}

TEST_P(ImportCli, MemberWorkbookThatCannotBeOpenedEndsTheRunAfterTheCategories) {
  auto store = makeStore("unopenable");
  store->createSchema();
  const std::string members = fixture("not_a_workbook.xls");

  const CliResult result = runImport(*store, fixture("categories.xlsx"), members);
  EXPECT_EQ(result.status, 1);
  expectLog(result.outLines(), {{"正在导入会员类别，请耐心等待......"},
                                {"插入第4行会员类别失败:*", uniqueRefusal(GetParam())},
                                {"插入第6行会员类别失败:*", notNullRefusal(GetParam())},
                                {">>>会员类别数量:6 成功导入数量:4"},
                                {"正在导入会员资料，请耐心等待......"}});
  // The reader's message, shown as the error display shows it.
  const Lines err = result.errLines();
  ASSERT_EQ(err.size(), 1u) << result.err;
  EXPECT_EQ(err[0].substr(0, members.size()), members);
  EXPECT_EQ(err[0], errorDisplayText(err[0]));
  EXPECT_EQ(store->scalar("SELECT count(*) FROM VipCardType"), "4");
  EXPECT_EQ(store->scalar("SELECT count(*) FROM VipCardMaster"), "0");
}

TEST_P(ImportCli, CellThatCannotBeReadFailsOnlyItsRow) {
  auto store = makeStore("errorcell");
  store->createSchema();
  const CliResult result =
      runImport(*store, fixture("categories.xls"), fixture("members_error_cell.xlsx"));
  EXPECT_EQ(result.status, 0) << result.err;
  const Lines log = result.outLines();
  ASSERT_GE(log.size(), 9u);
  expectLog(Lines(log.end() - 8, log.end() - 5),
            {{"插入第3行会员资料失败:*", "Error"}, {">>>会员资料数量:3 成功导入数量:2"}, {""}});
  EXPECT_EQ(store->rows("SELECT VCM_GuestName FROM VipCardMaster ORDER BY VCM_ID"),
            (Rows{{"甲"}, {"丙"}}));
}

std::string engineName(const ::testing::TestParamInfo<StoreEngine>& param) {
  return param.param == StoreEngine::Sqlite ? "Sqlite" : "Postgres";
}

INSTANTIATE_TEST_SUITE_P(Engines, ImportCli,
                         ::testing::Values(StoreEngine::Sqlite, StoreEngine::Postgres), engineName);

}  // namespace
}  // namespace vip::test
