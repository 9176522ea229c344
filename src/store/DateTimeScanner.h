#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "common/DateTime.h"
#include "common/FormatSettings.h"

namespace vip::store {

// Reads a date, a date followed by a time of day, or a time of day alone, as
// the user's settings write them: the date's numbers in the short date
// format's order, separated by the date separator; hours, minutes, seconds
// and milliseconds with the time separator (the decimal separator before the
// milliseconds) and a morning or afternoon marker before or after. Blanks
// may stand before every number, separator and marker.
class DateTimeScanner {
 public:
  explicit DateTimeScanner(const FormatSettings& settings) : m_settings(settings) {}

  bool scan(std::string_view text, vip::DateTime& out);

 private:
  struct Number {
    int value = 0;
    int digits = 0;
  };

  void skipBlanks();
  bool atEnd();
  bool scanNumber(Number& out);
  bool scanChar(char c);
  bool scanWord(std::string_view word);
  int scanMarker();
  bool scanDate(vip::DateTime& out);
  bool scanTime(vip::DateTime& out);
  int currentYear();
  int placeYear(const Number& year);

  const FormatSettings& m_settings;
  std::string_view m_text;
  std::size_t m_pos = 0;
  std::optional<int> m_currentYear;  // read from the clock only when a date needs it
};

}  // namespace vip::store
