#include <algorithm>
#include <cctype>
#include <optional>

#include "common/AsciiCase.h"
#include "common/Messages.h"
#include "store/ConnectionString.h"
#include "store/StoreError.h"

namespace vip::store {

namespace {

// A driver's name is written in braces by ODBC custom ("{PostgreSQL
// Unicode}"); the braces are not part of the name.
std::string driverName(std::string value) {
  if (value.size() >= 2 && value.front() == '{' && value.back() == '}' &&
      value.find_first_of("{}", 1) == value.size() - 1) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

void add(std::string& out, std::string_view key, const std::string& value) {
  out.append(key);
  out += '=';
  out += odbcQuoted(value);
  out += ';';
}

// "Data Source": a host, "host\instance" or "host,port"; "." and "(local)"
// mean this machine.
struct SqlServerAddress {
  std::string host = "localhost";
  std::string instance;
  std::string port;
};

SqlServerAddress parseDataSource(std::string text) {
  SqlServerAddress address;
  if (text.rfind("tcp:", 0) == 0) text.erase(0, 4);
  const std::size_t comma = text.find(',');
  if (comma != std::string::npos) {
    address.port = text.substr(comma + 1);
    text.erase(comma);
    if (address.port.empty() ||
        !std::all_of(address.port.begin(), address.port.end(),
                     [](unsigned char c) { return std::isdigit(c) != 0; })) {
      throw StoreError("Invalid port in Data Source: '" + vip::messageText(address.port) + "'");
    }
  }
  const std::size_t slash = text.find('\\');
  if (slash != std::string::npos) {
    address.instance = text.substr(slash + 1);
    text.erase(slash);
  }
  if (!text.empty() && text != "." && !equalsIgnoringCase(text, "(local)") &&
      !equalsIgnoringCase(text, "localhost")) {
    address.host = text;
  }
  return address;
}

std::string sqlServerString(const ConnectionString& settings) {
  const std::string driver = driverName(settings.get("Driver").value_or("FreeTDS"));
  const SqlServerAddress address =
      parseDataSource(settings.get("Data Source").value_or(settings.get("Server").value_or("")));
  const bool freeTds = equalsIgnoringCase(driver, "FreeTDS");
  std::string out;
  add(out, "Driver", driver);
  if (freeTds) {
    // FreeTDS: the host, its port, and the instance in the server's name.
    add(out, "Server",
        address.instance.empty() ? address.host : address.host + "\\" + address.instance);
    if (!address.port.empty()) add(out, "Port", address.port);
    // TDS 7.3 is spoken by SQL Server 2008 and every later version.
    add(out, "TDS_Version", "7.3");
    add(out, "ClientCharset", "UTF-8");
  } else {
    // Microsoft's driver: Server=host,port or Server=host\instance.
    std::string server = address.host;
    if (!address.instance.empty()) server += "\\" + address.instance;
    if (!address.port.empty()) server += "," + address.port;
    add(out, "Server", server);
  }
  if (auto catalog = settings.get("Initial Catalog")) add(out, "Database", *catalog);
  if (auto user = settings.get("User ID")) add(out, "UID", *user);
  if (auto password = settings.get("Password")) add(out, "PWD", *password);
  return out;
}

std::string passThroughString(const ConnectionString& settings) {
  std::string out;
  // ODBC keeps the first of a key given twice; this string means the last.
  for (const auto& [key, value] : settings.effectivePairs()) {
    if (equalsIgnoringCase(key, "Provider")) continue;
    if (equalsIgnoringCase(key, "Extended Properties")) {
      // OLE DB's way of carrying a whole ODBC string.
      out += value;
      if (!value.empty() && value.back() != ';') out += ';';
      continue;
    }
    add(out, key, equalsIgnoringCase(key, "Driver") ? driverName(value) : value);
  }
  return out;
}

}  // namespace

std::string odbcConnectionString(const ConnectionString& settings) {
  switch (settings.providerKind()) {
    case Provider::SqlServer:
      return sqlServerString(settings);
    case Provider::Msdasql:
      return passThroughString(settings);
    default:
      throw StoreError("The provider '" + vip::messageText(settings.provider()) +
                       "' is not reached through ODBC");
  }
}

}  // namespace vip::store
