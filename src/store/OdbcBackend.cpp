#include "store/OdbcBackend.h"

#include "store/StoreError.h"

namespace vip::store {

// Placeholder until the ODBC backend lands.
std::unique_ptr<Backend> openOdbcBackend(const ConnectionString& settings) {
  (void)settings;
  throw StoreError("ODBC stores are not available in this build");
}

}  // namespace vip::store
