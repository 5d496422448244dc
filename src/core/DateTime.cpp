#include "core/DateTime.h"

#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

// Days from 1970-01-01 for a proleptic Gregorian date (Howard Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Reads 1 to maxDigits decimal digits.
bool ReadNumber(std::string_view& s, int maxDigits, int& out) {
  int n = 0, v = 0;
  while (n < static_cast<int>(s.size()) && n < maxDigits && s[n] >= '0' && s[n] <= '9') {
    v = v * 10 + (s[n] - '0');
    ++n;
  }
  if (n == 0) return false;
  s.remove_prefix(n);
  out = v;
  return true;
}

bool Expect(std::string_view& s, char c) {
  if (s.empty() || s.front() != c) return false;
  s.remove_prefix(1);
  return true;
}

class TSystemClock final : public TClock {
 public:
  TDateTime Now() override {
    using namespace std::chrono;
    auto now = system_clock::now();
    time_t t = system_clock::to_time_t(now);
    auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    tm local{};
    localtime_r(&t, &local);
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                          local.tm_min, local.tm_sec, static_cast<int>(ms));
  }
  // Read after every fetched row: the coarse clock (a few milliseconds
  // fine, as a tick counter is) costs a fraction of the precise one.
  uint32_t Tick() override {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000);
  }
};

TSystemClock gSystemClock;
TClock* gClock = &gSystemClock;

}  // namespace

bool IsValidDate(int year, int month, int day) {
  return month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

TDateTime EncodeDate(int year, int month, int day) {
  return static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
                             kUnixEpochDays);
}

TDateTime EncodeTime(int hour, int minute, int second, int ms) {
  return ((hour * 3600.0 + minute * 60.0 + second) * 1000.0 + ms) / kMsPerDay;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms) {
  return EncodeDate(year, month, day) + EncodeTime(hour, minute, second, ms);
}

TDateParts DecodeDateTime(TDateTime value) {
  TDateParts p;
  if (!std::isfinite(value) || std::fabs(value) > 3.0e6) return p;  // beyond year 9999: give the epoch
  // Whole milliseconds since the epoch; the time of day is never negative.
  int64_t totalMs = std::llround(value * kMsPerDay);
  int64_t days = totalMs >= 0 ? totalMs / 86400000 : -((-totalMs + 86399999) / 86400000);
  int64_t msOfDay = totalMs - days * 86400000;
  CivilFromDays(days - kUnixEpochDays, p.Year, p.Month, p.Day);
  p.Hour = static_cast<int>(msOfDay / 3600000);
  p.Minute = static_cast<int>(msOfDay / 60000 % 60);
  p.Second = static_cast<int>(msOfDay / 1000 % 60);
  p.Ms = static_cast<int>(msOfDay % 1000);
  return p;
}

namespace {

// Appends value by a layout in which 'Y' is the four-digit year, 'M', 'D',
// 'h', 'm', 's' the two-digit month, day, hour, minute and second, and any
// other character stands for itself. One decode and no printf: every DATE
// cell of a fetched result passes through here.
void AppendParts(std::string& out, TDateTime value, std::string_view layout) {
  const TDateParts p = DecodeDateTime(value);
  auto put = [&out](int v, int digits) {
    if (v < 0 || v >= (digits == 4 ? 10000 : 100)) {
      char wide[16];  // a year outside 0..9999 keeps all its digits
      std::snprintf(wide, sizeof wide, "%0*d", digits, v);
      out += wide;
      return;
    }
    char buf[4];
    for (int i = digits - 1; i >= 0; --i, v /= 10) buf[i] = static_cast<char>('0' + v % 10);
    out.append(buf, static_cast<size_t>(digits));
  };
  for (char c : layout) {
    switch (c) {
      case 'Y': put(p.Year, 4); break;
      case 'M': put(p.Month, 2); break;
      case 'D': put(p.Day, 2); break;
      case 'h': put(p.Hour, 2); break;
      case 'm': put(p.Minute, 2); break;
      case 's': put(p.Second, 2); break;
      default: out += c; break;
    }
  }
}

std::string FormatParts(TDateTime value, std::string_view layout) {
  std::string out;
  out.reserve(layout.size() + 2);
  AppendParts(out, value, layout);
  return out;
}

}  // namespace

