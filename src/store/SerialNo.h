#pragma once

#include <string>

#include "store/Query.h"

namespace vip::store {

// Gives the record freshly appended to `dataset` the next number of the
// counter "<column>_<table>" from AutoSerialNo, or leaves it to the store
// where the column is an identity column. A precondition that does not hold
// throws "Assertion failure (<source file>, line <n>)".
void AssignAutoSerialNo(const std::string& table, const std::string& column, Query* dataset);

}  // namespace vip::store
