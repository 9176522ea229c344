#include "store/SerialNo.h"

#include <charconv>
#include <cstdio>
#include <memory>

#include "common/SafeObj.h"
#include "store/StatementMap.h"
#include "store/StoreError.h"

namespace vip::store {

namespace {

vip::Error assertionFailure(int line) {
  char message[128];
  std::snprintf(message, sizeof message, "%s (%s, line %d)", "Assertion failure",
                "src/store/SerialNo.cpp", line);
  return vip::Error(message);
}

std::int32_t readInt32(const Query& query, std::string_view field) {
  const std::string text = query.fieldAsText(field);
  std::int32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size())
    throw StoreError("'" + text + "' is not a valid integer value for field '" +
                     std::string(field) + "'");
  return value;
}

}  // namespace

void AssignAutoSerialNo(const std::string& table, const std::string& column, Query* dataset) {
  if (table.empty() || column.empty() || !dataset || !dataset->inInsertState())
    throw assertionFailure(__LINE__);

  Query* query = nullptr;
  const auto guard =
      vip::AutoFreeQuery(std::make_unique<Query>(dataset->connection(), "AutoSerialNo"), query);

  query->setSql(identityTestStatement(table, column));
  query->open();
  // The store numbers an identity column itself when the record is saved.
  if (!query->eof()) return;
  query->close();

  query->setSql(allocationBatch(table, column));
  query->open();
  const std::int32_t number = readInt32(*query, "ASN_No");
  dataset->setInteger(column, number);
}

}  // namespace vip::store
