#include "store/SerialNo.h"

#include <cstdio>
#include <memory>

#include "common/Error.h"
#include "common/SafeObj.h"
#include "store/Statement.h"

namespace vip::store {

namespace {

vip::Error assertionFailure(int line) {
  char message[128];
  std::snprintf(message, sizeof message, "%s (%s, line %d)", "Assertion failure",
                "src/store/SerialNo.cpp", line);
  return vip::Error(message);
}

}  // namespace

void AssignAutoSerialNo(const std::string& table, const std::string& column, Query* dataset) {
  if (table.empty() || column.empty() || !dataset || !dataset->inInsertState())
    throw assertionFailure(__LINE__);

  Query* query = nullptr;
  const auto guard =
      vip::AutoFreeQuery(std::make_unique<Query>(dataset->connection(), "AutoSerialNo"), query);

  query->setSql(Statement::identityTest(table, column));
  query->open();
  // The store numbers an identity column itself when the record is saved.
  if (!query->eof()) return;
  query->close();

  query->setSql(Statement::allocation(table, column));
  query->open();
  const std::int32_t number = query->fieldAsInt32("ASN_No");
  dataset->setInteger(column, number);
}

}  // namespace vip::store
