#pragma once

#include <memory>
#include <string>

#include "store/Backend.h"

namespace vip::store {

// Native SQLite: `Data Source` is the store file. A file that does not exist
// is refused unless `mode` is Create.
std::unique_ptr<Backend> openSqliteBackend(const std::string& path, OpenMode mode);

}  // namespace vip::store
