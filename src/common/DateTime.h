#pragma once

#include <string>
#include <string_view>

namespace vip {

// A calendar date and time of day, as the automation date type holds it.
struct DateTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;

  bool hasTime() const { return hour || minute || second || millisecond; }
  friend bool operator==(const DateTime&, const DateTime&) = default;
};

// Days since 1899-12-30 (the automation date's day 0) of a civil date.
long daysFromCivil(int year, int month, int day);
void civilFromDays(long days, int& year, int& month, int& day);
bool isValidDate(int year, int month, int day);

// The automation date serial: whole days from 1899-12-30, the time of day as
// the fraction (taken by its magnitude for dates before day 0).
double toSerial(const DateTime& value);
// Rounds to the nearest millisecond.
DateTime fromSerial(double serial);

// Formats with a pattern of the letters yyyy, yy, m, mm, d, dd, h, hh, n, nn,
// s, ss and zzz; every other character is copied.
std::string formatDateTime(std::string_view pattern, const DateTime& value);

// "yyyy-mm-dd hh:nn:ss", with ".zzz" when there are milliseconds.
std::string isoText(const DateTime& value);

DateTime localNow();
// Today's local date as "yyyy-mm-dd".
std::string todayText();

}  // namespace vip
