#pragma once

namespace vip::import {

// The work of one phase on each of its data rows, set up once per phase.
class RowImporter {
 public:
  virtual ~RowImporter() = default;
  // Fills and saves the record appended for sheet row `row`; throws the
  // row's first failure.
  virtual void import(int row) = 0;
};

}  // namespace vip::import
