#pragma once

#include <string>

#include "common/Error.h"

namespace vip::store {

// Any failure of the store layer. The message is the store's own text (or one
// of the data layer's fixed texts); it never holds a password.
class StoreError : public vip::Error {
 public:
  enum class Kind {
    General,
    NotFound,        // a store file that does not exist
    Retryable,       // serialization failure, busy store, clash creating a counter row
    ConnectionLost,  // the server went away
  };
  explicit StoreError(const std::string& message, Kind kind = Kind::General,
                      std::string sqlState = {})
      : vip::Error(message), m_kind(kind), m_sqlState(std::move(sqlState)) {}
  Kind kind() const { return m_kind; }
  const std::string& sqlState() const { return m_sqlState; }

 private:
  Kind m_kind;
  std::string m_sqlState;
};

}  // namespace vip::store
