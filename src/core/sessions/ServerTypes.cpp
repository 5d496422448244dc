#include "core/sessions/ServerTypes.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <ctime>
#include <vector>

#include "core/Sjis.h"
#include "core/SqlInfo.h"
#include "core/sessions/Backends.h"
#include "core/sessions/TextScan.h"

namespace {

constexpr int kNumberSize = 22;  // Oracle's NUMBER occupies 22 bytes
constexpr int kDateSize = 7;

// PostgreSQL's built-in type OIDs (pg_type.dat); stable across versions.
enum : unsigned {
  oidBool = 16,
  oidBytea = 17,
  oidChar = 18,
  oidName = 19,
  oidInt8 = 20,
  oidInt2 = 21,
  oidInt4 = 23,
  oidText = 25,
  oidOid = 26,
  oidTid = 27,
  oidFloat4 = 700,
  oidFloat8 = 701,
  oidBpchar = 1042,
  oidVarchar = 1043,
  oidDate = 1082,
  oidTimestamp = 1114,
  oidTimestamptz = 1184,
  oidNumeric = 1700,
};

constexpr int kVarHeader = 4;  // typmods count the varlena header

int Clamp(uint64_t n) { return n > INT_MAX ? INT_MAX : static_cast<int>(n); }

}  // namespace

TServerColumnType MapPostgresType(unsigned oid, int typmod) {
  const int declared = typmod >= kVarHeader ? typmod - kVarHeader : 0;
  switch (oid) {
    case oidVarchar:
      return {otVarchar2, declared, 0, 0};
    case oidBpchar:
      return {otChar, declared, 0, 0};
    case oidChar:
      return {otChar, 1, 0, 0};
    case oidName:
      return {otVarchar2, 63, 0, 0};
    case oidInt2:
      return {otNumber, kNumberSize, 5, 0};
    case oidInt4:
    case oidOid:
      return {otNumber, kNumberSize, 10, 0};
    case oidInt8:
      return {otNumber, kNumberSize, 19, 0};
    case oidFloat4:
    case oidFloat8:
      return {otNumber, kNumberSize, 0, 0};
    case oidNumeric: {
      if (typmod < kVarHeader) return {otNumber, kNumberSize, 0, 0};
      const int t = typmod - kVarHeader;
      const int precision = (t >> 16) & 0xffff;
      const int scale = ((t & 0x7ff) ^ 1024) - 1024;  // the scale may be negative
      return {otNumber, kNumberSize, precision, scale};
    }
    case oidDate:
    case oidTimestamp:
    case oidTimestamptz:
      return {otDate, kDateSize, 0, 0};
    case oidBytea:
      return {otRaw, 0, 0, 0};
    case oidTid:
      return {otRowid, 0, 0, 0};  // a row's physical address, PostgreSQL's ROWID
    case oidBool:
      return {otVarchar2, 1, 0, 0};
    default:
      return {otVarchar2, 0, 0, 0};
  }
}

namespace {

// "numeric(7, 2)" → base "NUMERIC", a 7, b 2 (-1 where absent).
void SplitTypeName(std::string_view name, std::string& base, int& a, int& b) {
  base.clear();
  a = b = -1;
  size_t i = 0;
  while (i < name.size() && name[i] != '(') base.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(name[i++]))));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  if (i >= name.size()) return;
  auto number = [&](int& out) {
    while (i < name.size() && name[i] == ' ') ++i;
    int v = 0;
    bool any = false;
    while (i < name.size() && std::isdigit(static_cast<unsigned char>(name[i]))) {
      v = std::min(v * 10 + (name[i++] - '0'), 1 << 20);
      any = true;
    }
    if (any) out = v;
    while (i < name.size() && name[i] == ' ') ++i;
  };
  ++i;
  number(a);
  if (i < name.size() && name[i] == ',') {
    ++i;
    number(b);
  }
}

}  // namespace

