#include "import/CheckReport.h"

#include <gtest/gtest.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "import/GeneratedWorkbooks.h"
#include "import/TestStore.h"
#include "sheet/SheetError.h"
#include "sheet/XlsxWriter.h"
#include "store/Connection.h"
#include "store/PgServer.h"

namespace vip::test {
namespace {

using Lines = std::vector<std::string>;
using Rows = std::vector<std::vector<std::string>>;

const std::string kFixtures = std::string(VIP_FIXTURES) + "/import/";

const std::vector<std::string> kMemberTitles = {"类别编号", "会员卡ID", "会员卡号", "姓名",
                                                "性别",     "手机号码", "创建日期", "到期日期",
                                                "总余额",   "本金余额", "赠送余额"};

// A member row of the workbook made for these tests.
std::vector<std::string> member(const std::string& category, const std::string& cardId,
                                const std::string& cardNo) {
  return {category,     cardId,       cardNo, "会员", "男", "13800000000",
          "2024-01-01", "2030-12-31", "150",  "100",  "50"};
}

std::string engineName(const ::testing::TestParamInfo<StoreEngine>& param) {
  return param.param == StoreEngine::Sqlite ? "Sqlite" : "Postgres";
}

class CheckFixture : public ::testing::Test {
 protected:
  void makeStore(StoreEngine engine, const SchemaOptions& options = {}) {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    m_store = TestStore::create(engine, "check_" + name.substr(0, name.find('/')));
    m_store->createSchema(options);
    m_connection.setConnectionString(m_store->connectionString());
    m_connection.open();
  }

  std::string book(const std::string& name, const Rows& rows) {
    std::string path = m_books.folder() + "/" + name + ".xlsx";
    sheet::XlsxWriter writer(path);
    for (const auto& row : rows)
      writer.addRow(row);
    writer.close();
    return path;
  }

  // Member rows with the full title row before them.
  std::string members(const std::string& name, Rows rows) {
    rows.insert(rows.begin(), kMemberTitles);
    return book(name, rows);
  }

