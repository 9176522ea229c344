#include "common/DateTime.h"

#include <charconv>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace vip {
namespace {

// 1899-12-30 in days since 1970-01-01.
constexpr long kSerialEpoch = -25569;

// Howard Hinnant's days_from_civil, counted from 1970-01-01.
long unixDaysFromCivil(long y, long m, long d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// The value's decimal digits, zero-padded to `width` (after a "-" when
// negative), as printf's "%0*d" writes them: every opening-balance entry
// writes a moment, so this runs for each.
void twoDigits(std::string& out, int value, int width) {
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  const bool negative = value < 0;
  const auto count = static_cast<int>(end - digits) - (negative ? 1 : 0);
  if (negative) out += '-';
  if (count < width) out.append(static_cast<std::size_t>(width - count), '0');
  out.append(digits + (negative ? 1 : 0), end);
}

size_t runLength(std::string_view text, size_t pos) {
  size_t n = 1;
  while (pos + n < text.size() && (text[pos + n] | 0x20) == (text[pos] | 0x20))
    ++n;
  return n;
}

}  // namespace

long daysFromCivil(int year, int month, int day) {
  return unixDaysFromCivil(year, month, day) - kSerialEpoch;
}

void civilFromDays(long days, int& year, int& month, int& day) {
  long z = days + kSerialEpoch + 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const long doe = z - era * 146097;
  const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

bool isValidDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

double toSerial(const DateTime& value) {
  const double days = static_cast<double>(daysFromCivil(value.year, value.month, value.day));
  const double time = (value.hour * 3600000.0 + value.minute * 60000.0 + value.second * 1000.0 +
                       value.millisecond) /
                      86400000.0;
  return days < 0 ? days - time : days + time;
}

DateTime fromSerial(double serial) {
  double whole = std::trunc(serial);
  auto ms = static_cast<long long>(std::llround(std::fabs(serial - whole) * 86400000.0));
  if (ms >= 86400000LL) {
    ms -= 86400000LL;
    whole += serial < 0 ? -1 : 1;
  }
  DateTime out;
  civilFromDays(static_cast<long>(whole), out.year, out.month, out.day);
  out.hour = static_cast<int>(ms / 3600000);
  out.minute = static_cast<int>(ms / 60000 % 60);
  out.second = static_cast<int>(ms / 1000 % 60);
  out.millisecond = static_cast<int>(ms % 1000);
  return out;
}

std::string formatDateTime(std::string_view pattern, const DateTime& v) {
  std::string out;
  for (size_t i = 0; i < pattern.size();) {
    const char c = static_cast<char>(pattern[i] | 0x20);
    const size_t n = runLength(pattern, i);
    switch (c) {
      case 'y':
        twoDigits(out, n >= 3 ? v.year : v.year % 100, n >= 3 ? 4 : 2);
        break;
      case 'm':
        twoDigits(out, v.month, n >= 2 ? 2 : 1);
        break;
      case 'd':
        twoDigits(out, v.day, n >= 2 ? 2 : 1);
        break;
      case 'h':
        twoDigits(out, v.hour, n >= 2 ? 2 : 1);
        break;
      case 'n':
        twoDigits(out, v.minute, n >= 2 ? 2 : 1);
        break;
      case 's':
        twoDigits(out, v.second, n >= 2 ? 2 : 1);
        break;
      case 'z':
        twoDigits(out, v.millisecond, n >= 3 ? 3 : 1);
        break;
      default:
        out.append(pattern.substr(i, n));
        break;
    }
    i += n;
  }
  return out;
}

std::string isoText(const DateTime& value) {
  return formatDateTime(value.millisecond ? "yyyy-mm-dd hh:nn:ss.zzz" : "yyyy-mm-dd hh:nn:ss",
                        value);
}

DateTime localNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
  DateTime out;
  out.year = tm.tm_year + 1900;
  out.month = tm.tm_mon + 1;
  out.day = tm.tm_mday;
  out.hour = tm.tm_hour;
  out.minute = tm.tm_min;
  out.second = tm.tm_sec;
  out.millisecond = static_cast<int>(ms.count() % 1000);
  return out;
}

std::string todayText() {
  return formatDateTime("yyyy-mm-dd", localNow());
}

}  // namespace vip
