#include <gtest/gtest.h>

#include "StoreTargets.h"
#include "common/DateTime.h"
#include "store/StoreError.h"

namespace vip::test {
namespace {

using store::Query;

class QueryTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    createTables();
  }

  template <class F>
  std::string messageOf(F&& action) {
    try {
      action();
    } catch (const vip::Error& error) {
      return error.what();
    }
    return "<no failure>";
  }
};

TEST_P(QueryTest, UnknownFieldNamesTheQuery) {
  Query qryInsert(m_connection, "qryInsert");
  qryInsert.setSql(store::Statement::selectEmpty("VipCardMaster"));
  qryInsert.open();
  qryInsert.append();
  EXPECT_EQ(messageOf([&] { qryInsert.setText("VCM_Foo", "x"); }),
            "qryInsert: Field 'VCM_Foo' not found");
  EXPECT_EQ(messageOf([&] { (void)qryInsert.fieldAsText("VCM_Foo"); }),
            "qryInsert: Field 'VCM_Foo' not found");
  // Letter case does not matter; the store's spelling is kept (PostgreSQL
  // folds unquoted names to lower case, SQLite keeps them as declared).
  const std::string& name = qryInsert.fields()[qryInsert.fieldIndex("vcm_cardno")].name;
  EXPECT_EQ(name, GetParam().name == "sqlite" ? "VCM_CardNo" : name);
  EXPECT_TRUE(name == "VCM_CardNo" || name == "vcm_cardno") << name;
}

TEST_P(QueryTest, PostSendsOnlyAssignedColumnsAndReportsCuts) {
  Query qryInsert(m_connection, "qryInsert");
  qryInsert.setSql(
      store::Statement::selectEmpty("VIPCardMaster"));  // the table in another letter case
  qryInsert.open();
  EXPECT_TRUE(qryInsert.eof());

  qryInsert.append();
  qryInsert.setInteger("VCM_ID", 7);
  qryInsert.setText("VCM_CardNo", "1234567890");  // declared varchar(8)
  qryInsert.setText("VCM_GuestName", "");         // empty text, not NULL
  qryInsert.post();
  const std::string cardNo = qryInsert.fields()[qryInsert.fieldIndex("VCM_CardNo")].name;
  EXPECT_EQ(qryInsert.truncatedColumns(), std::vector<std::string>{cardNo});
  EXPECT_FALSE(qryInsert.inInsertState());

  qryInsert.append();
  qryInsert.setInteger("VCM_ID", 8);
  qryInsert.setText("VCM_CardNo", "12345678");
  qryInsert.setText("VCM_Sex", "1");
  qryInsert.post();
  EXPECT_TRUE(qryInsert.truncatedColumns().empty());

  EXPECT_EQ(scalar("SELECT VCM_CardNo FROM VipCardMaster WHERE VCM_ID=7"), "12345678");
  // The store's default applies to the column given no value.
  EXPECT_EQ(scalar("SELECT VCM_Sex FROM VipCardMaster WHERE VCM_ID=7"), "0");
  EXPECT_EQ(scalar("SELECT VCM_Sex FROM VipCardMaster WHERE VCM_ID=8"), "1");
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM VipCardMaster WHERE VCM_GuestName=''"), "1");
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM VipCardMaster WHERE VCT_No IS NULL"), "2");
}

TEST_P(QueryTest, RefusedRecordStaysPendingUntilCancelled) {
  exec("INSERT INTO VipCardMaster(VCM_ID) VALUES(1)");
  Query qryInsert(m_connection, "qryInsert");
  qryInsert.setSql(store::Statement::selectEmpty("VipCardMaster"));
  qryInsert.open();
  qryInsert.append();
  qryInsert.setInteger("VCM_ID", 1);
  const std::string message = messageOf([&] { qryInsert.post(); });
  EXPECT_NE(message, "<no failure>");
  EXPECT_TRUE(qryInsert.inInsertState());
  qryInsert.cancel();
  EXPECT_FALSE(qryInsert.inInsertState());
  qryInsert.append();
  qryInsert.setInteger("VCM_ID", 2);
  qryInsert.post();
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM VipCardMaster"), "2");
}

