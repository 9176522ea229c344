#pragma once

#include <string>

namespace vip {

// The locale settings that cell texts are written in and that date, time and
// number texts are read back with. One value, so tests can vary it.
struct FormatSettings {
  std::string shortDateFormat = "yyyy-mm-dd";
  std::string longTimeFormat = "hh:nn:ss";
  char dateSeparator = '-';
  char timeSeparator = ':';
  char decimalSeparator = '.';
  char thousandSeparator = '\0';  // none
  std::string timeAMString = "AM";
  std::string timePMString = "PM";
  // Years of one or two digits land in the 100 years that begin this many
  // years before the current year.
  int twoDigitYearWindow = 50;
};

const FormatSettings& defaultFormatSettings();

}  // namespace vip
