#include "store/odbc/OdbcHandle.h"

#include <algorithm>

#include "common/Messages.h"
#include "store/StoreError.h"
#include "store/odbc/OdbcWideText.h"

namespace vip::store {

namespace {

// "[unixODBC][FreeTDS][SQL Server]Login failed" → "Login failed". The
// prefixes name the layers, not the fault; a message that is nothing but
// prefixes is kept as it is.
std::string withoutLayerPrefixes(const std::string& text) {
  std::size_t pos = 0;
  while (pos < text.size() && text[pos] == '[') {
    const std::size_t close = text.find(']', pos);
    if (close == std::string::npos) break;
    pos = close + 1;
  }
  if (pos >= text.size()) return text;
  return text.substr(pos);
}

// The PostgreSQL driver appends a line of its own to the server's text.
std::string withoutDriverTrailer(std::string text) {
  const std::size_t trailer = text.find(";\nError while");
  if (trailer != std::string::npos) text.erase(trailer);
  return text;
}

// One line fit for a message: line breaks and tabs as blanks, other control
// characters escaped, no trailing blanks.
std::string oneLine(const std::string& text) {
  std::string line = vip::messageText(text, std::string::npos);
  while (!line.empty() && line.back() == ' ')
    line.pop_back();
  return line;
}

// Letters, digits and the bytes of non-ASCII characters make up words.
bool isWordByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 0x80 || (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') ||
         (byte >= 'a' && byte <= 'z') || c == '_';
}

StoreError::Kind kindOf(const std::string& state) {
  // 08xxx: connection exceptions; 57P01-57P03: the server is shutting down.
  if (state.rfind("08", 0) == 0 || state == "57P01" || state == "57P02" || state == "57P03") {
    return StoreError::Kind::ConnectionLost;
  }
  if (state == "40001" || state == "40P01") return StoreError::Kind::Retryable;
  return StoreError::Kind::General;
}

}  // namespace

OdbcHandle::OdbcHandle(SQLSMALLINT type, SQLHANDLE parent,
                       std::shared_ptr<const std::string> secret)
    : m_type(type), m_secret(std::move(secret)) {
  const SQLRETURN rc = SQLAllocHandle(type, parent, &m_handle);
  if (!SQL_SUCCEEDED(rc)) {
    m_handle = SQL_NULL_HANDLE;
    throw StoreError("Cannot allocate an ODBC handle");
  }
}

OdbcHandle::~OdbcHandle() {
  release();
}

OdbcHandle::OdbcHandle(OdbcHandle&& other) noexcept
    : m_handle(other.m_handle), m_type(other.m_type), m_secret(std::move(other.m_secret)) {
  other.m_handle = SQL_NULL_HANDLE;
}

OdbcHandle& OdbcHandle::operator=(OdbcHandle&& other) noexcept {
  if (this != &other) {
    release();
    m_handle = other.m_handle;
    m_type = other.m_type;
    m_secret = std::move(other.m_secret);
    other.m_handle = SQL_NULL_HANDLE;
  }
  return *this;
}

void OdbcHandle::release() noexcept {
  if (m_handle != SQL_NULL_HANDLE) {
    SQLFreeHandle(m_type, m_handle);
    m_handle = SQL_NULL_HANDLE;
  }
}

SQLRETURN OdbcHandle::check(SQLRETURN rc) const {
  if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) return rc;
  const std::vector<Diagnostic> records = diagnostics();
  std::string state = records.empty() ? std::string() : records.front().sqlState;
  const int native = records.empty() ? 0 : records.front().native;
  std::string text = message();
  if (text.empty()) {
    text = rc == SQL_INVALID_HANDLE ? "Invalid ODBC handle" : "The ODBC driver reported a failure";
  }
  const StoreError::Kind kind = kindOf(state);
  throw StoreError(text, kind, StoreError::EngineCode{native, std::move(state)});
}

std::vector<OdbcHandle::Diagnostic> OdbcHandle::diagnostics() const {
  std::vector<Diagnostic> records;
  if (m_handle == SQL_NULL_HANDLE) return records;
  for (SQLSMALLINT i = 1; i <= 20; ++i) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    WideText buffer(1024, 0);
    SQLRETURN rc = SQLGetDiagRecW(m_type, m_handle, i, state, &native, buffer.data(),
                                  static_cast<SQLSMALLINT>(buffer.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(buffer.size())) {
      buffer.assign(static_cast<std::size_t>(length) + 1, 0);
      rc = SQLGetDiagRecW(m_type, m_handle, i, state, &native, buffer.data(),
                          static_cast<SQLSMALLINT>(buffer.size()), &length);
    }
    if (!SQL_SUCCEEDED(rc)) break;
    const std::size_t units =
        std::min(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)), buffer.size());
    std::string text = fromWide(buffer.data(), units);
    if (m_secret) text = maskSecret(std::move(text), *m_secret);
    records.push_back({fromWide(state, 5), static_cast<int>(native), std::move(text)});
  }
  return records;
}

std::string OdbcHandle::message() const {
  std::string all;
  for (const Diagnostic& record : diagnostics()) {
    std::string text = oneLine(withoutDriverTrailer(withoutLayerPrefixes(record.message)));
    if (text.empty() || all.find(text) != std::string::npos) continue;
    if (!all.empty()) all += "; ";
    all += text;
  }
  return all;
}

std::string maskSecret(std::string text, const std::string& secret) {
  if (secret.empty()) return text;
  for (std::size_t pos = text.find(secret); pos != std::string::npos;
       pos = text.find(secret, pos)) {
    const std::size_t end = pos + secret.size();
    const bool startsWord = pos == 0 || !isWordByte(text[pos - 1]) || !isWordByte(secret.front());
    const bool endsWord =
        end == text.size() || !isWordByte(text[end]) || !isWordByte(secret.back());
    if (startsWord && endsWord) {
      text.replace(pos, secret.size(), "***");
      pos += 3;
    } else {
      ++pos;
    }
  }
  return text;
}

}  // namespace vip::store
