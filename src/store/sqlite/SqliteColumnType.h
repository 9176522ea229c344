#pragma once

#include <string>
#include <string_view>

#include "store/Value.h"

namespace vip::store {

// A column's kind and declared length read from a declared type written with
// SQL Server's type names ("varchar(20)", "nvarchar(50)", "decimal(9,0)",
// "money", ...). Types SQLite knows but SQL Server does not fall back to
// SQLite's own affinity rules.
FieldDef fieldFromDeclaredType(std::string name, std::string_view declaredType);

}  // namespace vip::store
