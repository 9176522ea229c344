#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sheet/CellValue.h"

namespace vip::sheet {

class XlsxArchive;

// What each cell format (an <xf> of <cellXfs>, which a cell's s attribute
// indexes) makes of a number: a date, currency or the general form.
class XlsxStyles {
 public:
  static XlsxStyles read(XlsxArchive& archive, const std::string& part);

  // General for an index the styles do not hold, as for a cell without s.
  NumberStyle style(std::uint32_t xfIndex) const {
    return xfIndex < m_styles.size() ? m_styles[xfIndex] : NumberStyle::General;
  }

 private:
  std::vector<NumberStyle> m_styles;
};

}  // namespace vip::sheet
