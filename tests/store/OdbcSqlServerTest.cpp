#include <gtest/gtest.h>

#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>

#include "PgServer.h"
#include "store/ConnectionString.h"
#include "store/Statements.h"
#include "store/StoreError.h"
#include "store/odbc/OdbcBackend.h"
#include "store/odbc/OdbcDialect.h"
#include "store/odbc/OdbcHandle.h"

namespace vip::test {

namespace {

using store::ConnectionString;
using store::StoreError;

// An ODBC connection string as upper-case key → value, braces removed.
std::map<std::string, std::string> odbcKeys(const std::string& text) {
  std::map<std::string, std::string> keys;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t equals = text.find('=', pos);
    if (equals == std::string::npos) break;
    std::string key = text.substr(pos, equals - pos);
    for (char& c : key)
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string value;
    pos = equals + 1;
    if (pos < text.size() && text[pos] == '{') {
      ++pos;
      while (pos < text.size()) {
        if (text[pos] == '}') {
          if (pos + 1 < text.size() && text[pos + 1] == '}') {
            value += '}';
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        value += text[pos++];
      }
      if (pos < text.size() && text[pos] == ';') ++pos;
    } else {
      const std::size_t end = std::min(text.find(';', pos), text.size());
      value = text.substr(pos, end - pos);
      pos = end + 1;
    }
    keys[key] = value;
  }
  return keys;
}

std::map<std::string, std::string> odbcFor(const std::string& oleDb) {
  return odbcKeys(store::odbcConnectionString(ConnectionString::parse(oleDb)));
}

// Compared key by key, never as whole strings: a failure shows no password.
TEST(OdbcConnectionString, BuiltInStringReachesTheLocalServerThroughFreeTds) {
  const auto keys = odbcFor(store::statements::kDefaultConnectionString);
  EXPECT_EQ(keys.at("DRIVER"), "FreeTDS");
  EXPECT_EQ(keys.at("SERVER"), "localhost");
  EXPECT_EQ(keys.count("PORT"), 0u);
  EXPECT_EQ(keys.at("DATABASE"), "qxsys");
  EXPECT_EQ(keys.at("UID"), "sa");
  EXPECT_TRUE(keys.at("PWD") == "qelvirandospu") << "PWD is not the built-in password";
  EXPECT_EQ(keys.at("TDS_VERSION"), "7.3");
  EXPECT_EQ(keys.at("CLIENTCHARSET"), "UTF-8");
  // OLE DB's own settings are not ODBC keys.
  EXPECT_EQ(keys.count("PERSIST SECURITY INFO"), 0u);
  EXPECT_EQ(keys.count("PROVIDER"), 0u);
}

TEST(OdbcConnectionString, DataSourceFormsAndDriverOverride) {
  const struct {
    const char* oleDb;
    const char* driver;
    const char* server;
    const char* port;  // "" when none
  } cases[] = {
      {"Provider=SQLOLEDB.1;Data Source=(local);Initial Catalog=q", "FreeTDS", "localhost", ""},
      {"Provider=SQLOLEDB;Data Source=db7\\SHOP;Initial Catalog=q", "FreeTDS", "db7\\SHOP", ""},
      {"Provider=SQLOLEDB;Data Source=.\\SQLEXPRESS", "FreeTDS", "localhost\\SQLEXPRESS", ""},
      {"Provider=SQLOLEDB;Data Source=10.0.0.5,14330", "FreeTDS", "10.0.0.5", "14330"},
      {"Provider=SQLOLEDB;Data Source=db7,1500;Driver=ODBC Driver 18 for SQL Server",
       "ODBC Driver 18 for SQL Server", "db7,1500", ""},
      {"Provider=SQLOLEDB;Data Source=db7\\SHOP;Driver=ODBC Driver 18 for SQL Server",
       "ODBC Driver 18 for SQL Server", "db7\\SHOP", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.oleDb);
    const auto keys = odbcFor(c.oleDb);
    EXPECT_EQ(keys.at("DRIVER"), c.driver);
    EXPECT_EQ(keys.at("SERVER"), c.server);
    EXPECT_EQ(keys.count("PORT") ? keys.at("PORT") : "", c.port);
    // The FreeTDS settings are no business of another driver.
    EXPECT_EQ(keys.count("TDS_VERSION"), std::string(c.driver) == "FreeTDS" ? 1u : 0u);
  }
}

TEST(OdbcConnectionString, ValuesWithSeparatorsAreBraced) {
  const std::string text = store::odbcConnectionString(
      ConnectionString::parse("Provider=SQLOLEDB;Data Source=db;User ID=\"a;b\";"
                              "Password=\"x}y{;z\""));
  const auto keys = odbcKeys(text);
  EXPECT_EQ(keys.at("UID"), "a;b");
  EXPECT_TRUE(keys.at("PWD") == "x}y{;z") << "the password did not survive quoting";
  EXPECT_EQ(keys.size(), 6u);  // no key was split off a value
}

TEST(OdbcConnectionString, MsdasqlPassesKeysAsTheyStand) {
  const auto keys = odbcFor(
      "Provider=MSDASQL;Driver=PostgreSQL Unicode;Server=h;Port=5433;Database=d;Uid=u;Pwd=p");
  EXPECT_EQ(keys.at("DRIVER"), "PostgreSQL Unicode");
  EXPECT_EQ(keys.at("SERVER"), "h");
  EXPECT_EQ(keys.at("PORT"), "5433");
  EXPECT_EQ(keys.count("PROVIDER"), 0u);
  EXPECT_EQ(keys.size(), 6u);
}

TEST(OdbcConnectionString, OtherProvidersAndBadPortsAreRefused) {
  EXPECT_THROW(
      store::odbcConnectionString(ConnectionString::parse("Provider=SQLite;Data Source=x")),
      StoreError);
  try {
    store::odbcConnectionString(
        ConnectionString::parse("Provider=SQLOLEDB;Password=hunter2x;Data Source=db,12a"));
    ADD_FAILURE() << "a port that is not a number was taken";
  } catch (const StoreError& error) {
    EXPECT_EQ(std::string(error.what()).find("hunter2x"), std::string::npos);
  }
}

// SQL Server's column descriptions as FreeTDS gives them, read as the data
// layer's kinds: 8-bit text counted in GBK bytes, Unicode text in UTF-16
// units, long texts never cut.
TEST(OdbcDialect, SqlServerColumnsReadAsTheirKinds) {
  using store::FieldKind;
  using store::LengthUnit;
  const struct {
    const char* typeName;
    int sqlType;
    long long size;
    int scale;
    bool identity;
    FieldKind kind;
    int declared;
    LengthUnit unit;
  } cases[] = {
      {"varchar", SQL_VARCHAR, 20, 0, false, FieldKind::String, 20, LengthUnit::GbkBytes},
      {"char", SQL_CHAR, 1, 0, false, FieldKind::String, 1, LengthUnit::GbkBytes},
      {"nvarchar", SQL_WVARCHAR, 50, 0, false, FieldKind::WideString, 50, LengthUnit::Utf16Units},
      {"nchar", SQL_WCHAR, 4, 0, false, FieldKind::WideString, 4, LengthUnit::Utf16Units},
      {"varchar", SQL_VARCHAR, 2147483647, 0, false, FieldKind::String, 0, LengthUnit::GbkBytes},
      {"nvarchar", SQL_WVARCHAR, 0, 0, false, FieldKind::WideString, 0, LengthUnit::Utf16Units},
      {"text", SQL_LONGVARCHAR, 2147483647, 0, false, FieldKind::Memo, 0, LengthUnit::GbkBytes},
      {"ntext", SQL_WLONGVARCHAR, 1073741823, 0, false, FieldKind::Memo, 0, LengthUnit::Utf16Units},
      {"tinyint", SQL_TINYINT, 3, 0, false, FieldKind::Word, 0, LengthUnit::GbkBytes},
      {"smallint", SQL_SMALLINT, 5, 0, false, FieldKind::SmallInt, 0, LengthUnit::GbkBytes},
      {"int", SQL_INTEGER, 10, 0, true, FieldKind::Integer, 0, LengthUnit::GbkBytes},
      {"bigint", SQL_BIGINT, 19, 0, false, FieldKind::LargeInt, 0, LengthUnit::GbkBytes},
      {"float", SQL_FLOAT, 53, 0, false, FieldKind::Float, 0, LengthUnit::GbkBytes},
      {"decimal", SQL_DECIMAL, 9, 0, false, FieldKind::Integer, 0, LengthUnit::GbkBytes},
      {"decimal", SQL_DECIMAL, 18, 4, false, FieldKind::Decimal, 0, LengthUnit::GbkBytes},
      {"money", SQL_DECIMAL, 19, 4, false, FieldKind::Decimal, 0, LengthUnit::GbkBytes},
      {"datetime", SQL_TYPE_TIMESTAMP, 23, 3, false, FieldKind::DateTime, 0, LengthUnit::GbkBytes},
      {"bit", SQL_BIT, 1, 0, false, FieldKind::Boolean, 0, LengthUnit::GbkBytes},
      {"uniqueidentifier", SQL_GUID, 36, 0, false, FieldKind::Unknown, 0, LengthUnit::GbkBytes},
  };
  const auto sqlServer = store::OdbcDialect::forDbms("Microsoft SQL Server");
  const store::OdbcDialect& dialect = *sqlServer;
  EXPECT_EQ(dialect.engine(), store::Engine::SqlServer);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typeName);
    store::OdbcColumn column;
    column.name = "Col";
    column.typeName = c.typeName;
    column.sqlType = c.sqlType;
    column.size = c.size;
    column.scale = c.scale;
    column.autoIncrement = c.identity;
    const store::FieldDef field = dialect.field(column);
    EXPECT_EQ(field.kind, c.kind);
    EXPECT_EQ(field.size, c.declared);
    EXPECT_EQ(field.lengthUnit, c.unit);
    EXPECT_EQ(field.identity, c.identity);
    EXPECT_EQ(field.writable, !c.identity);
  }
  // The program's statement reaches SQL Server as it stands.
  EXPECT_EQ(dialect.selectEmpty("VipCardMaster"), "Select top 0 * from VipCardMaster");
}

TEST(OdbcSqlServer, ClosedPortFailsQuicklyWithoutThePassword) {
  const int port = freeLoopbackPort();
  ASSERT_NE(port, 0);
  const std::string password = "qelvirandospu";
  const std::string text = "Provider=SQLOLEDB;Password=" + password +
                           ";User ID=sa;Initial Catalog=qxsys;Data Source=127.0.0.1," +
                           std::to_string(port);
  const auto start = std::chrono::steady_clock::now();
  try {
    store::openOdbcBackend(ConnectionString::parse(text));
    ADD_FAILURE() << "connected to a closed port";
  } catch (const StoreError& error) {
    const std::string message = error.what();
    const bool leaks = message.find(password) != std::string::npos;
    const std::string shown = leaks ? std::string("<withheld>") : message;
    EXPECT_FALSE(message.empty());
    EXPECT_FALSE(leaks) << "the message holds the password";
    EXPECT_EQ(message.find("PWD"), std::string::npos) << shown;
    EXPECT_EQ(message.find("[unixODBC]"), std::string::npos) << shown;
    EXPECT_EQ(error.kind(), StoreError::Kind::ConnectionLost) << shown;
    std::printf("closed port gives: %s\n", shown.c_str());
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

}  // namespace

}  // namespace vip::test

namespace vip::test {
namespace {

using store::ConnectionString;

// A value is written by ODBC's own rules, so none can end early or carry
// keys of its own: braces in a password are its characters, and a quoted
// value full of separators stays one value.
TEST(OdbcConnectionString, ValuesCannotSmuggleKeys) {
  const struct {
    const char* oleDb;
    const char* key;
    const char* value;
  } cases[] = {
      {"Provider=MSDASQL;Driver=PostgreSQL Unicode;Pwd={abc}", "PWD", "{abc}"},
      {"Provider=MSDASQL;Driver=PostgreSQL Unicode;Database=mine;"
       "Pwd=\"{PW};Database=OTHER;X={y}\"",
       "PWD", "{PW};Database=OTHER;X={y}"},
      {"Provider=SQLOLEDB;Data Source=db;Password={abc}", "PWD", "{abc}"},
      {"Provider=SQLOLEDB;Data Source=db;Initial Catalog=mine;"
       "Password=\"x};Database=OTHER\"",
       "PWD", "x};Database=OTHER"},
      {"Provider=MSDASQL;Driver={PostgreSQL Unicode};Pwd=\" lead\"", "PWD", " lead"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.oleDb);
    const std::string odbc = store::odbcConnectionString(ConnectionString::parse(c.oleDb));
    const auto keys = odbcKeys(odbc);
    EXPECT_EQ(keys.at(c.key), c.value);
    EXPECT_EQ(keys.count("X"), 0u) << odbc;
    if (keys.count("DATABASE") != 0) {
      EXPECT_EQ(keys.at("DATABASE"), "mine") << odbc;
    }
  }
  // A driver's name in braces is the ODBC custom; the braces are no part of it.
  EXPECT_EQ(odbcFor("Provider=MSDASQL;Driver={PostgreSQL Unicode}").at("DRIVER"),
            "PostgreSQL Unicode");
}

// A key given twice means its last value everywhere: the connection and the
// ODBC string take the same path whichever order the providers come in.
TEST(OdbcConnectionString, TheLastOfAKeyGivenTwiceWins) {
  const auto sqliteLast =
      ConnectionString::parse("Provider=MSDASQL;DSN=x;Provider=SQLite;Data Source=a.db");
  EXPECT_EQ(sqliteLast.providerKind(), store::Provider::Sqlite);
  EXPECT_THROW(store::odbcConnectionString(sqliteLast), store::StoreError);
  const auto odbcLast =
      ConnectionString::parse("Provider=SQLite;Data Source=a.db;Provider=MSDASQL;DSN=x");
  EXPECT_EQ(odbcLast.providerKind(), store::Provider::Msdasql);
  const auto keys = odbcFor("Provider=MSDASQL;Driver=A;Uid=first;Uid=second;Driver=B");
  EXPECT_EQ(keys.at("UID"), "second");
  EXPECT_EQ(keys.at("DRIVER"), "B");
  EXPECT_EQ(odbcFor("Provider=SQLOLEDB;Data Source=one;Password=a;Data Source=two;Password=b")
                .at("SERVER"),
            "two");
}

// ODBC takes a connection string's length as 16 bits: a longer one is
// refused, not cut to whatever its length is modulo 65,536.
TEST(OdbcConnectionString, TooLongForOdbcIsRefused) {
  const std::string text =
      "Provider=MSDASQL;Driver=PostgreSQL Unicode;Database=" + std::string(70000, 'd') +
      ";Pwd=secret-long";
  try {
    store::openOdbcBackend(ConnectionString::parse(text));
    ADD_FAILURE() << "a 70,000-character string connected";
  } catch (const store::StoreError& error) {
    const std::string message = error.what();
    EXPECT_NE(message.find("too long for ODBC"), std::string::npos) << message;
    EXPECT_EQ(message.find("secret-long"), std::string::npos);
  }
}

// The password is masked where it stands as a word of its own, never inside
// other words: a one-letter password leaves the driver's text readable.
TEST(OdbcHandle, PasswordIsMaskedOnlyAsAWordOfItsOwn) {
  const struct {
    const char* secret;
    const char* text;
    const char* masked;
  } cases[] = {
      {"a", "Unable to connect: Adaptive Server is unavailable",
       "Unable to connect: Adaptive Server is unavailable"},
      {"a", "password 'a' refused", "password '***' refused"},
      {"hunter2", "Login failed: PWD=hunter2;", "Login failed: PWD=***;"},
      {"hunter2", "hunter2x is not hunter2", "hunter2x is not ***"},
      {"p@ss;w", "got p@ss;w back", "got *** back"},
      {"", "nothing to mask", "nothing to mask"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(store::maskSecret(c.text, c.secret), c.masked) << c.secret << " in " << c.text;
}

}  // namespace
}  // namespace vip::test
