#pragma once

#include <memory>

namespace vip {

// Ties the life of a temporary query to a scope. The query is handed to the
// guard the moment it is created; every copy of the returned reference keeps
// it alive, and the last one to go frees it, exactly once, on any path out.
template <class Query>
class TSafeObject {
 public:
  explicit TSafeObject(std::unique_ptr<Query> query = nullptr) : m_query(std::move(query)) {}
  TSafeObject(const TSafeObject&) = delete;
  TSafeObject& operator=(const TSafeObject&) = delete;
  ~TSafeObject() {
    // Clear the field first, then free the query.
    std::unique_ptr<Query> query = std::move(m_query);
    query.reset();
  }

  Query* query() const { return m_query.get(); }

 private:
  std::unique_ptr<Query> m_query;
};

template <class Query>
using ISafeObject = std::shared_ptr<TSafeObject<Query>>;

// Wraps `query` in a guard, sets `out` to it and returns the only reference.
template <class Query>
ISafeObject<Query> AutoFreeQuery(std::unique_ptr<Query> query, Query*& out) {
  auto guard = std::make_shared<TSafeObject<Query>>(std::move(query));
  out = guard->query();
  return guard;
}

}  // namespace vip
