#pragma once

#include <string>
#include <vector>

#include "store/Backend.h"
#include "store/ConnectionString.h"

namespace vip::store {

// The tables the import reads and writes; an empty store gets all of them.
inline constexpr const char* kStoreTables[] = {"VipCardType", "VipCardMaster", "VIPCardDetail",
                                               "AutoSerialNo", "Qx_SysPara"};

// Creates the tables in an empty store; for SQLite the file is made when it
// does not exist. Throws StoreError when the store cannot be reached, already
// holds any of the tables (then nothing is changed) or is of a kind without
// a schema. Messages never hold the password.
void createStore(const ConnectionString& settings);

// The tables of kStoreTables that the store behind `backend` lacks.
std::vector<std::string> missingTables(Backend& backend);

}  // namespace vip::store
