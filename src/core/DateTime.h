#pragma once
// TDateTime: days since 1899-12-30 plus the fraction of the day, local time.
// Durations are kept as times of day. Formatting rounds to whole
// milliseconds first, so 1000 ms always shows as 00:00:01.

#include <cstdint>
#include <string>
#include <string_view>

using TDateTime = double;

constexpr double kMsPerDay = 86400000.0;
constexpr int64_t kUnixEpochDays = 25569;  // 1970-01-01 as a TDateTime

// A month 1..12 and a day that exists in it (leap years counted).
bool IsValidDate(int year, int month, int day);

TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int ms = 0);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms = 0);

struct TDateParts {
  int Year = 1899, Month = 12, Day = 30, Hour = 0, Minute = 0, Second = 0, Ms = 0;
};
TDateParts DecodeDateTime(TDateTime value);

// "yyyy/mm/dd", "hh:mm:ss", "yyyy/mm/dd hh:mm:ss", "yyyymmdd", "hhmmss".
std::string FormatDate(TDateTime value);
std::string FormatTime(TDateTime value);
std::string FormatDateTime(TDateTime value);
// FormatDateTime's text added to out: no allocation once out has the room.
void AppendDateTime(std::string& out, TDateTime value);
// The cell text of a date-time held as "YYYY-MM-DD HH:MM:SS" or "YYYY-MM-DD"
// (also with "T" or "/", years 1900 to 9999, no fraction, no blanks), written
// straight into `out` as "YYYY/MM/DD HH:MM:SS": the text that AppendDateTime makes of the
// date-time it stands for, without the detour through one. False for any
// other text, which then takes that detour.
bool PlainDateCellText(std::string_view text, std::string& out);
std::string FormatYmd(TDateTime value);
std::string FormatHms(TDateTime value);

// "y/m/d" and "h:m:s" (seconds optional, ".zzz" milliseconds allowed).
// Blanks around the text are ignored; anything else makes them fail.
bool TryParseDate(std::string_view text, TDateTime& out);
bool TryParseTime(std::string_view text, TDateTime& out);

// Elapsed milliseconds as a time of day (wraps at 24 hours).
TDateTime MsToTime(uint64_t ms);

// Last-modification time of a file in local time; false when it cannot be read.
bool FileModTime(const std::string& path, TDateTime& out);

// The wall clock and the millisecond tick, replaceable by tests.
class TClock {
 public:
  virtual ~TClock() = default;
  virtual TDateTime Now() = 0;
  virtual uint32_t Tick() = 0;
};

TClock& Clock();
// Installs a clock (nullptr restores the system clock). Not owned.
void SetClock(TClock* clock);

inline TDateTime Now() { return Clock().Now(); }
inline uint32_t GetTick() { return Clock().Tick(); }
