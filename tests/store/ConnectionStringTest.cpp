#include <gtest/gtest.h>

#include "store/Connection.h"
#include "store/ConnectionString.h"
#include "store/Statements.h"
#include "store/StoreError.h"

namespace vip::test {
namespace {

using store::ConnectionString;

constexpr const char* kSecret = "s3cr;et'pw";

TEST(ConnectionString, ParsesPairsQuotesAndBlanks) {
  struct Case {
    const char* text;
    const char* key;
    const char* value;
  };
  const Case cases[] = {
      {"Provider=SQLite;Data Source=/tmp/a b.db", "data source", "/tmp/a b.db"},
      {"  provider = sqlite ; ;Data Source= x.db ;", "DATA SOURCE", "x.db"},
      {"Password=\"a;b\"\"c\";User ID=sa", "password", "a;b\"c"},
      {"Password='it''s';User ID=sa", "PASSWORD", "it's"},
      {"Password=\"\";User ID=sa", "Password", ""},
      {"Data Source=one;Data Source=two", "Data Source", "two"},
      {"Extended Properties=\"DSN=x;UID=y\"", "extended properties", "DSN=x;UID=y"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto settings = ConnectionString::parse(c.text);
    ASSERT_TRUE(settings.get(c.key).has_value());
    EXPECT_EQ(*settings.get(c.key), c.value);
  }
  EXPECT_FALSE(ConnectionString::parse("Provider=SQLite").get("Data Source").has_value());
}

TEST(ConnectionString, BuiltInStringKeepsEveryKey) {
  const auto settings = ConnectionString::parse(store::statements::kDefaultConnectionString);
  EXPECT_EQ(settings.provider(), "SQLOLEDB");
  EXPECT_EQ(settings.get("user id").value_or(""), "sa");
  EXPECT_EQ(settings.get("Initial Catalog").value_or(""), "qxsys");
  EXPECT_EQ(settings.get("Data Source").value_or(""), ".");
  EXPECT_EQ(settings.get("Persist Security Info").value_or(""), "True");
  EXPECT_EQ(settings.pairs().size(), 6u);
  EXPECT_EQ(settings.redacted(),
            "Provider=SQLOLEDB;Password=***;Persist Security Info=True;User ID=sa;"
            "Initial Catalog=qxsys;Data Source=.");
}

// Every place tells providers apart the same way: "MSDASQL.1" is ODBC for
// the connection as for the ODBC string.
TEST(ConnectionString, ProvidersAreToldApartOnce) {
  const struct {
    const char* text;
    store::Provider kind;
  } cases[] = {
      {"Provider=SQLite;Data Source=x", store::Provider::Sqlite},
      {"Provider=SQLOLEDB.1;Data Source=.", store::Provider::SqlServer},
      {"Provider=MSDASQL.1;DSN=x", store::Provider::Msdasql},
      {"Provider= msdasql ;DSN=x", store::Provider::Msdasql},
      {"DSN=x", store::Provider::None},
      {"Provider=Jet;DSN=x", store::Provider::Unknown},
  };
  for (const auto& c : cases) {
    const auto settings = ConnectionString::parse(c.text);
    EXPECT_EQ(settings.providerKind(), c.kind) << c.text;
  }
  EXPECT_EQ(store::odbcConnectionString(ConnectionString::parse("Provider=MSDASQL.1;DSN=x")),
            "DSN=x;");
  try {
    store::openBackend(ConnectionString::parse("Provider=MSDASQL.1;DSN=vip_no_such_dsn"));
    ADD_FAILURE() << "connected to a data source that does not exist";
  } catch (const store::StoreError& error) {
    EXPECT_EQ(std::string(error.what()).find("Unknown provider"), std::string::npos)
        << error.what();
  }
}

TEST(ConnectionString, ProviderIsUpperCased) {
  EXPECT_EQ(ConnectionString::parse("provider=SQLOLEDB.1").provider(), "SQLOLEDB.1");
  EXPECT_EQ(ConnectionString::parse("PROVIDER=msdasql;DSN=x").provider(), "MSDASQL");
  EXPECT_EQ(ConnectionString::parse("DSN=x").provider(), "");
}

TEST(ConnectionString, RedactedHidesPasswordsAndQuotesSeparators) {
  const auto settings = ConnectionString::parse(
      "Provider=MSDASQL;PWD=\"" + std::string("s3cr;et'pw") + "\";Driver={x;y};pwd=other");
  const std::string text = settings.redacted();
  EXPECT_EQ(text.find("s3cr"), std::string::npos);
  EXPECT_EQ(text.find("other"), std::string::npos);
  EXPECT_EQ(ConnectionString::parse(text).get("Driver").value_or(""), "{x;y}");
}

// Malformed strings fail clearly; a password never shows in the message,
// not even the part after a quote or separator in it.
TEST(ConnectionString, MalformedStringsFailWithoutThePassword) {
  const std::string secret = kSecret;
  const std::string texts[] = {
      "Provider=SQLite;Password=\"" + secret,        // unterminated quote
      "Provider=SQLite;Password='" + secret + "'x",  // text after the quote
      "Provider=SQLite;Password=" + secret,          // "et'pw" has no '='
      "Provider=SQLite;" + secret,                   // a segment without '='
      "Provider=SQLite;=" + secret,                  // a value without a name
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(testing::Message() << "case " << (&text - texts));
    try {
      (void)ConnectionString::parse(text);
      ADD_FAILURE() << "parsed";
    } catch (const store::StoreError& error) {
      const std::string message = error.what();
      EXPECT_TRUE(message.starts_with("Malformed connection string")) << message;
      EXPECT_EQ(message.find("s3cr"), std::string::npos) << message;
      EXPECT_EQ(message.find("et'pw"), std::string::npos) << message;
    }
  }
}

TEST(Connection, ProvidersDispatchAndFailClearly) {
  const std::string secret = kSecret;
  struct Case {
    std::string text;
    const char* expected;  // part of the message
  };
  const Case cases[] = {
      {"Provider=Jet.OLEDB;Password=\"" + secret + "\"", "Unknown provider 'Jet.OLEDB'"},
      {"Password=\"" + secret + "\";Data Source=x", "names no provider"},
      {"Provider=SQLite;Password=\"" + secret + "\"", "names no Data Source"},
      {"Provider=SQLite;Password=\"" + secret + "\";Data Source=/nonexistent/dir/store.db",
       "'/nonexistent/dir/store.db' does not exist"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    store::Connection connection;
    connection.setConnectionString(c.text);
    try {
      connection.open();
      ADD_FAILURE() << "opened";
    } catch (const store::StoreError& error) {
      const std::string message = error.what();
      EXPECT_NE(message.find(c.expected), std::string::npos) << message;
      EXPECT_EQ(message.find("s3cr"), std::string::npos) << message;
    }
    EXPECT_FALSE(connection.isOpen());
  }
}

}  // namespace
}  // namespace vip::test
