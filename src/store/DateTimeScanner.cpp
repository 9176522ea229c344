#include "store/DateTimeScanner.h"

#include <algorithm>

#include "common/AsciiCase.h"

namespace vip::store {
namespace {

enum class DateOrder { MonthDayYear, DayMonthYear, YearMonthDay };

// The order of the first of the letters d, m and y in the short date format.
DateOrder dateOrder(std::string_view format) {
  for (char c : format) {
    switch (c | 0x20) {
      case 'd':
        return DateOrder::DayMonthYear;
      case 'm':
        return DateOrder::MonthDayYear;
      case 'y':
        return DateOrder::YearMonthDay;
      default:
        break;
    }
  }
  return DateOrder::MonthDayYear;
}

}  // namespace

bool DateTimeScanner::scan(std::string_view text, vip::DateTime& out) {
  m_text = text;
  m_pos = 0;
  vip::DateTime value;
  if (scanDate(value)) {
    if (!atEnd() && !(scanTime(value) && atEnd())) return false;
    out = value;
    return true;
  }
  m_pos = 0;
  value = vip::DateTime{};  // a time alone falls on day 0, 1899-12-30
  if (!(scanTime(value) && atEnd())) return false;
  out = value;
  return true;
}

void DateTimeScanner::skipBlanks() {
  while (m_pos < m_text.size() && m_text[m_pos] == ' ')
    ++m_pos;
}

bool DateTimeScanner::atEnd() {
  skipBlanks();
  return m_pos == m_text.size();
}

bool DateTimeScanner::scanNumber(Number& out) {
  skipBlanks();
  out = Number{};
  // Beyond every valid part of a date or time, and far from overflowing.
  constexpr int kCap = 1'000'000;
  for (; m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9';
       ++m_pos, ++out.digits)
    out.value = std::min(out.value * 10 + (m_text[m_pos] - '0'), kCap);
  return out.digits > 0;
}

bool DateTimeScanner::scanChar(char c) {
  const std::size_t start = m_pos;
  skipBlanks();
  if (m_pos < m_text.size() && m_text[m_pos] == c) {
    ++m_pos;
    return true;
  }
  m_pos = start;
  return false;
}

bool DateTimeScanner::scanWord(std::string_view word) {
  if (word.empty()) return false;
  const std::size_t start = m_pos;
  skipBlanks();
  if (equalsIgnoringCase(m_text.substr(m_pos, word.size()), word)) {
    m_pos += word.size();
    return true;
  }
  m_pos = start;
  return false;
}

// A morning or afternoon marker, the user's own or "AM"/"PM": the hours it
// adds, or -1 where there is none.
int DateTimeScanner::scanMarker() {
  if (scanWord(m_settings.timeAMString) || scanWord("AM")) return 0;
  if (scanWord(m_settings.timePMString) || scanWord("PM")) return 12;
  return -1;
}

int DateTimeScanner::currentYear() {
  if (!m_currentYear) m_currentYear = vip::localNow().year;
  return *m_currentYear;
}

// A year of one or two digits lands in the hundred years that begin the
// window's length before the current year.
int DateTimeScanner::placeYear(const Number& year) {
  if (year.digits > 2) return year.value;
  const int first = currentYear() - m_settings.twoDigitYearWindow;
  const int placed = first - first % 100 + year.value;
  return placed < first ? placed + 100 : placed;
}

bool DateTimeScanner::scanDate(vip::DateTime& out) {
  Number a, b, c;
  if (!scanNumber(a) || !scanChar(m_settings.dateSeparator) || !scanNumber(b)) return false;
  const bool hasYear = scanChar(m_settings.dateSeparator);
  if (hasYear && !scanNumber(c)) return false;
  const DateOrder order = dateOrder(m_settings.shortDateFormat);
  // Without a year, two numbers are the day and the month for a format that
  // begins with the day, the month and the day otherwise.
  int year = 0;
  int month = 0;
  int day = 0;
  if (!hasYear) {
    year = currentYear();
    month = order == DateOrder::DayMonthYear ? b.value : a.value;
    day = order == DateOrder::DayMonthYear ? a.value : b.value;
  } else if (order == DateOrder::YearMonthDay) {
    year = placeYear(a);
    month = b.value;
    day = c.value;
  } else {
    year = placeYear(c);
    month = order == DateOrder::DayMonthYear ? b.value : a.value;
    day = order == DateOrder::DayMonthYear ? a.value : b.value;
  }
  if (!vip::isValidDate(year, month, day)) return false;
  out.year = year;
  out.month = month;
  out.day = day;
  return true;
}

bool DateTimeScanner::scanTime(vip::DateTime& out) {
  int baseHour = scanMarker();
  Number hour, minute, second, millisecond;
  if (!scanNumber(hour)) return false;
  if (scanChar(m_settings.timeSeparator)) {
    if (!scanNumber(minute)) return false;
    if (scanChar(m_settings.timeSeparator)) {
      if (!scanNumber(second)) return false;
      if (scanChar(m_settings.decimalSeparator) && !scanNumber(millisecond)) return false;
    }
  }
  if (baseHour < 0) baseHour = scanMarker();
  if (baseHour >= 0) {
    // With a marker the hours run 12, 1, ..., 11.
    if (hour.value == 0 || hour.value > 12) return false;
    hour.value = hour.value % 12 + baseHour;
  }
  if (hour.value > 23 || minute.value > 59 || second.value > 59 || millisecond.value > 999)
    return false;
  out.hour = hour.value;
  out.minute = minute.value;
  out.second = second.value;
  out.millisecond = millisecond.value;
  return true;
}

}  // namespace vip::store