TServerColumnType MapOdbcType(int sqlType, uint64_t columnSize, int decimalDigits, std::string_view typeName) {
  const int size = Clamp(columnSize);
  std::string base;
  int a, b;
  SplitTypeName(typeName, base, a, b);
  const bool textual = sqlType == SQL_VARCHAR || sqlType == SQL_WVARCHAR || sqlType == SQL_LONGVARCHAR ||
                       sqlType == SQL_WLONGVARCHAR;
  if (textual && (base == "CHAR" || base == "NCHAR" || base == "CHARACTER" || base == "NATIONAL CHARACTER"))
    return {otChar, a > 0 ? a : size, 0, 0};
  if (textual && (base == "VARCHAR" || base == "VARCHAR2" || base == "NVARCHAR" || base == "NVARCHAR2" ||
                  base == "CHARACTER VARYING"))
    return {otVarchar2, a > 0 ? a : size, 0, 0};
  if ((sqlType == SQL_DOUBLE || sqlType == SQL_FLOAT || sqlType == SQL_REAL) &&
      (base == "NUMERIC" || base == "DECIMAL" || base == "NUMBER") && a > 0)
    return {otNumber, kNumberSize, a, std::max(b, 0)};
  switch (sqlType) {
    case SQL_VARCHAR:
    case SQL_WVARCHAR:
    case SQL_GUID:
      return {otVarchar2, size, 0, 0};
    case SQL_CHAR:
    case SQL_WCHAR:
      return {otChar, size, 0, 0};
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR:
    case -152:  // SQL Server's xml
      return {otLong, size, 0, 0};
    case SQL_NUMERIC:
    case SQL_DECIMAL:
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT:
    case SQL_BIGINT:
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE:
    case SQL_BIT:
      return {otNumber, kNumberSize, size, std::max(decimalDigits, 0)};
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATE:       // the ODBC 2 codes, from older drivers
    case SQL_TIMESTAMP:
    case -155:  // SQL Server's datetimeoffset
      return {otDate, kDateSize, 0, 0};
    case SQL_TYPE_TIME:
    case SQL_TIME:
    case -154:  // SQL Server's time
      return {otVarchar2, size, 0, 0};
    case SQL_BINARY:
    case SQL_VARBINARY:
      return {otRaw, size, 0, 0};
    case SQL_LONGVARBINARY:
      return {otLongRaw, size, 0, 0};
    default:
      return {otUnknown, size, 0, 0};
  }
}

int FoldSqlState(std::string_view state) {
  auto fold = [](std::string_view s) {
    int n = 0;
    for (char c : s) n = n * 36 + (c <= '9' ? c - '0' : c - 'A' + 10);
    return n;
  };
  bool valid = state.size() == 5 &&
               std::all_of(state.begin(), state.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'); });
  int n = valid ? fold(state) : 0;
  return n != 0 ? n : fold("HY000");
}

bool ParseIsoDateTime(std::string_view s, TDateTime& out) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  int y, mo, d, h = 0, mi = 0, sec = 0;
  double fraction = 0;
  if (!ScanDigits(s, 4, y) || !ScanChar(s, '-') || !ScanDigits(s, 2, mo) || !ScanChar(s, '-') || !ScanDigits(s, 2, d)) return false;
  if (y < 1 || !IsValidDate(y, mo, d)) return false;
  bool zoned = false;
  int offsetSeconds = 0;
  if (!s.empty()) {
    if (!ScanChar(s, ' ') && !ScanChar(s, 'T')) return false;
    if (!ScanDigits(s, 2, h) || !ScanChar(s, ':') || !ScanDigits(s, 2, mi)) return false;
    if (ScanChar(s, ':')) {
      if (!ScanDigits(s, 2, sec)) return false;
      if (ScanChar(s, '.')) {
        double scale = 0.1;
        size_t n = 0;
        while (!s.empty() && std::isdigit(static_cast<unsigned char>(s.front()))) {
          fraction += (s.front() - '0') * scale;
          scale /= 10;
          s.remove_prefix(1);
          ++n;
        }
        if (n == 0) return false;
      }
    }
    if (h > 24 || mi > 59 || sec > 60) return false;
    if (ScanChar(s, 'Z')) {
      zoned = true;
    } else if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
      const int sign = s.front() == '-' ? -1 : 1;
      s.remove_prefix(1);
      int oh, om = 0, os = 0;
      if (!ScanDigits(s, 2, oh)) return false;
      if (ScanChar(s, ':')) {
        if (!ScanDigits(s, 2, om)) return false;
        if (ScanChar(s, ':') && !ScanDigits(s, 2, os)) return false;
      } else if (!s.empty()) {
        if (!ScanDigits(s, 2, om)) return false;
      }
      zoned = true;
      offsetSeconds = sign * (oh * 3600 + om * 60 + os);
    }
    if (!s.empty()) return false;
  }
  const double dayFraction = (h * 3600 + mi * 60 + sec + fraction) / 86400.0;
  if (!zoned) {
    out = EncodeDate(y, mo, d) + dayFraction;
    return true;
  }
  // The same instant as this machine's local time.
  const int64_t utc = (static_cast<int64_t>(EncodeDate(y, mo, d)) - kUnixEpochDays) * 86400 + h * 3600 + mi * 60 + sec - offsetSeconds;
  const time_t t = static_cast<time_t>(utc);
  tm local{};
  if (!localtime_r(&t, &local)) return false;
  if (local.tm_year + 1900 < 1 || local.tm_year + 1900 > 9999) return false;
  out = EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                       local.tm_sec) +
        fraction / 86400.0;
  return true;
}

