#pragma once

#include <string>
#include <vector>

#include "common/FormatSettings.h"
#include "store/Connection.h"

namespace vip::import {

struct CheckReport {
  std::vector<std::string> lines;  // the report, in Chinese, one line each
  int warnings = 0;                // findings that make `check` exit 4
};

// What the two workbooks hold beyond what their rows do, against the store
// on `connection` (open; the caller may hold a transaction on it): for each
// workbook its sheet and used range, its titles (matched, ignored with a
// hint where one nearly matches, missing with what the store then does),
// the rows that hold nothing; for the members the card numbers given twice
// or already in the store and the category numbers nobody knows.
// The store is read as it stands when this is called: call it before a
// rehearsal writes anything (or after its rollback), or the rehearsal's own
// members count as already present. It runs only selects, naming only
// columns the store has described, so no statement of its own fails inside
// the caller's transaction. Throws like the import does for a workbook that
// cannot be opened or a target table the store does not have.
CheckReport checkWorkbooks(store::Connection& connection, const std::string& categoryPath,
                           const std::string& memberPath,
                           const FormatSettings& settings = defaultFormatSettings());

}  // namespace vip::import
