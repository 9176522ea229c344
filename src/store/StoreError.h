#pragma once

#include <string>

#include "common/Error.h"

namespace vip::store {

// What a store engine said about a failure: SQLite's extended result code
// as `native`, or an ODBC driver's native error with its SQLSTATE.
struct StoreEngineCode {
  int native = 0;
  std::string sqlState;
};

// Any failure of the store layer. The message is the store's own text (or one
// of the data layer's fixed texts); it never holds a password. Where the
// engine gave a code, it travels along, so callers tell failures apart by
// code and never by the wording of a message.
class StoreError : public vip::Error {
 public:
  enum class Kind {
    General,         // a refusal of this statement (a constraint, a conversion, ...)
    NotFound,        // a store file that does not exist
    Retryable,       // serialization failure, busy store, clash creating a counter row
    ConnectionLost,  // the server went away (SQLSTATE 08xxx, a shutting-down server)
    StorageFailed,   // the store cannot be written or read: full, read-only, I/O, corrupt
  };

  using EngineCode = StoreEngineCode;

  explicit StoreError(const std::string& message, Kind kind = Kind::General,
                      StoreEngineCode code = StoreEngineCode())
      : vip::Error(message), m_kind(kind), m_code(std::move(code)) {}

  Kind kind() const { return m_kind; }
  const std::string& sqlState() const { return m_code.sqlState; }
  int nativeCode() const { return m_code.native; }

  // The store itself is gone or unusable: nothing later can succeed, so a
  // run must end instead of failing every row that follows.
  bool storeUnusable() const {
    return m_kind == Kind::ConnectionLost || m_kind == Kind::StorageFailed;
  }

 private:
  Kind m_kind;
  EngineCode m_code;
};

}  // namespace vip::store
