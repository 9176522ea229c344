#include <gtest/gtest.h>

#include "store/StatementMap.h"
#include "store/Statements.h"

namespace vip::test {
namespace {

using store::recogniseStatement;
using Kind = store::RecognisedStatement::Kind;

TEST(StatementMap, AllocationBatchIsTheSixLinesFormatted) {
  EXPECT_EQ(store::allocationBatch("VIPCardMaster", "VCM_ID"),
            "begin tran\n"
            "set nocount on \n"
            "update AutoSerialNo with (serializable) set ASN_NO=ASN_NO+1 where "
            "ASN_TYPE='VCM_ID_VIPCardMaster'\n"
            "if @@rowcount = 0  begin insert into AutoSerialNo  (ASN_NO,ASN_TYPE) select "
            "isnull(max(VCM_ID),0)+1,'VCM_ID_VIPCardMaster' from VIPCardMaster  end\n"
            "select  ASN_NO from AutoSerialNo where ASN_TYPE='VCM_ID_VIPCardMaster'\n"
            "commit tran");
  EXPECT_EQ(store::identityTestStatement("VIPCardDetail", "VCD_ID"),
            "select colstat,name from syscolumns where id=object_id('VIPCardDetail') and "
            "colstat=1 and name='VCD_ID'");
  EXPECT_EQ(store::selectEmptyStatement("VipCardType"), "Select top 0 * from VipCardType");
}

TEST(StatementMap, RecognisesTheProgramsOwnStatements) {
  struct Case {
    std::string text;
    Kind kind;
    const char* table;
    const char* column;
  };
  const std::string batch = store::allocationBatch("VIPCardDetail", "VCD_ID");
  const Case cases[] = {
      {store::selectEmptyStatement("VipCardMaster"), Kind::SelectEmpty, "VipCardMaster", ""},
      {store::statements::kBusinessDate, Kind::BusinessDate, "", ""},
      {store::identityTestStatement("VIPCardMaster", "VCM_ID"), Kind::IdentityTest, "VIPCardMaster",
       "VCM_ID"},
      {batch, Kind::Allocation, "VIPCardDetail", "VCD_ID"},
      // Near misses run as they stand.
      {"select top 0 * from VipCardMaster", Kind::Other, "", ""},
      {"Select top 0 * from VipCardMaster where 1=0", Kind::Other, "", ""},
      {"Select SP_Value from Qx_SysPara Where SP_Name='系统日期'", Kind::Other, "", ""},
      {store::identityTestStatement("A') or ('1'='1", "B"), Kind::Other, "", ""},
      {batch + "\nselect 1", Kind::Other, "", ""},
      {batch.substr(0, batch.size() - 1), Kind::Other, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto recognised = recogniseStatement(c.text);
    EXPECT_EQ(recognised.kind, c.kind);
    EXPECT_EQ(recognised.table, c.table);
    EXPECT_EQ(recognised.column, c.column);
  }
}

}  // namespace
}  // namespace vip::test
