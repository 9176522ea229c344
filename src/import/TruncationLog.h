#pragma once

#include "import/Operator.h"
#include "store/Query.h"

namespace vip::import {

// After a save: one log line per column whose text the store's declared
// length cut, "警告:第<row>行字段<column>超长,已截断", so no cut goes unseen.
void logTruncations(Operator& op, int row, const store::Query& query);

}  // namespace vip::import
