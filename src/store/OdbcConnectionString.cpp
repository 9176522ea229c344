#include <algorithm>
#include <cctype>
#include <optional>

#include "common/AsciiCase.h"
#include "store/ConnectionString.h"
#include "store/StoreError.h"

namespace vip::store {

namespace {

std::optional<std::string> valueOf(const ConnectionString& settings, std::string_view key) {
  for (const auto& [name, value] : settings.pairs()) {
    if (equalsIgnoringCase(name, key)) return value;
  }
  return std::nullopt;
}

// ODBC's own quoting: a value holding ; { } or blanks at its ends goes in
// braces, a closing brace doubled. A value already in braces stays as it is.
std::string odbcValue(const std::string& value) {
  if (value.size() >= 2 && value.front() == '{' && value.back() == '}') return value;
  const bool plain = value.find_first_of(";{}") == std::string::npos &&
                     (value.empty() || (value.front() != ' ' && value.back() != ' '));
  if (plain) return value;
  std::string out = "{";
  for (const char c : value) {
    out += c;
    if (c == '}') out += '}';
  }
  return out + "}";
}

void add(std::string& out, std::string_view key, const std::string& value) {
  out.append(key);
  out += '=';
  out += odbcValue(value);
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
      throw StoreError("Invalid port in Data Source: '" + address.port + "'");
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
  const std::string driver = valueOf(settings, "Driver").value_or("FreeTDS");
  const SqlServerAddress address = parseDataSource(
      valueOf(settings, "Data Source").value_or(valueOf(settings, "Server").value_or("")));
  const bool freeTds =
      equalsIgnoringCase(driver, "FreeTDS") || equalsIgnoringCase(driver, "{FreeTDS}");
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
  if (auto catalog = valueOf(settings, "Initial Catalog")) add(out, "Database", *catalog);
  if (auto user = valueOf(settings, "User ID")) add(out, "UID", *user);
  if (auto password = valueOf(settings, "Password")) add(out, "PWD", *password);
  return out;
}

std::string passThroughString(const ConnectionString& settings) {
  std::string out;
  for (const auto& [key, value] : settings.pairs()) {
    if (equalsIgnoringCase(key, "Provider")) continue;
    if (equalsIgnoringCase(key, "Extended Properties")) {
      // OLE DB's way of carrying a whole ODBC string.
      out += value;
      if (!value.empty() && value.back() != ';') out += ';';
      continue;
    }
    add(out, key, value);
  }
  return out;
}

}  // namespace

std::string odbcConnectionString(const ConnectionString& settings) {
  const std::string provider = toUpperAscii(valueOf(settings, "Provider").value_or(""));
  if (provider == "SQLOLEDB" || provider == "SQLOLEDB.1") return sqlServerString(settings);
  if (provider == "MSDASQL" || provider == "MSDASQL.1") return passThroughString(settings);
  throw StoreError("The provider '" + provider + "' is not reached through ODBC");
}

}  // namespace vip::store
