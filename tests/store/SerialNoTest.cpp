#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

#include "StoreTargets.h"
#include "store/SerialNo.h"
#include "store/StoreError.h"

namespace vip::test {
namespace {

using store::AssignAutoSerialNo;
using store::Query;

class SerialNoTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    createTables();
  }

  // Appends a member record to `query`, opened on the member table first.
  static void appendMember(Query& query) {
    if (!query.isOpen()) {
      query.setSql(store::Statement::selectEmpty("VipCardMaster"));
      query.open();
    }
    query.append();
  }

  // Appends a member record to `query` and numbers it.
  static std::string drawMember(Query& query) {
    appendMember(query);
    AssignAutoSerialNo("VIPCardMaster", "VCM_ID", &query);
    return query.fieldAsText("VCM_ID");
  }
};

TEST_P(SerialNoTest, FirstNumberFollowsTheTableOrTheCounter) {
  struct Case {
    const char* what;
    const char* setup;
    const char* first;
    const char* second;
  };
  const Case cases[] = {
      {"empty table, no counter", "", "1", "2"},
      {"members up to 250, no counter",
       "INSERT INTO VipCardMaster(VCM_ID) VALUES(1);"
       "INSERT INTO VipCardMaster(VCM_ID) VALUES(250);",
       "251", "252"},
      {"counter 300 behind the table's 500",
       "INSERT INTO VipCardMaster(VCM_ID) VALUES(500);"
       "INSERT INTO AutoSerialNo(ASN_TYPE,ASN_NO) VALUES('VCM_ID_VIPCardMaster',300);",
       "301", "302"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    exec("DELETE FROM VipCardMaster; DELETE FROM AutoSerialNo;");
    if (*c.setup) exec(c.setup);
    Query qryInsert(m_connection, "qryInsert");
    EXPECT_EQ(drawMember(qryInsert), c.first);
    qryInsert.post();
    EXPECT_EQ(drawMember(qryInsert), c.second);
    // The counter row carries the caller's letter case and the last number.
    EXPECT_EQ(scalar("SELECT ASN_NO FROM AutoSerialNo WHERE ASN_TYPE='VCM_ID_VIPCardMaster'"),
              c.second);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM AutoSerialNo"), "1");
  }
}

TEST_P(SerialNoTest, NumberOfARecordNeverSavedIsUsedUp) {
  Query qryInsert(m_connection, "qryInsert");
  EXPECT_EQ(drawMember(qryInsert), "1");
  qryInsert.cancel();
  EXPECT_EQ(drawMember(qryInsert), "2");
  qryInsert.post();
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM VipCardMaster"), "1");
  EXPECT_EQ(scalar("SELECT MIN(VCM_ID) FROM VipCardMaster"), "2");
}

TEST_P(SerialNoTest, IdentityColumnIsLeftToTheStore) {
  Query qryDetail(m_connection, "qryDetail");
  qryDetail.setSql(store::Statement::selectEmpty("VIPCardDetail"));
  qryDetail.open();
  for (const char* expected : {"1", "2"}) {
    qryDetail.append();
    AssignAutoSerialNo("VIPCardDetail", "VCD_ID", &qryDetail);
    EXPECT_EQ(qryDetail.fieldAsText("VCD_ID"), "");
    qryDetail.setText("VCD_Flag", "C");
    qryDetail.post();
    EXPECT_EQ(qryDetail.fieldAsText("VCD_ID"), expected);
  }
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM AutoSerialNo"), "0");
}

TEST_P(SerialNoTest, FailedBatchIsRolledBackAndLeavesTheRecordAlone) {
  Query qryInsert(m_connection, "qryInsert");
  appendMember(qryInsert);
  // No such table: the counter update has run when the creation fails.
  EXPECT_THROW(AssignAutoSerialNo("NoSuchTable", "VCM_ID", &qryInsert), store::StoreError);
  EXPECT_EQ(qryInsert.fieldAsText("VCM_ID"), "");
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM AutoSerialNo"), "0");

  // Another client is not kept waiting by a transaction left open, and this
  // connection goes on numbering.
  store::Connection other;
  other.setConnectionString(m_connectionString);
  Query otherInsert(other, "qryInsert");
  EXPECT_EQ(drawMember(otherInsert), "1");
  other.close();
  qryInsert.cancel();
  EXPECT_EQ(drawMember(qryInsert), "2");
}

// A counter at the top of the 32-bit range cannot give a next number: the
// row fails and the counter keeps its value.
TEST_P(SerialNoTest, ExhaustedCounterFailsAndIsLeftAsItWas) {
  exec("INSERT INTO AutoSerialNo(ASN_TYPE,ASN_NO) VALUES('VCM_ID_VIPCardMaster',2147483647)");
  Query qryInsert(m_connection, "qryInsert");
  appendMember(qryInsert);
  EXPECT_THROW(AssignAutoSerialNo("VIPCardMaster", "VCM_ID", &qryInsert), store::StoreError);
  EXPECT_EQ(qryInsert.fieldAsText("VCM_ID"), "");
  EXPECT_EQ(scalar("SELECT ASN_NO FROM AutoSerialNo WHERE ASN_TYPE='VCM_ID_VIPCardMaster'"),
            "2147483647");
}

TEST_P(SerialNoTest, PreconditionsRaiseAnAssertionFailureWithOurLine) {
  Query open(m_connection, "qryInsert");
  open.setSql(store::Statement::selectEmpty("VipCardMaster"));
  open.open();
  Query browsing(m_connection, "qryInsert");
  browsing.setSql(store::Statement::selectEmpty("VipCardMaster"));
  browsing.open();
  open.append();
  struct Case {
    const char* table;
    const char* column;
    Query* dataset;
  };
  const Case cases[] = {{"", "VCM_ID", &open},
                        {"VIPCardMaster", "", &open},
                        {"VIPCardMaster", "VCM_ID", nullptr},
                        {"VIPCardMaster", "VCM_ID", &browsing}};
  std::string message;
  for (const Case& c : cases) {
    try {
      AssignAutoSerialNo(c.table, c.column, c.dataset);
      ADD_FAILURE() << "no failure for '" << c.table << "', '" << c.column << "'";
    } catch (const vip::Error& error) {
      message = error.what();
    }
    EXPECT_TRUE(message.starts_with("Assertion failure (src/store/SerialNo.cpp, line ")) << message;
  }
  // The line named is the one that checks.
  const int line = std::stoi(message.substr(message.rfind(' ') + 1));
  std::ifstream source(std::string(VIP_SOURCE_DIR) + "/src/store/SerialNo.cpp");
  std::string text;
  for (int i = 0; i < line && std::getline(source, text); ++i) {
  }
  EXPECT_NE(text.find("assertionFailure(__LINE__)"), std::string::npos)
      << "line " << line << ": " << text;
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM AutoSerialNo"), "0");
}

// Several processes draw numbers on one key at the same time, each on its
// own connection: every number is handed out once and none is skipped.
TEST_P(SerialNoTest, ConcurrentProcessesNeverShareOrLoseANumber) {
  constexpr int kProcesses = 4;
  constexpr int kDraws = 40;
  const std::string out = scratchDir() + "/draws_" + GetParam().name;
  m_connection.close();
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int status = 0;
      try {
        store::Connection connection;
        connection.setConnectionString(m_connectionString);
        Query qryInsert(connection, "qryInsert");
        std::ofstream file(out + "_" + std::to_string(p));
        for (int i = 0; i < kDraws; ++i) {
          file << drawMember(qryInsert) << '\n';
          qryInsert.post();
        }
      } catch (const std::exception& error) {
        std::fprintf(stderr, "child %d: %s\n", p, error.what());
        status = 1;
      }
      ::_exit(status);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::multiset<int> numbers;
  for (int p = 0; p < kProcesses; ++p) {
    std::ifstream file(out + "_" + std::to_string(p));
    for (int n; file >> n;)
      numbers.insert(n);
  }
  ASSERT_EQ(numbers.size(), static_cast<std::size_t>(kProcesses * kDraws));
  int expected = 1;
  for (int n : numbers)
    EXPECT_EQ(n, expected++);
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM VipCardMaster"), std::to_string(kProcesses * kDraws));
}

INSTANTIATE_TEST_SUITE_P(Stores, SerialNoTest, ::testing::ValuesIn(storeTargets()), targetName);

}  // namespace
}  // namespace vip::test
