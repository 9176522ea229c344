#include "import/TestStore.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <variant>

#include "store/Connection.h"
#include "store/FieldConvert.h"
#include "store/PgServer.h"
#include "store/Query.h"

namespace vip::test {

namespace fs = std::filesystem;

namespace {

struct Column {
  std::string table, name, type;
};

std::vector<Column> plainColumns(const SchemaOptions& options, StoreEngine engine) {
  const bool pg = engine == StoreEngine::Postgres;
  const std::string nvarchar = pg ? "varchar" : "nvarchar";
  const std::string memberId = !options.identityMemberId ? "int PRIMARY KEY"
                               : pg                      ? "serial PRIMARY KEY"
                                                         : "INTEGER PRIMARY KEY AUTOINCREMENT";
  return {
      {"VipCardType", "VCT_No", "varchar(10) NOT NULL UNIQUE"},
      {"VipCardType", "VCT_Name", "varchar(" + std::to_string(options.categoryNameLength) + ")"},
      {"VipCardType", "VCT_BaoFangPriceID", "int"},
      {"VipCardType", "VCT_JiuBaPriceID", "int"},
      {"VipCardType", "VCT_ChaoShiPriceID", "int"},
      {"VipCardMaster", "VCM_ID", memberId},
      {"VipCardMaster", "VCT_No", "varchar(10)"},
      {"VipCardMaster", "VCM_CardID", "varchar(50)"},
      {"VipCardMaster", "VCM_CardNo", "varchar(50)"},
      {"VipCardMaster", "VCM_GuestName", nvarchar + "(50)"},
      {"VipCardMaster", "VCM_Sex", "char(1)"},
      {"VipCardMaster", "VCM_MobileNo", "varchar(20)"},
      {"VipCardMaster", "VCM_CreateDate", "varchar(10)"},
      {"VipCardMaster", "VCM_EndDate", "varchar(10)"},
      {"VipCardMaster", "VCM_Balance", "varchar(20)"},
      {"VipCardMaster", "VCM_BalancePayed", "varchar(20)"},
      {"VipCardMaster", "VCM_BalanceFree", "varchar(20)"},
      {"VipCardMaster", "VCM_BalanceE", "varchar(100)"},
      {"VIPCardDetail", "VCD_ID", "int PRIMARY KEY"},
      {"VIPCardDetail", "VCM_ID", "varchar(20)"},
      {"VIPCardDetail", "VCD_Flag", "char(1)"},
      {"VIPCardDetail", "VCD_SysDate", "varchar(10)"},
      {"VIPCardDetail", "VCD_DateTime", pg ? "timestamp" : "datetime"},
      {"VIPCardDetail", "VCD_Descript", nvarchar + "(50)"},
      {"VIPCardDetail", "VCD_CRMoney", "float"},
      {"VIPCardDetail", "VCD_Balance", "float"},
      {"VIPCardDetail", "VCD_ClerkName", nvarchar + "(20)"},
      {"VIPCardDetail", "VCD_KaZengBalance", "float"},
      {"VIPCardDetail", "VCD_KaZengBeginDate", "varchar(10)"},
      {"VIPCardDetail", "VCD_KaZengEndDate", "varchar(10)"},
      {"AutoSerialNo", "ASN_TYPE", "varchar(50) PRIMARY KEY"},
      {"AutoSerialNo", "ASN_NO", "int"},
      {"Qx_SysPara", "SP_Name", nvarchar + "(50) PRIMARY KEY"},
      {"Qx_SysPara", "SP_Value", nvarchar + "(100)"},
  };
}

std::string valueText(const store::Value& value) {
  if (std::holds_alternative<std::monostate>(value)) return "<null>";
  return store::valueToText(value, defaultFormatSettings());
}

}  // namespace

TestStore::TestStore(StoreEngine engine, std::string connectionString, std::string path)
    : m_engine(engine), m_connectionString(std::move(connectionString)), m_path(std::move(path)) {}

TestStore::~TestStore() {
  if (!m_path.empty()) fs::remove_all(fs::path(m_path).parent_path());
}

std::unique_ptr<TestStore> TestStore::create(StoreEngine engine, const std::string& name,
                                             PgServer* server) {
  if (engine == StoreEngine::Postgres) {
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    PgServer& host = server != nullptr ? *server : PgServer::instance();
    const std::string connection = host.createDatabase(lower);
    return std::unique_ptr<TestStore>(new TestStore(engine, connection, {}));
  }
  char folder[] = "/tmp/vipimport-store-XXXXXX";
  if (mkdtemp(folder) == nullptr) ADD_FAILURE() << "cannot create a temporary folder";
  const std::string path = std::string(folder) + "/" + name + ".db";
  return std::unique_ptr<TestStore>(
      new TestStore(engine, "Provider=SQLite;Data Source=" + path, path));
}

void TestStore::createSchema(const SchemaOptions& options) {
  std::string script;
  for (const char* table :
       {"VipCardType", "VipCardMaster", "VIPCardDetail", "AutoSerialNo", "Qx_SysPara"}) {
    if (!options.businessDateTable && std::string(table) == "Qx_SysPara") continue;
    std::string columns;
    for (const Column& column : plainColumns(options, m_engine)) {
      if (column.table != table) continue;
      const std::string qualified = column.table + "." + column.name;
      if (std::find(options.omit.begin(), options.omit.end(), qualified) != options.omit.end())
        continue;
      std::string type = column.type;
      for (const auto& [name, replacement] : options.retype) {
        if (name == qualified) type = replacement;
      }
      columns += (columns.empty() ? "" : ", ") + column.name + " " + type;
    }
    script += std::string("CREATE TABLE ") + table + "(" + columns + ");";
  }
  exec(script);
}

void TestStore::exec(const std::string& script) {
  if (!m_path.empty() && !fs::exists(m_path)) std::ofstream(m_path).close();  // an empty database
  store::Connection connection;
  connection.setConnectionString(m_connectionString);
  std::size_t start = 0;
  while (start < script.size()) {
    std::size_t end = script.find(';', start);
    if (end == std::string::npos) end = script.size();
    const std::string statement = script.substr(start, end - start);
    if (statement.find_first_not_of(" \n") != std::string::npos) {
      connection.backend().executeScript(statement);
    }
    start = end + 1;
  }
  connection.close();
}

std::vector<std::vector<std::string>> TestStore::rows(const std::string& select) {
  store::Connection connection;
  connection.setConnectionString(m_connectionString);
  const store::ResultSet result = connection.backend().query(store::Statement::text(select));
  std::vector<std::vector<std::string>> rows;
  for (const auto& row : result.rows) {
    std::vector<std::string> texts;
    for (const store::Value& value : row)
      texts.push_back(valueText(value));
    rows.push_back(std::move(texts));
  }
  connection.close();
  return rows;
}

std::string TestStore::scalar(const std::string& select) {
  const auto result = rows(select);
  if (result.empty() || result.front().empty()) return "<no row>";
  return result.front().front();
}

}  // namespace vip::test

namespace vip::test {

void TestStore::waitForMembers(int count, const std::function<bool()>& stillRunning) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline && stillRunning()) {
    try {
      if (std::stoi(scalar("SELECT count(*) FROM VipCardMaster")) >= count) return;
    } catch (const std::exception&) {
      // The writer holds the store this moment; look again.
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace vip::test
