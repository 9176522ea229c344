#include "store/OdbcHandle.h"

#include <algorithm>

#include "store/OdbcWideText.h"
#include "store/StoreError.h"

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

std::string oneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  while (!text.empty() && text.back() == ' ')
    text.pop_back();
  return text;
}

void scrub(std::string& text, const std::string& secret) {
  if (secret.empty()) return;
  for (std::size_t pos = text.find(secret); pos != std::string::npos;
       pos = text.find(secret, pos)) {
    text.replace(pos, secret.size(), "***");
    pos += 3;
  }
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
  std::string text = message();
  if (text.empty()) {
    text = rc == SQL_INVALID_HANDLE ? "Invalid ODBC handle" : "The ODBC driver reported a failure";
  }
  throw StoreError(text, kindOf(state), state);
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
    if (m_secret) scrub(text, *m_secret);
    records.push_back({fromWide(state, 5), std::move(text)});
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

}  // namespace vip::store
