#include <gtest/gtest.h>

#include <filesystem>

#include "StoreTargets.h"
#include "common/DateTime.h"
#include "store/BusinessDate.h"
#include "store/StoreError.h"

namespace vip::test {
namespace {

using store::connectStore;
using store::Query;

class BusinessDateTest : public StoreTest {};

TEST_P(BusinessDateTest, ParameterRowGivesTheDate) {
  exec("CREATE TABLE Qx_SysPara(SP_Name varchar(50), SP_Value varchar(100))");
  struct Case {
    const char* what;
    const char* rows;
    std::string expected;
  };
  const Case cases[] = {
      {"no row", "", vip::todayText()},
      {"row as stored, whatever its form",
       "INSERT INTO Qx_SysPara VALUES('系统日期', '2024/1/2 x');"
       "INSERT INTO Qx_SysPara VALUES('其他', '1999-01-01');",
       "2024/1/2 x"},
      {"null value", "INSERT INTO Qx_SysPara VALUES('系统日期', NULL)", ""},
      {"empty value", "INSERT INTO Qx_SysPara VALUES('系统日期', '')", ""},
  };
  store::Connection acQxsys;
  Query qryTmp(acQxsys, "qryTmp");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    exec(std::string("DELETE FROM Qx_SysPara;") + c.rows);
    std::string sysDate = "unset";
    const auto result = connectStore(acQxsys, qryTmp, m_connectionString, sysDate);
    EXPECT_TRUE(result.opened) << result.reason;
    EXPECT_EQ(sysDate, c.expected);
    EXPECT_TRUE(acQxsys.isOpen());
    EXPECT_TRUE(qryTmp.isOpen());
  }
}

TEST_P(BusinessDateTest, MissingParameterTableRaisesWithConnectionOpen) {
  store::Connection acQxsys;
  Query qryTmp(acQxsys, "qryTmp");
  std::string sysDate;
  EXPECT_THROW(connectStore(acQxsys, qryTmp, m_connectionString, sysDate), store::StoreError);
  EXPECT_TRUE(acQxsys.isOpen());
  EXPECT_EQ(sysDate, vip::todayText());
}

INSTANTIATE_TEST_SUITE_P(Stores, BusinessDateTest, ::testing::ValuesIn(storeTargets()), targetName);

TEST(ConnectStore, UnreachableStoreReportsWhyWithoutThePassword) {
  const std::string secret = "qelvirandospu";
  const std::string strings[] = {
      "Provider=SQLite;Password=" + secret + ";Data Source=" + scratchDir() + "/absent.db",
      "Provider=Bogus;Password=" + secret,
      "Provider=SQLite;Password='" + secret,  // unterminated quote
  };
  for (const std::string& text : strings) {
    store::Connection acQxsys;
    Query qryTmp(acQxsys, "qryTmp");
    std::string sysDate;
    const auto result = connectStore(acQxsys, qryTmp, text, sysDate);
    EXPECT_FALSE(result.opened);
    EXPECT_FALSE(result.reason.empty());
    if (text.find("absent.db") != std::string::npos) {
      EXPECT_NE(result.reason.find("absent.db' does not exist"), std::string::npos)
          << result.reason;
    }
    EXPECT_EQ(result.reason.find(secret), std::string::npos) << "reason leaks the password";
    EXPECT_FALSE(acQxsys.isOpen());
    EXPECT_EQ(sysDate, vip::todayText());
    EXPECT_EQ(acQxsys.connectionString(), text);
  }
  EXPECT_FALSE(std::filesystem::exists(scratchDir() + "/absent.db"));
}

// A Data Source with control characters, or one of thousands of characters,
// stands in the reason escaped and shortened.
TEST(ConnectStore, DataSourceInTheReasonIsEscapedAndShortened) {
  const std::string source = scratchDir() + "/tab\there/" + std::string(2000, 'y') + ".db";
  store::Connection acQxsys;
  Query qryTmp(acQxsys, "qryTmp");
  std::string sysDate;
  const auto result =
      connectStore(acQxsys, qryTmp, "Provider=SQLite;Data Source=\"" + source + "\"", sysDate);
  EXPECT_FALSE(result.opened);
  EXPECT_EQ(result.reason.find('\t'), std::string::npos) << result.reason;
  EXPECT_NE(result.reason.find("tab here"), std::string::npos) << result.reason;
  EXPECT_LT(result.reason.size(), 500u);
}

}  // namespace
}  // namespace vip::test
