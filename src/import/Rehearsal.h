#pragma once

#include "store/Backend.h"
#include "store/Connection.h"

namespace vip::import {

// The import rehearsed: the run inside one transaction on the store
// connection, rolled back on every path out, so the store keeps what it held.
// The rehearsal's statements really run, the store's refusals included.
class Rehearsal {
 public:
  explicit Rehearsal(store::Connection& connection) : m_backend(connection.backend()) {
    m_backend.beginTransaction(kNumberBlock);
  }
  ~Rehearsal() { m_backend.rollbackTransaction(); }
  Rehearsal(const Rehearsal&) = delete;
  Rehearsal& operator=(const Rehearsal&) = delete;

 private:
  // Numbers a block per draw: they go back with the rollback anyway.
  static constexpr int kNumberBlock = 1000;

  store::Backend& m_backend;
};

}  // namespace vip::import