TEST_P(QueryTest, IdentityColumnRefusesValuesAfterTheKindsOwnCheck) {
  Query qryDetail(m_connection, "qryDetail");
  qryDetail.setSql(store::Statement::selectEmpty("VIPCardDetail"));
  qryDetail.open();
  const auto& id = qryDetail.fields()[qryDetail.fieldIndex("VCD_ID")];
  const std::string& idName = id.name;  // the store's spelling
  EXPECT_TRUE(id.identity);
  EXPECT_FALSE(id.writable);
  qryDetail.append();
  EXPECT_EQ(messageOf([&] { qryDetail.setText("VCD_ID", ""); }),
            "Field '" + idName + "' cannot be modified");
  EXPECT_EQ(messageOf([&] { qryDetail.setInteger("VCD_ID", 5); }),
            "Field '" + idName + "' cannot be modified");
  EXPECT_EQ(messageOf([&] { qryDetail.setText("VCD_ID", "abc"); }),
            "'abc' is not a valid integer value for field '" + idName + "'");
}

TEST_P(QueryTest, WritingOutsideInsertStateFails) {
  Query qryInsert(m_connection, "qryInsert");
  qryInsert.setSql(store::Statement::selectEmpty("VipCardMaster"));
  qryInsert.open();
  EXPECT_THROW(qryInsert.setText("VCM_CardNo", "1"), store::StoreError);
  EXPECT_THROW(qryInsert.post(), store::StoreError);
  Query qryTmp(m_connection, "qryTmp");
  qryTmp.setSql(store::Statement::text("SELECT VCM_ID FROM VipCardMaster"));
  qryTmp.open();
  EXPECT_THROW(qryTmp.append(), store::StoreError);
}

// Appending again saves a pending record that holds a value and drops an
// untouched one; closing the query drops it.
TEST_P(QueryTest, PendingRecordOnAppendAndClose) {
  Query qryInsert(m_connection, "qryInsert");
  qryInsert.setSql(store::Statement::selectEmpty("VipCardMaster"));
  qryInsert.open();
  qryInsert.append();
  qryInsert.setInteger("VCM_ID", 5);
  qryInsert.append();
  qryInsert.append();
  qryInsert.setInteger("VCM_ID", 6);
  qryInsert.close();
  EXPECT_FALSE(qryInsert.inInsertState());
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM VipCardMaster"), "1");
  EXPECT_EQ(scalar("SELECT VCM_ID FROM VipCardMaster"), "5");
}

TEST_P(QueryTest, ReadsRowsAndReopensAClosedConnection) {
  exec(
      "INSERT INTO VipCardMaster(VCM_ID, VCM_GuestName, VCM_Balance) VALUES(1, 'Ann', 12.5);"
      "INSERT INTO VipCardMaster(VCM_ID, VCM_GuestName) VALUES(2, NULL);");
  m_connection.close();
  Query qryTmp(m_connection, "qryTmp");
  qryTmp.setSql(store::Statement::text(
      "SELECT VCM_ID, VCM_GuestName, VCM_Balance FROM VipCardMaster ORDER BY VCM_ID"));
  qryTmp.open();
  EXPECT_TRUE(m_connection.isOpen());
  ASSERT_FALSE(qryTmp.eof());
  EXPECT_EQ(qryTmp.fieldAsText("vcm_id"), "1");
  EXPECT_EQ(qryTmp.fieldAsText("VCM_GuestName"), "Ann");
  EXPECT_EQ(qryTmp.fieldAsText("VCM_Balance"), "12.5");
  qryTmp.next();
  ASSERT_FALSE(qryTmp.eof());
  EXPECT_EQ(qryTmp.fieldAsText("VCM_GuestName"), "");
  qryTmp.next();
  EXPECT_TRUE(qryTmp.eof());
}

INSTANTIATE_TEST_SUITE_P(Stores, QueryTest, ::testing::ValuesIn(storeTargets()), targetName);

}  // namespace
}  // namespace vip::test
