#include "common/FormatSettings.h"

namespace vip {

const FormatSettings& defaultFormatSettings() {
  static const FormatSettings settings;
  return settings;
}

}  // namespace vip
