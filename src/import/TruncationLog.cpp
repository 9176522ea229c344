#include "import/TruncationLog.h"

#include <string>

namespace vip::import {

void logTruncations(Operator& op, int row, const store::Query& query) {
  for (const std::string& column : query.truncatedColumns()) {
    op.writeLog("警告:第" + std::to_string(row) + "行字段" + column + "超长,已截断");
  }
}

}  // namespace vip::import