bool IsoDateCellText(std::string_view text, std::string& out) {
  return text.size() >= 10 && text[4] == '-' && (text.size() == 10 || text[10] == ' ') && PlainDateCellText(text, out);
}

std::string_view TrimNumberText(std::string_view text) {
  if (text.find_first_of("eE") != std::string_view::npos) return text;
  size_t point = text.find('.');
  if (point == std::string_view::npos) return text;
  size_t end = text.size();
  while (end > point + 1 && text[end - 1] == '0') --end;
  if (end == point + 1) end = point;
  std::string_view trimmed = text.substr(0, end);
  if (trimmed.empty() || trimmed == "-" || trimmed == "-0") return "0";
  return trimmed;
}

namespace {

// The pairs of a connection string as they stand, split at the semicolons
// that are not inside a braced value.
std::vector<std::string_view> SplitConnection(std::string_view s) {
  std::vector<std::string_view> out;
  size_t start = 0;
  bool braced = false;
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (braced) {
      if (c == '}' && i + 1 < s.size() && s[i + 1] == '}')
        ++i;
      else if (c == '}')
        braced = false;
    } else if (c == '{' && i > 0 && s.substr(start, i - start).find('=') != std::string_view::npos &&
               s.substr(start, i - start).find_first_not_of(' ', s.substr(start, i - start).find('=') + 1) ==
                   std::string_view::npos) {
      braced = true;
    } else if (c == ';') {
      if (i > start) out.push_back(s.substr(start, i - start));
      start = i + 1;
    }
  }
  if (start < s.size()) out.push_back(s.substr(start));
  return out;
}

bool KeyIs(std::string_view pair, std::string_view name) {
  size_t eq = pair.find('=');
  if (eq == std::string_view::npos) return false;
  std::string_view key = pair.substr(0, eq);
  while (!key.empty() && key.front() == ' ') key.remove_prefix(1);
  while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
  if (key.size() != name.size()) return false;
  for (size_t i = 0; i < key.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(key[i])) != name[i]) return false;
  return true;
}

// Braces only where the value needs them: not every driver reads them.
std::string Braced(std::string_view v) {
  if (!v.empty() && v.find_first_of(";{}=") == std::string_view::npos && v.front() != ' ' && v.back() != ' ')
    return std::string(v);
  std::string out = "{";
  for (char c : v) {
    out.push_back(c);
    if (c == '}') out.push_back('}');
  }
  return out + "}";
}

}  // namespace

std::string OdbcConnectionString(std::string_view connection, std::string_view user, std::string_view password) {
  std::string out;
  auto add = [&](std::string_view pair) {
    if (!out.empty()) out += ';';
    out += pair;
  };
  for (std::string_view pair : SplitConnection(connection))
    if (!(!user.empty() && KeyIs(pair, "UID")) && !(!password.empty() && KeyIs(pair, "PWD"))) add(pair);
  if (!user.empty()) add("UID=" + Braced(user));
  if (!password.empty()) add("PWD=" + Braced(password));
  return out;
}

