#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "StoreTargets.h"
#include "common/DateTime.h"
#include "store/StoreError.h"
#include "store/sqlite/SqliteBackend.h"
#include "store/sqlite/SqliteColumnType.h"

namespace vip::test {
namespace {

using store::FieldKind;
using store::LengthUnit;

TEST(SqliteColumnType, DeclaredTypesReadBySqlServerNames) {
  struct Case {
    const char* declared;
    FieldKind kind;
    int size;
    LengthUnit unit;
  };
  const Case cases[] = {
      {"varchar(20)", FieldKind::String, 20, LengthUnit::GbkBytes},
      {"CHAR( 1 )", FieldKind::String, 1, LengthUnit::GbkBytes},
      {"varchar", FieldKind::String, 0, LengthUnit::GbkBytes},
      {"varchar(max)", FieldKind::String, 0, LengthUnit::GbkBytes},
      {"nvarchar(50)", FieldKind::WideString, 50, LengthUnit::Utf16Units},
      {"nchar(4)", FieldKind::WideString, 4, LengthUnit::Utf16Units},
      {"text", FieldKind::Memo, 0, LengthUnit::GbkBytes},
      {"ntext", FieldKind::Memo, 0, LengthUnit::Utf16Units},
      {"tinyint", FieldKind::Word, 0, LengthUnit::GbkBytes},
      {"smallint", FieldKind::SmallInt, 0, LengthUnit::GbkBytes},
      {"int", FieldKind::Integer, 0, LengthUnit::GbkBytes},
      {"INTEGER", FieldKind::Integer, 0, LengthUnit::GbkBytes},
      {"bigint", FieldKind::LargeInt, 0, LengthUnit::GbkBytes},
      {"real", FieldKind::Float, 0, LengthUnit::GbkBytes},
      {"float", FieldKind::Float, 0, LengthUnit::GbkBytes},
      {"decimal(9,0)", FieldKind::Integer, 0, LengthUnit::GbkBytes},
      {"numeric(10,0)", FieldKind::Decimal, 0, LengthUnit::GbkBytes},
      {"decimal(18,2)", FieldKind::Decimal, 0, LengthUnit::GbkBytes},
      {"decimal", FieldKind::Decimal, 0, LengthUnit::GbkBytes},
      {"money", FieldKind::Decimal, 0, LengthUnit::GbkBytes},
      {"smallmoney", FieldKind::Decimal, 0, LengthUnit::GbkBytes},
      {"datetime", FieldKind::DateTime, 0, LengthUnit::GbkBytes},
      {"smalldatetime", FieldKind::DateTime, 0, LengthUnit::GbkBytes},
      {"date", FieldKind::DateTime, 0, LengthUnit::GbkBytes},
      {"bit", FieldKind::Boolean, 0, LengthUnit::GbkBytes},
      {"", FieldKind::Unknown, 0, LengthUnit::GbkBytes},
      {"blob", FieldKind::Unknown, 0, LengthUnit::GbkBytes},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.declared);
    const auto field = store::fieldFromDeclaredType("C", c.declared);
    EXPECT_EQ(field.kind, c.kind);
    EXPECT_EQ(field.size, c.size);
    EXPECT_EQ(field.lengthUnit, c.unit);
  }
}

class SqliteStore : public ::testing::Test {
 protected:
  void SetUp() override {
    m_connectionString = storeTargets().front().newStore(
        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    m_connection.setConnectionString(m_connectionString);
  }
  std::string text(const std::string& sql) {
    const auto result = m_connection.backend().query(store::Statement::text(sql));
    if (result.rows.empty()) return "<no row>";
    std::string out;
    for (const auto& value : result.rows[0]) {
      if (!out.empty()) out += '|';
      if (const auto* s = std::get_if<std::string>(&value))
        out += *s;
      else if (const auto* i = std::get_if<std::int64_t>(&value))
        out += std::to_string(*i);
      else if (const auto* d = std::get_if<double>(&value))
        out += std::to_string(*d);
      else
        out += "NULL";
    }
    return out;
  }
  std::string m_connectionString;
  store::Connection m_connection;
};

// Date-times as ISO text, exact decimals as numbers, booleans as 0 and 1.
TEST_F(SqliteStore, ValuesAreStoredInSqlitesOwnForms) {
  m_connection.backend().executeScript(
      "CREATE TABLE T(ID INTEGER PRIMARY KEY AUTOINCREMENT, D datetime, M money, N money,"
      " B bit, F bit)");
  store::Query query(m_connection, "qryInsert");
  query.setSql(store::Statement::selectEmpty("T"));
  query.open();
  query.append();
  query.setDateTime("D", vip::DateTime{2024, 2, 29, 13, 5, 9, 7});
  query.setText("M", "12.34567");
  query.setText("N", "100");
  query.setText("B", "t");
  query.setText("F", "FA");
  query.post();
  EXPECT_EQ(query.fieldAsText("ID"), "1");
  EXPECT_EQ(text("SELECT D, typeof(M), M, typeof(N), N, typeof(B), B + 0, F + 0 FROM T"),
            "2024-02-29 13:05:09.007|real|12.345700|integer|100|integer|1|0");
  query.append();
  query.setDateTime("D", vip::DateTime{2024, 3, 1, 0, 0, 0, 0});
  query.post();
  EXPECT_EQ(query.fieldAsText("ID"), "2");
  EXPECT_EQ(text("SELECT D FROM T WHERE ID=2"), "2024-03-01 00:00:00");
}

TEST_F(SqliteStore, ColumnsCarryLengthsAndIdentity) {
  m_connection.backend().executeScript(
      "CREATE TABLE T(ID INTEGER PRIMARY KEY AUTOINCREMENT, Code varchar(10), Name nvarchar(5));"
      "CREATE TABLE U(K INTEGER PRIMARY KEY, V int)");
  const auto t = *m_connection.backend().describeTable("t");
  ASSERT_EQ(t.size(), 3u);
  EXPECT_TRUE(t[0].identity);
  EXPECT_FALSE(t[0].writable);
  EXPECT_EQ(t[1].size, 10);
  EXPECT_EQ(t[2].kind, FieldKind::WideString);
  EXPECT_EQ(t[2].size, 5);
  // A rowid key without AUTOINCREMENT may be written, so it is numbered by the counter.
  const auto u = *m_connection.backend().describeTable("U");
  EXPECT_FALSE(u[0].identity);
  EXPECT_TRUE(u[0].writable);
  EXPECT_FALSE(m_connection.backend().isIdentity("U", "K"));
  EXPECT_TRUE(m_connection.backend().isIdentity("T", "id"));
  EXPECT_FALSE(m_connection.backend().isIdentity("Missing", "ID"));
  EXPECT_THROW(m_connection.backend().describeTable("Missing"), store::StoreError);
}

TEST_F(SqliteStore, WalStoreUsesNormalSynchronous) {
  EXPECT_EQ(text("PRAGMA journal_mode"), "wal");
  EXPECT_EQ(text("PRAGMA synchronous"), "1");
}

// A store busy with another client's write is waited for, not refused at once.
TEST_F(SqliteStore, AllocationWaitsForAnotherWriter) {
  m_connection.backend().executeScript(
      "CREATE TABLE M(ID int PRIMARY KEY);"
      "CREATE TABLE AutoSerialNo(ASN_TYPE varchar(50) PRIMARY KEY, ASN_NO int)");
  store::Connection writer;
  writer.setConnectionString(m_connectionString);
  writer.backend().executeScript("BEGIN IMMEDIATE; INSERT INTO AutoSerialNo VALUES('ID_M', 41)");
  std::thread committer([&writer] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    writer.backend().executeScript("COMMIT");
  });
  const auto started = std::chrono::steady_clock::now();
  const std::int32_t number = m_connection.backend().allocate("M", "ID");
  committer.join();
  EXPECT_EQ(number, 42);
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(250));
}

TEST(SqliteOpen, MissingOrForeignFilesAreRefusedWithoutCreatingOne) {
  const std::string missing = scratchDir() + "/missing.db";
  try {
    store::openSqliteBackend(missing, store::OpenMode::Existing);
    ADD_FAILURE() << "opened";
  } catch (const store::StoreError& error) {
    EXPECT_EQ(error.kind(), store::StoreError::Kind::NotFound);
    EXPECT_NE(std::string(error.what()).find(missing), std::string::npos) << error.what();
  }
  EXPECT_FALSE(std::filesystem::exists(missing));

  const std::string foreign = scratchDir() + "/foreign.db";
  std::ofstream(foreign) << "this is not a store, just some text long enough to be a header";
  EXPECT_THROW(store::openSqliteBackend(foreign, store::OpenMode::Existing), store::StoreError);
}

}  // namespace
}  // namespace vip::test
