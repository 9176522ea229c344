#pragma once

#include <optional>
#include <string>
#include <vector>

#include "store/Backend.h"
#include "store/odbc/OdbcDialect.h"
#include "store/odbc/OdbcStatement.h"

namespace vip::store {

// Reading what a statement gave back: the description of its result
// columns and its rows as the data layer's values.

// The columns of the current result as the driver describes them. A driver
// call that fails raises: a description that cannot be read is no
// description (an unreadable identity flag must not mean "no identity").
std::vector<OdbcColumn> describeColumns(OdbcStatement& statement);

// The first result that has columns, with all its rows. The statement is
// left on that result: closing it would cancel the rest of a batch (the
// commit after the select), so draining is the caller's.
ResultSet readResult(OdbcStatement& statement, const OdbcDialect& dialect);

// One column of the current row as a value of the column's kind; NULL
// gives an empty value.
Value readValue(OdbcStatement& statement, SQLUSMALLINT index, FieldKind kind);

// The first column of the first row of the first result that has columns,
// as a 64-bit integer (the number an insert was given); nullopt for none.
std::optional<std::int64_t> readFirstInteger(OdbcStatement& statement);

}  // namespace vip::store
