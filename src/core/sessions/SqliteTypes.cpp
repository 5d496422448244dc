#include "core/sessions/SqliteTypes.h"

#include <sqlite3.h>

#include <cctype>
#include <charconv>
#include <cmath>

#include "core/sessions/TextScan.h"

namespace {

std::string Upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

// The numbers inside "(p)" or "(p, s)", or -1 where absent.
void ReadParens(const std::string& u, int& a, int& b) {
  a = b = -1;
  size_t open = u.find('(');
  if (open == std::string::npos) return;
  const char* p = u.c_str() + open + 1;
  const char* end = u.c_str() + u.size();
  auto skip = [&] {
    while (p < end && *p == ' ') ++p;
  };
  skip();
  int v;
  auto r = std::from_chars(p, end, v);
  if (r.ec != std::errc()) return;
  a = v;
  p = r.ptr;
  skip();
  if (p < end && *p == ',') {
    ++p;
    skip();
    r = std::from_chars(p, end, v);
    if (r.ec == std::errc()) b = v;
  }
}

bool Has(const std::string& u, const char* word) { return u.find(word) != std::string::npos; }
bool StartsWith(const std::string& u, const char* word) { return u.rfind(word, 0) == 0; }

constexpr int kNumberSize = 22;  // Oracle's NUMBER occupies 22 bytes
constexpr int kDateSize = 7;

TSqliteColumnType FromStorage(int storage) {
  switch (storage) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
      return {2, kNumberSize, 0, 0};
    case SQLITE_BLOB:
      return {23, 0, 0, 0};
    default:
      return {1, 0, 0, 0};
  }
}

bool ParseClock(std::string_view& s, int& h, int& mi, int& sec, int& ms) {
  sec = ms = 0;
  if (!ScanDigits(s, 2, h) || !ScanChar(s, ':') || !ScanDigits(s, 2, mi)) return false;
  if (ScanChar(s, ':')) {
    if (!ScanDigits(s, 2, sec)) return false;
    if (ScanChar(s, '.')) {
      // Fractions of any length; milliseconds kept.
      int digits = 0, frac = 0;
      while (!s.empty() && std::isdigit(static_cast<unsigned char>(s.front()))) {
        if (digits < 3) frac = frac * 10 + (s.front() - '0'), ++digits;
        s.remove_prefix(1);
      }
      while (digits > 0 && digits < 3) frac *= 10, ++digits;
      ms = frac;
    }
  }
  return h <= 23 && mi <= 59 && sec <= 59;
}

}  // namespace

TSqliteColumnType MapSqliteType(const char* decl, int storage) {
  if (!decl || !*decl) return FromStorage(storage);
  const std::string u = Upper(decl);
  int a, b;
  ReadParens(u, a, b);
  const int size = a < 0 ? 0 : a;

  if (StartsWith(u, "LONG RAW") || StartsWith(u, "LONGRAW")) return {24, 0, 0, 0};
  if (u == "LONG" || StartsWith(u, "LONG VARCHAR") || StartsWith(u, "LONGTEXT")) return {8, 0, 0, 0};
  if (StartsWith(u, "DATE") || StartsWith(u, "DATETIME") || StartsWith(u, "TIMESTAMP"))
    return {12, kDateSize, 0, 0};
  if (StartsWith(u, "RAW") || Has(u, "BLOB") || StartsWith(u, "BINARY") || StartsWith(u, "VARBINARY"))
    return {23, size, 0, 0};
  if (StartsWith(u, "CHAR") || StartsWith(u, "NCHAR") || StartsWith(u, "CHARACTER")) {
    if (Has(u, "VARYING")) return {1, size, 0, 0};
    return {96, a < 0 ? 1 : a, 0, 0};
  }
  if (Has(u, "CHAR") || Has(u, "CLOB") || Has(u, "TEXT") || Has(u, "STRING")) return {1, size, 0, 0};
  if (StartsWith(u, "NUMBER") || StartsWith(u, "NUMERIC") || StartsWith(u, "DECIMAL") || StartsWith(u, "DEC"))
    return {2, kNumberSize, a < 0 ? 0 : a, b < 0 ? 0 : b};
  if (Has(u, "INT")) return {2, kNumberSize, 38, 0};  // Oracle's INTEGER is NUMBER(38)
  if (Has(u, "REAL") || Has(u, "FLOA") || Has(u, "DOUB")) return {2, kNumberSize, 0, 0};
  if (Has(u, "BOOL")) return {2, kNumberSize, 1, 0};
  // Any other declared type: SQLite gives it NUMERIC affinity; show its values as they come.
  return FromStorage(storage);
}

bool ParseSqliteDate(std::string_view s, TDateTime& out) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  int y, mo, d, h = 0, mi = 0, sec = 0, ms = 0;
  std::string_view rest = s;
  if (ScanDigits(rest, 4, y)) {
    char sep = rest.empty() ? 0 : rest.front();
    if ((sep != '-' && sep != '/') || !ScanChar(rest, sep) || !ScanDigits(rest, 2, mo) || !ScanChar(rest, sep) ||
        !ScanDigits(rest, 2, d))
      return false;
    if (!rest.empty()) {
      if (!ScanChar(rest, ' ') && !ScanChar(rest, 'T')) return false;
      if (!ParseClock(rest, h, mi, sec, ms)) return false;
      ScanChar(rest, 'Z');  // SQLite's own UTC mark; the time is shown as written
    }
    if (!rest.empty() || !IsValidDate(y, mo, d)) return false;  // 2004-02-30 too
    out = EncodeDate(y, mo, d) + EncodeTime(h, mi, sec, ms);
    return true;
  }
  rest = s;
  if (ParseClock(rest, h, mi, sec, ms) && rest.empty()) {
    out = EncodeTime(h, mi, sec, ms);
    return true;
  }
  return false;
}

TDateTime JulianDayToDateTime(double jd) { return jd - 2415018.5; }

TDateTime UnixSecondsToDateTime(int64_t seconds) { return static_cast<double>(kUnixEpochDays) + static_cast<double>(seconds) / 86400.0; }

std::string FormatSqliteReal(double d) {
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d > 0 ? "Inf" : "-Inf";
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, d);
  return std::string(buf, r.ptr);
}