std::string OdbcConnectionValue(std::string_view connection, std::string_view key) {
  for (std::string_view pair : SplitConnection(connection)) {
    if (!KeyIs(pair, key)) continue;
    std::string_view v = pair.substr(pair.find('=') + 1);
    while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
    while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
    if (v.size() < 2 || v.front() != '{' || v.back() != '}') return std::string(v);
    std::string out;
    for (size_t i = 1; i + 1 < v.size(); ++i) {
      out.push_back(v[i]);
      if (v[i] == '}' && v[i + 1] == '}') ++i;
    }
    return out;
  }
  return {};
}

std::string_view TrimStatement(std::string_view s) {
  while (!s.empty() && (std::isspace(static_cast<unsigned char>(s.back())) || s.back() == ';')) s.remove_suffix(1);
  std::string_view rest = s;
  while (!rest.empty()) {
    if (std::isspace(static_cast<unsigned char>(rest.front())) || rest.front() == ';') {
      rest.remove_prefix(1);
    } else if (rest.substr(0, 2) == "--") {
      size_t eol = rest.find('\n');
      rest.remove_prefix(eol == std::string_view::npos ? rest.size() : eol);
    } else if (rest.substr(0, 2) == "/*") {
      size_t end = rest.find("*/", 2);
      rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 2);
    } else {
      return s;
    }
  }
  return {};
}

std::string ServerStatement(const std::string& sqlCp932, TErrorMembers& errors, int noStatementErr) {
  errors.ClearError();
  std::string sql = SjisToUtf8(sqlCp932);
  if (TrimStatement(sql).empty()) errors.Fail(noStatementErr, SJ("実行するＳＱＬ文がありません"));
  return sql;
}

namespace {

// The next word of s in upper case (letters only), skipping blanks,
// semicolons and comments before it.
std::string NextWord(std::string_view& s) {
  for (;;) {
    while (!s.empty() && (std::isspace(static_cast<unsigned char>(s.front())) || s.front() == ';')) s.remove_prefix(1);
    if (s.substr(0, 2) == "--") {
      const size_t eol = s.find('\n');
      s.remove_prefix(eol == std::string_view::npos ? s.size() : eol);
    } else if (s.substr(0, 2) == "/*") {
      const size_t end = s.find("*/", 2);
      s.remove_prefix(end == std::string_view::npos ? s.size() : end + 2);
    } else {
      break;
    }
  }
  std::string word;
  while (!s.empty() && std::isalpha(static_cast<unsigned char>(s.front()))) {
    word += static_cast<char>(std::toupper(static_cast<unsigned char>(s.front())));
    s.remove_prefix(1);
  }
  return word;
}

}  // namespace

TTransactionWord TransactionWord(std::string_view statement) {
  const std::string first = NextWord(statement);
  if (first == "BEGIN" || first == "START") return TTransactionWord::Begin;
  if (first == "COMMIT" || first == "END" || first == "ABORT") return TTransactionWord::End;
  const std::string second = NextWord(statement);
  if (first == "ROLLBACK") {
    if (second == "TO") return TTransactionWord::Other;
    // ROLLBACK TRANSACTION TO / ROLLBACK WORK TO name a savepoint too.
    if ((second == "TRANSACTION" || second == "WORK") && NextWord(statement) == "TO") return TTransactionWord::Other;
    return TTransactionWord::End;
  }
  if (first == "VACUUM" || first == "ATTACH" || first == "DETACH" || first == "PRAGMA" || first == "CHECKPOINT" ||
      first == "DISCARD")
    return TTransactionWord::Outside;
  if ((first == "CREATE" || first == "DROP") && (second == "DATABASE" || second == "TABLESPACE"))
    return TTransactionWord::Outside;
  if (first == "ALTER" && second == "SYSTEM") return TTransactionWord::Outside;
  // CREATE INDEX CONCURRENTLY, REINDEX … CONCURRENTLY.
  for (int i = 0; i < 3; ++i)
    if (NextWord(statement) == "CONCURRENTLY") return TTransactionWord::Outside;
  return TTransactionWord::Other;
}
