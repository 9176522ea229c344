#include "store/ConnectionString.h"

#include <algorithm>

#include "common/AsciiCase.h"
#include "store/StoreError.h"

namespace vip::store {

namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string trimmed(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && isBlank(text[begin]))
    ++begin;
  while (end > begin && isBlank(text[end - 1]))
    --end;
  return std::string(text.substr(begin, end - begin));
}

// Whether a value must be quoted to read back the same.
bool needsQuotes(std::string_view value) {
  if (value.empty()) return false;
  return value.find_first_of(";\"'") != std::string_view::npos || isBlank(value.front()) ||
         isBlank(value.back()) || value.front() == '{';
}

[[noreturn]] void malformed(const std::string& why) {
  // The text itself is never quoted: any part of it may be a password.
  throw StoreError("Malformed connection string: " + why);
}

// Reads a value quoted with `quote` starting after the opening quote; a
// doubled quote stands for one quote character.
std::string readQuoted(std::string_view text, std::size_t& pos, char quote,
                       const std::string& key) {
  std::string value;
  while (pos < text.size()) {
    const char c = text[pos++];
    if (c != quote) {
      value.push_back(c);
      continue;
    }
    if (pos < text.size() && text[pos] == quote) {
      value.push_back(quote);
      ++pos;
      continue;
    }
    return value;
  }
  malformed("the value of '" + key + "' has no closing quote");
}

}  // namespace

ConnectionString ConnectionString::parse(const std::string& text) {
  ConnectionString result;
  std::string_view rest(text);
  std::size_t pos = 0;
  int segment = 0;
  while (pos < rest.size()) {
    ++segment;
    const std::size_t keyEnd = rest.find_first_of("=;", pos);
    if (keyEnd == std::string_view::npos || rest[keyEnd] == ';') {
      const std::size_t segmentEnd = keyEnd == std::string_view::npos ? rest.size() : keyEnd;
      if (!trimmed(rest.substr(pos, segmentEnd - pos)).empty())
        malformed("setting " + std::to_string(segment) + " has no '='");
      pos = segmentEnd + 1;  // an empty segment
      continue;
    }
    std::string key = trimmed(rest.substr(pos, keyEnd - pos));
    if (key.empty()) malformed("setting " + std::to_string(segment) + " has no name");
    pos = keyEnd + 1;
    while (pos < rest.size() && isBlank(rest[pos]))
      ++pos;
    std::string value;
    if (pos < rest.size() && (rest[pos] == '"' || rest[pos] == '\'')) {
      const char quote = rest[pos++];
      value = readQuoted(rest, pos, quote, key);
      while (pos < rest.size() && isBlank(rest[pos]))
        ++pos;
      if (pos < rest.size() && rest[pos] != ';')
        malformed("text follows the closing quote of '" + key + "'");
      ++pos;
    } else {
      // An ODBC-style {braced} value may hold separators; the braces stay.
      std::size_t scanFrom = pos;
      if (pos < rest.size() && rest[pos] == '{') {
        const std::size_t close = rest.find('}', pos);
        if (close == std::string_view::npos)
          malformed("the value of '" + key + "' has no closing brace");
        scanFrom = close;
      }
      const std::size_t valueEnd = std::min(rest.find(';', scanFrom), rest.size());
      value = trimmed(rest.substr(pos, valueEnd - pos));
      pos = valueEnd + 1;
    }
    result.m_pairs.emplace_back(std::move(key), std::move(value));
  }
  return result;
}

std::optional<std::string> ConnectionString::find(const Pairs& pairs, std::string_view key) {
  // The last setting of a key wins, as when a later key overrides an earlier one.
  for (auto it = pairs.rbegin(); it != pairs.rend(); ++it) {
    if (equalsIgnoringCase(it->first, key)) return it->second;
  }
  return std::nullopt;
}

std::optional<std::string> ConnectionString::get(std::string_view key) const {
  return find(m_pairs, key);
}

ConnectionString::Pairs ConnectionString::effectivePairs() const {
  Pairs out;
  for (const auto& pair : m_pairs) {
    const auto known = std::find_if(out.begin(), out.end(), [&](const auto& seen) {
      return equalsIgnoringCase(seen.first, pair.first);
    });
    if (known == out.end())
      out.push_back(pair);
    else
      known->second = pair.second;
  }
  return out;
}

std::string ConnectionString::provider() const {
  return toUpperAscii(get("Provider").value_or(""));
}

Provider ConnectionString::providerKind() const {
  return providerOf(get("Provider").value_or(""));
}

Provider ConnectionString::providerOf(std::string_view provider) {
  const std::string name = toUpperAscii(trimmed(provider));
  if (name.empty()) return Provider::None;
  if (name == "SQLITE") return Provider::Sqlite;
  if (name == "SQLOLEDB" || name == "SQLOLEDB.1") return Provider::SqlServer;
  if (name == "MSDASQL" || name == "MSDASQL.1") return Provider::Msdasql;
  return Provider::Unknown;
}

bool ConnectionString::isPasswordKey(std::string_view key) {
  return equalsIgnoringCase(key, "Password") || equalsIgnoringCase(key, "PWD");
}

std::string ConnectionString::password() const {
  for (auto it = m_pairs.rbegin(); it != m_pairs.rend(); ++it) {
    if (isPasswordKey(it->first)) return it->second;
  }
  return {};
}

std::string ConnectionString::compose(const Pairs& pairs) {
  std::string out;
  for (const auto& [key, value] : pairs) {
    if (!out.empty()) out += ';';
    out += key;
    out += '=';
    out += oleDbQuoted(value);
  }
  return out;
}

std::string ConnectionString::redacted() const {
  Pairs shown = m_pairs;
  for (auto& [key, value] : shown) {
    if (isPasswordKey(key)) value = "***";
  }
  return compose(shown);
}

std::string oleDbQuoted(std::string_view value) {
  if (!needsQuotes(value)) return std::string(value);
  std::string out = "\"";
  for (const char c : value) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + '"';
}

std::string odbcQuoted(std::string_view value) {
  const bool plain = value.find_first_of(";{}") == std::string_view::npos &&
                     (value.empty() || (!isBlank(value.front()) && !isBlank(value.back())));
  if (plain) return std::string(value);
  std::string out = "{";
  for (const char c : value) {
    out += c;
    if (c == '}') out += '}';
  }
  return out + "}";
}

}  // namespace vip::store
