#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "store/Backend.h"
#include "store/Connection.h"
#include "store/Query.h"

namespace vip::test {

// One store engine the backend-neutral store tests run against. SQLite is
// always registered; a server engine registers itself from its own test file
// with a StoreTargetRegistration.
struct StoreTarget {
  std::string name;  // a test-name suffix: letters and digits only
  // Why the engine cannot run here; "" when it can.
  std::function<std::string()> unavailable;
  // A new, empty store (no tables); returns its connection string.
  std::function<std::string(const std::string& label)> newStore;
  // The column type of an integer key that the store numbers itself.
  std::string identityKeyType;
};

std::vector<StoreTarget>& storeTargets();

inline void PrintTo(const StoreTarget& target, std::ostream* out) {
  *out << target.name;
}

struct StoreTargetRegistration {
  explicit StoreTargetRegistration(StoreTarget target) {
    storeTargets().push_back(std::move(target));
  }
};

// A fixture with a fresh store per test and the store connection on it.
// The tables are made with statements every engine understands.
class StoreTest : public ::testing::TestWithParam<StoreTarget> {
 protected:
  void SetUp() override;

  // Runs statements on the store (through the connection's engine).
  void exec(const std::string& sql);
  // The first column of the first row of a query, as text ("" for NULL).
  std::string scalar(const std::string& sql);
  // Creates the standard tables: VipCardMaster, VIPCardDetail (numbered by
  // the store), AutoSerialNo and Qx_SysPara.
  void createTables();

  std::string m_connectionString;
  store::Connection m_connection;
};

// "sqlite", "postgresql", ... for the parameterised test names.
std::string targetName(const ::testing::TestParamInfo<StoreTarget>& info);

// A folder of its own for the running test program.
std::string scratchDir();

}  // namespace vip::test
