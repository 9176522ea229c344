#pragma once

#include <string>
#include <vector>

namespace vip::window {

// A data source that the ODBC driver manager knows (odbc.ini).
struct OdbcDataSource {
  std::string name;
  std::string description;  // the driver's name, as the driver manager gives it
};

// The user data sources, then the system ones, as SQLDataSources lists them;
// empty when the driver manager has none or cannot be asked.
std::vector<OdbcDataSource> odbcDataSources();

}  // namespace vip::window