  import::CheckReport check(const std::string& categories, const std::string& members) {
    return import::checkWorkbooks(m_connection, categories, members);
}

GeneratedWorkbooks m_books;
std::unique_ptr<TestStore> m_store;
store::Connection m_connection;
};  // namespace

class CheckReportTest : public CheckFixture, public ::testing::WithParamInterface<StoreEngine> {
 protected:
  void SetUp() override {
    if (GetParam() == StoreEngine::Postgres) VIP_REQUIRE_POSTGRES();
  }
  void makeStore(const SchemaOptions& options = {}) {
    CheckFixture::makeStore(GetParam(), options);
  }
};

::testing::AssertionResult hasLine(const import::CheckReport& report, const std::string& line) {
  if (std::find(report.lines.begin(), report.lines.end(), line) != report.lines.end())
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "no line \"" << line << "\" in " << ::testing::PrintToString(report.lines);
}

// The lines of the member section that follow its titles.
Lines memberFindings(const import::CheckReport& report) {
  auto begin = std::find_if(report.lines.begin(), report.lines.end(),
                            [](const std::string& l) { return l.starts_with("会员资料工作簿:"); });
  while (begin != report.lines.end() &&
         (begin->starts_with("会员资料工作簿:") || begin->starts_with("工作表:") ||
          begin->find("列'") != std::string::npos))
    ++begin;
  return Lines(begin, report.lines.end() - 1);
}

TEST_P(CheckReportTest, CleanWorkbooksGiveNoWarning) {
  makeStore();
  const std::string memberBook = m_books.members(3);
  const import::CheckReport report = check(m_books.categories(), memberBook);
  Lines expected = {"检查报告",
                    "会员类别工作簿:" + m_books.categories(),
                    "工作表:第1个工作表,使用区域A1:B3,数据行2行",
                    "A列'类别编号'导入到VCT_No",
                    "B列'类别名称'导入到VCT_Name",
                    "未发现问题",
                    "会员资料工作簿:" + memberBook,
                    "工作表:第1个工作表,使用区域A1:K4,数据行3行"};
  const std::string fields[] = {"VCT_No",           "VCM_CardID",     "VCM_CardNo",
                                "VCM_GuestName",    "VCM_Sex",        "VCM_MobileNo",
                                "VCM_CreateDate",   "VCM_EndDate",    "VCM_Balance",
                                "VCM_BalancePayed", "VCM_BalanceFree"};
  for (std::size_t i = 0; i < kMemberTitles.size(); ++i)
    expected.push_back(std::string(1, static_cast<char>('A' + i)) + "列'" + kMemberTitles[i] +
                       "'导入到" + fields[i]);
  expected.insert(expected.end(), {"未发现问题", "警告共0个"});
  EXPECT_EQ(report.lines, expected);
  EXPECT_EQ(report.warnings, 0);
}

// Each known title left out says what the store does with its column, as
// the store's own catalogue describes the column.
TEST_P(CheckReportTest, MissingTitlesSayWhatTheStoreDoesWithTheirColumns) {
  SchemaOptions options;
  options.retype = {{"VipCardMaster.VCM_Sex", "char(1) DEFAULT '0'"},
                    {"VipCardMaster.VCM_GuestName", "varchar(50) NOT NULL"}};
  options.omit = {"VipCardMaster.VCM_EndDate", "VipCardMaster.VCM_CreateDate"};
  makeStore(options);
  const std::string memberBook =
      book("missing", {{"类别编号", "会员卡号", "创建日期"}, {"01", "8001", "2024-01-01"}});
  const import::CheckReport report = check(m_books.categories(), memberBook);

  const std::string sexDefault = GetParam() == StoreEngine::Sqlite ? "'0'" : "'0'::bpchar";
  EXPECT_TRUE(hasLine(report,
                      "C列'创建日期'应导入到VCM_CreateDate,但VipCardMaster没有此列:"
                      "每行都将导入失败"));
  for (const std::string& line : Lines{
           "缺少标题'会员卡ID':VCM_CardID将为NULL",
           "缺少标题'姓名':VCM_GuestName不可为NULL且没有默认值,每行都将被数据库拒绝",
           "缺少标题'性别':VCM_Sex取数据库的默认值" + sexDefault,
           "缺少标题'到期日期':VipCardMaster也没有VCM_EndDate列",
       })
    EXPECT_TRUE(hasLine(report, line));
  // One for the column the store lacks, eight for the missing titles.
  EXPECT_EQ(report.warnings, 1 + 8);
}

// Card numbers given twice in the sheet, and those the store holds already
// (as after an import of the same workbook), each with its rows.
TEST_P(CheckReportTest, RepeatedAndStoredCardNumbersAreListedWithTheirRows) {
  makeStore();
  m_store->exec(
      "INSERT INTO VipCardMaster(VCM_ID, VCM_CardNo, VCM_CardID) VALUES (1, '8001', "
      "'A009'); INSERT INTO VipCardMaster(VCM_ID, VCM_CardNo, VCM_CardID) VALUES (2, "
      "NULL, '')");
  const std::string memberBook =
      members("cards", {member("01", "A001", "8001"), member("01", "A002", "8002"),
                        member("01", "A003", "8001"), member("01", "A009", "8003"),
                        member("01", "A001", "8002"), member("01", "", ""), member("01", "", "")});
  const import::CheckReport report = check(m_books.categories(), memberBook);
  EXPECT_EQ(memberFindings(report),
            (Lines{"会员卡号'8001'在工作表中重复:第2、4行", "会员卡号'8002'在工作表中重复:第3、6行",
                   "会员卡号'8001'已存在于VipCardMaster:第2、4行",
                   "会员卡ID'A001'在工作表中重复:第2、6行",
                   "会员卡ID'A009'已存在于VipCardMaster:第5行"}));
  EXPECT_EQ(report.warnings, 5);
}

// A member's category must be in the store or in the category workbook.
TEST_P(CheckReportTest, UnknownCategoriesAreListedWithTheirRows) {
  makeStore();
  m_store->exec("INSERT INTO VipCardType(VCT_No, VCT_Name) VALUES ('03', '铂金卡')");
  const std::string memberBook =
      members("unknown_categories",
              {member("01", "A1", "1"), member("03", "A2", "2"), member("05", "A3", "3"),
               member("05", "A4", "4"), member("1", "A5", "5"), member("", "A6", "6")});
  const import::CheckReport report = check(m_books.categories(), memberBook);
  EXPECT_EQ(memberFindings(report),
            (Lines{"类别编号'05'既不在VipCardType中,也不在会员类别工作簿中:第4-5行",
                   "类别编号'1'既不在VipCardType中,也不在会员类别工作簿中:第6行"}));
  EXPECT_EQ(report.warnings, 2);
}

INSTANTIATE_TEST_SUITE_P(Engines, CheckReportTest,
                         ::testing::Values(StoreEngine::Sqlite, StoreEngine::Postgres), engineName);

// What does not depend on the engine runs on SQLite only.
class CheckReportSheet : public CheckFixture {
 protected:
  void SetUp() override { makeStore(StoreEngine::Sqlite); }
};

struct NearMissCase {
  std::string title;
  std::string line;  // "" for a title without a hint: no warning
};

// A title one column to the right of the eleven known ones.
TEST_F(CheckReportSheet, NearMissTitlesGetAHintAndAWarning) {
  const std::vector<NearMissCase> cases = {
      {"姓名 ", "L列'姓名 '不导入:'姓名 ' 与 '姓名' 仅差空格"},
      {"姓\t名", "L列'姓 名'不导入:'姓 名' 与 '姓名' 仅差空格"},
      {"姓名\u3000", "L列'姓名\u3000'不导入:'姓名\u3000' 与 '姓名' 仅差空格"},
      {"会员卡ＩＤ", "L列'会员卡ＩＤ'不导入:'会员卡ＩＤ' 与 '会员卡ID' 仅差全角/半角"},
      {"\u200B姓名", "L列'<U+200B>姓名'不导入:'<U+200B>姓名' 与 '姓名' 仅差不可见字符"},
      {"姓名\u00A0", "L列'姓名<U+00A0>'不导入:'姓名<U+00A0>' 与 '姓名' 仅差不可见字符"},
      {"本金\u00AD余额",
       "L列'本金<U+00AD>余额'不导入:'本金<U+00AD>余额' 与 '本金余额' 仅差不可见字符"},
      {"\uFEFF会员卡ＩＤ ",
       "L列'<U+FEFF>会员卡ＩＤ '不导入:'<U+FEFF>会员卡ＩＤ ' 与 '会员卡ID' "
       "仅差空格、全角/半角和不可见字符"},
      {"会员卡id", ""},
      {"备注", ""},
  };
  for (const NearMissCase& c : cases) {
    SCOPED_TRACE(c.title);
    std::vector<std::string> titles = kMemberTitles;
    titles.push_back(c.title);
    const import::CheckReport report =
        check(m_books.categories(), book("near", {titles, member("01", "A1", "1")}));
    EXPECT_TRUE(hasLine(report, c.line.empty() ? "L列'" + c.title + "'不导入" : c.line));
    EXPECT_EQ(report.warnings, c.line.empty() ? 0 : 1);
  }
}

// Of two columns with one title a member row saves the last one, empty or
// not, and a category row the last one that holds a text: the values
// compared are those.
TEST_F(CheckReportSheet, RepeatedTitleGivesTheValueTheImportSaves) {
  const std::string categories =
      book("repeated_title",
           {{"类别编号", "类别名称", "类别编号"}, {"01", "金卡", ""}, {"", "银卡", "02"}});
  std::vector<std::string> titles = kMemberTitles;
  titles.push_back("会员卡号");
  std::vector<std::string> first = member("01", "A1", "8001"), second = member("02", "A2", "8009");
  first.push_back("8009");
  const import::CheckReport report =
      check(categories, book("repeated_card", {titles, first, second}));
  EXPECT_TRUE(hasLine(report, "A列'类别编号'导入到VCT_No(与C列同名,以后者为准)"));
  EXPECT_TRUE(hasLine(report, "C列'会员卡号'导入到VCM_CardNo(与L列同名,以后者为准)"));
  EXPECT_EQ(report.warnings, 0) << ::testing::PrintToString(report.lines);
}

// Rows that hold nothing: formatted blanks at the end of the used range
// (what a spreadsheet leaves after rows are cleared), and gaps in between.
TEST_F(CheckReportSheet, EmptyRowsAtTheEndAndInBetweenAreWarnedOf) {
  const std::string path = m_books.folder() + "/blanks.xlsx";
  lxw_workbook* workbook = workbook_new(path.c_str());
  lxw_worksheet* sheet = workbook_add_worksheet(workbook, nullptr);
  lxw_format* bold = workbook_add_format(workbook);
  format_set_bold(bold);
  const auto writeRow = [&](lxw_row_t row, const std::vector<std::string>& cells) {
    for (std::size_t col = 0; col < cells.size(); ++col)
      worksheet_write_string(sheet, row, static_cast<lxw_col_t>(col), cells[col].c_str(), nullptr);
  };
  writeRow(0, kMemberTitles);
  for (const lxw_row_t row : {1, 3, 6})
    writeRow(row, member("01", "A" + std::to_string(row), std::to_string(row)));
  for (const lxw_row_t row : {7, 8})
    worksheet_write_blank(sheet, row, 2, bold);
  ASSERT_EQ(workbook_close(workbook), LXW_NO_ERROR);

  const import::CheckReport report = check(m_books.categories(), path);
  EXPECT_TRUE(hasLine(report, "工作表:第1个工作表,使用区域A1:K9,数据行8行"));
  EXPECT_EQ(memberFindings(report),
            (Lines{"末尾空行:第8-9行,将作为空记录导入", "中间空行:第3、5-6行,将作为空记录导入"}));
  EXPECT_EQ(report.warnings, 5);
}

// Long lists keep their first twenty items and say how many there are.
TEST_F(CheckReportSheet, LongListsAreCut) {
  Rows rows;
  for (int n = 1; n <= 25; ++n) {
    rows.push_back(member("01", "A" + std::to_string(n), "C" + std::to_string(n)));
    rows.push_back(member("01", "B" + std::to_string(n), "C" + std::to_string(n)));
    rows.push_back({});
  }
  rows.push_back(member("01", "Z", "Z"));
  const import::CheckReport report = check(m_books.categories(), members("long", rows));
  const Lines findings = memberFindings(report);
  ASSERT_EQ(findings.size(), 2u + 20u) << ::testing::PrintToString(findings);
  std::string inner = "中间空行:第";
  for (int n = 0; n < 20; ++n)
    inner += (n > 0 ? "、" : "") + std::to_string(4 + 3 * n);
  EXPECT_EQ(findings[0], inner + "行……共25行,将作为空记录导入");
  EXPECT_EQ(findings[1], "会员卡号'C1'在工作表中重复:第2-3行");
  EXPECT_EQ(findings.back(), "……共25个");
  EXPECT_EQ(report.warnings, 25 + 25);
}

// The two files swapped, and a heading above the titles: no title matches,
// and the report says why it may be.
TEST_F(CheckReportSheet, SwappedFilesAndAHeadingRowAreNoted) {
  const std::string memberBook = m_books.members(2);
  const import::CheckReport swapped = check(memberBook, m_books.categories());
  EXPECT_TRUE(hasLine(swapped, "C列'会员卡号'不导入:这是会员资料工作簿的标题"));
  EXPECT_TRUE(hasLine(swapped, "B列'类别名称'不导入:这是会员类别工作簿的标题"));
  EXPECT_TRUE(hasLine(swapped, "缺少标题'类别名称':VCT_Name将为NULL"));

  const std::string headed =
      book("headed", {{"2024年会员类别"}, {"类别编号", "类别名称"}, {"01", "金卡"}});
  const import::CheckReport report = check(headed, memberBook);
  EXPECT_TRUE(hasLine(report, "第2行有已知标题'类别编号':标题须在第1行"));
  EXPECT_TRUE(
      hasLine(report, "缺少标题'类别编号':VCT_No不可为NULL且没有默认值,每行都将被数据库拒绝"));
}

// A cell that cannot be read is reported, not thrown; a workbook that does
// not open throws the reader's failure, as the import does.
TEST_F(CheckReportSheet, UnreadableCellsAreReportedAndUnopenableWorkbooksThrow) {
  const import::CheckReport report =
      check(m_books.categories(), kFixtures + "members_error_cell.xlsx");
  EXPECT_TRUE(hasLine(report,
                      "单元格C3无法读取:Could not convert variant of type (Error) into "
                      "type (String);第3行将导入失败"));
  EXPECT_THROW(check(m_books.categories(), kFixtures + "not_a_workbook.xls"), sheet::SheetError);
}

}  // namespace vip::test
}  // namespace vip::test
