#pragma once

#include "common/Error.h"

namespace vip::sheet {

// Any failure of the workbook reader: a workbook that cannot be opened (the
// message names the file and the reason) or a cell that cannot be read as text.
class SheetError : public vip::Error {
 public:
  using vip::Error::Error;
};

}  // namespace vip::sheet
