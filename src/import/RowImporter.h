#pragma once

#include <optional>
#include <string>

namespace vip::import {

// The work of one phase on each of its data rows, set up once per phase.
class RowImporter {
 public:
  virtual ~RowImporter() = default;
  // Fills and saves the record appended for sheet row `row`; throws the
  // row's first failure.
  virtual void import(int row) = 0;
  // After a failed import(): the number of the record it had saved before
  // failing (a member whose opening-balance entry failed); none otherwise.
  virtual std::optional<std::string> savedRecord() const { return std::nullopt; }
};

}  // namespace vip::import
