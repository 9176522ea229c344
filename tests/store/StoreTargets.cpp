#include "StoreTargets.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "store/FieldConvert.h"

namespace vip::test {

namespace {

StoreTarget sqliteTarget() {
  StoreTarget target;
  target.name = "sqlite";
  target.unavailable = [] { return std::string(); };
  target.newStore = [](const std::string& label) {
    const std::string path = scratchDir() + "/" + label + ".db";
    std::filesystem::remove(path);
    std::filesystem::remove(path + "-wal");
    std::filesystem::remove(path + "-shm");
    const std::string connection = "Provider=SQLite;Data Source=" + path;
    auto backend =
        store::openBackend(store::ConnectionString::parse(connection), store::OpenMode::Create);
    backend->executeScript("PRAGMA journal_mode=WAL");
    return connection;
  };
  target.identityKeyType = "INTEGER PRIMARY KEY AUTOINCREMENT";
  return target;
}

}  // namespace

std::vector<StoreTarget>& storeTargets() {
  static std::vector<StoreTarget> targets{sqliteTarget()};
  return targets;
}

std::string targetName(const ::testing::TestParamInfo<StoreTarget>& info) {
  return info.param.name;
}

std::string scratchDir() {
  static const std::string dir = [] {
    std::string path = ::testing::TempDir() + "vip_store_" + std::to_string(::getpid());
    std::filesystem::create_directories(path);
    return path;
  }();
  return dir;
}

void StoreTest::SetUp() {
  const std::string reason = GetParam().unavailable();
  if (!reason.empty()) {
    if (std::getenv("CI") != nullptr) GTEST_FAIL() << GetParam().name << ": " << reason;
    GTEST_SKIP() << GetParam().name << ": " << reason;
  }
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string label = std::string(info->test_suite_name()) + "_" + info->name();
  for (char& c : label) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  for (char& c : label)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  m_connectionString = GetParam().newStore(label);
  m_connection.setConnectionString(m_connectionString);
}

void StoreTest::exec(const std::string& sql) {
  m_connection.backend().executeScript(sql);
}

std::string StoreTest::scalar(const std::string& sql) {
  const store::ResultSet result = m_connection.backend().query(store::Statement::text(sql));
  if (result.rows.empty() || result.rows[0].empty()) return "<no row>";
  return store::valueToText(result.rows[0][0], defaultFormatSettings());
}

void StoreTest::createTables() {
  exec(
      "CREATE TABLE VipCardMaster(VCM_ID int PRIMARY KEY, VCT_No varchar(10),"
      " VCM_CardNo varchar(8), VCM_GuestName varchar(20), VCM_Sex char(1) DEFAULT '0',"
      " VCM_Balance float);"
      "CREATE TABLE VIPCardDetail(VCD_ID " +
      GetParam().identityKeyType +
      ", VCM_ID varchar(20), VCD_Flag char(1), VCD_CRMoney float);"
      "CREATE TABLE AutoSerialNo(ASN_TYPE varchar(50) PRIMARY KEY, ASN_NO int);"
      "CREATE TABLE Qx_SysPara(SP_Name varchar(50), SP_Value varchar(100));");
}

}  // namespace vip::test