std::string FormatDate(TDateTime value) { return FormatParts(value, "Y/M/D"); }
std::string FormatTime(TDateTime value) { return FormatParts(value, "h:m:s"); }
std::string FormatDateTime(TDateTime value) { return FormatParts(value, "Y/M/D h:m:s"); }
void AppendDateTime(std::string& out, TDateTime value) {
  // The layout spelt out: this is the form of every fetched DATE cell.
  const TDateParts p = DecodeDateTime(value);
  if (p.Year < 0 || p.Year > 9999) {
    AppendParts(out, value, "Y/M/D h:m:s");
    return;
  }
  char text[] = "0000/00/00 00:00:00";
  auto two = [&text](size_t at, int v) {
    text[at] = static_cast<char>('0' + v / 10);
    text[at + 1] = static_cast<char>('0' + v % 10);
  };
  two(0, p.Year / 100);
  two(2, p.Year % 100);
  two(5, p.Month);
  two(8, p.Day);
  two(11, p.Hour);
  two(14, p.Minute);
  two(17, p.Second);
  out.append(text, sizeof text - 1);
}

bool PlainDateCellText(std::string_view s, std::string& out) {
  // "YYYY-MM-DD", with " HH:MM:SS" (or "T…") after it or nothing.
  const bool clock = s.size() == 19;
  if (!clock && s.size() != 10) return false;
  const char sep = s[4];
  if ((sep != '-' && sep != '/') || s[7] != sep) return false;
  if (clock && ((s[10] != ' ' && s[10] != 'T') || s[13] != ':' || s[16] != ':')) return false;
  auto number = [&s](size_t at, size_t digits, int& v) {
    v = 0;
    for (size_t i = at; i < at + digits; ++i) {
      if (s[i] < '0' || s[i] > '9') return false;
      v = v * 10 + (s[i] - '0');
    }
    return true;
  };
  int y, mo, d, h = 0, mi = 0, sec = 0;
  if (!number(0, 4, y) || !number(5, 2, mo) || !number(8, 2, d)) return false;
  if (clock && (!number(11, 2, h) || !number(14, 2, mi) || !number(17, 2, sec))) return false;
  if (y < 1900 || h > 23 || mi > 59 || sec > 59 || !IsValidDate(y, mo, d)) return false;
  out.assign(s);
  out[4] = out[7] = '/';
  if (clock)
    out[10] = ' ';
  else
    out += " 00:00:00";
  return true;
}

std::string FormatYmd(TDateTime value) { return FormatParts(value, "YMD"); }
std::string FormatHms(TDateTime value) { return FormatParts(value, "hms"); }

bool TryParseDate(std::string_view text, TDateTime& out) {
  std::string_view s = Trim(text);
  int y, m, d;
  if (!ReadNumber(s, 4, y) || !Expect(s, '/') || !ReadNumber(s, 2, m) || !Expect(s, '/') ||
      !ReadNumber(s, 2, d) || !s.empty())
    return false;
  if (y < 1 || !IsValidDate(y, m, d)) return false;
  out = EncodeDate(y, m, d);
  return true;
}

bool TryParseTime(std::string_view text, TDateTime& out) {
  std::string_view s = Trim(text);
  int h, mi, sec = 0, ms = 0;
  if (!ReadNumber(s, 2, h) || !Expect(s, ':') || !ReadNumber(s, 2, mi)) return false;
  if (Expect(s, ':')) {
    if (!ReadNumber(s, 2, sec)) return false;
    if (Expect(s, '.') && !ReadNumber(s, 3, ms)) return false;
  }
  if (!s.empty() || h > 23 || mi > 59 || sec > 59) return false;
  out = EncodeTime(h, mi, sec, ms);
  return true;
}

TDateTime MsToTime(uint64_t ms) { return static_cast<double>(ms % 86400000) / kMsPerDay; }

bool FileModTime(const std::string& path, TDateTime& out) {
  struct stat st{};
  if (stat(path.c_str(), &st) != 0) return false;
  tm local{};
  time_t t = st.st_mtime;
  localtime_r(&t, &local);
  out = EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                       local.tm_sec);
  return true;
}

TClock& Clock() { return *gClock; }

void SetClock(TClock* clock) { gClock = clock ? clock : &gSystemClock; }
