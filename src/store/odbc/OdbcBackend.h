#pragma once

#include <memory>

#include "store/Backend.h"
#include "store/ConnectionString.h"

namespace vip::store {

// A store reached through unixODBC (SQLOLEDB → SQL Server via FreeTDS,
// MSDASQL → any driver); the dialect comes from the driver's DBMS name.
std::unique_ptr<Backend> openOdbcBackend(const ConnectionString& settings);

}  // namespace vip::store
