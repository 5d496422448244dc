#include "core/SqlDialect.h"

#include <algorithm>

#include "core/Sjis.h"  // IsLeadByte
#include "core/StrUtil.h"

namespace {

const char* const kSql92Reserved[] = {
    "ABSOLUTE", "ACTION", "ADD", "ALL", "ALLOCATE", "ALTER", "AND", "ANY", "ARE", "AS", "ASC", "ASSERTION", "AT",
    "AUTHORIZATION", "AVG", "BEGIN", "BETWEEN", "BIT", "BIT_LENGTH", "BOTH", "BY", "CASCADE", "CASCADED", "CASE",
    "CAST", "CATALOG", "CHAR", "CHARACTER", "CHARACTER_LENGTH", "CHAR_LENGTH", "CHECK", "CLOSE", "COALESCE",
    "COLLATE", "COLLATION", "COLUMN", "COMMIT", "CONNECT", "CONNECTION", "CONSTRAINT", "CONSTRAINTS", "CONTINUE",
    "CONVERT", "CORRESPONDING", "COUNT", "CREATE", "CROSS", "CURRENT", "CURRENT_DATE", "CURRENT_TIME",
    "CURRENT_TIMESTAMP", "CURRENT_USER", "CURSOR", "DATE", "DAY", "DEALLOCATE", "DEC", "DECIMAL", "DECLARE",
    "DEFAULT", "DEFERRABLE", "DEFERRED", "DELETE", "DESC", "DESCRIBE", "DESCRIPTOR", "DIAGNOSTICS", "DISCONNECT",
    "DISTINCT", "DOMAIN", "DOUBLE", "DROP", "ELSE", "END", "END-EXEC", "ESCAPE", "EXCEPT", "EXCEPTION", "EXEC",
    "EXECUTE", "EXISTS", "EXTERNAL", "EXTRACT", "FALSE", "FETCH", "FIRST", "FLOAT", "FOR", "FOREIGN", "FOUND",
    "FROM", "FULL", "GET", "GLOBAL", "GO", "GOTO", "GRANT", "GROUP", "HAVING", "HOUR", "IDENTITY", "IMMEDIATE", "IN",
    "INDICATOR", "INITIALLY", "INNER", "INPUT", "INSENSITIVE", "INSERT", "INT", "INTEGER", "INTERSECT", "INTERVAL",
    "INTO", "IS", "ISOLATION", "JOIN", "KEY", "LANGUAGE", "LAST", "LEADING", "LEFT", "LEVEL", "LIKE", "LOCAL",
    "LOWER", "MATCH", "MAX", "MIN", "MINUTE", "MODULE", "MONTH", "NAMES", "NATIONAL", "NATURAL", "NCHAR", "NEXT",
    "NO", "NOT", "NULL", "NULLIF", "NUMERIC", "OCTET_LENGTH", "OF", "ON", "ONLY", "OPEN", "OPTION", "OR", "ORDER",
    "OUTER", "OUTPUT", "OVERLAPS", "PAD", "PARTIAL", "POSITION", "PRECISION", "PREPARE", "PRESERVE", "PRIMARY",
    "PRIOR", "PRIVILEGES", "PROCEDURE", "PUBLIC", "READ", "REAL", "REFERENCES", "RELATIVE", "RESTRICT", "REVOKE",
    "RIGHT", "ROLLBACK", "ROWS", "SCHEMA", "SCROLL", "SECOND", "SECTION", "SELECT", "SESSION", "SESSION_USER", "SET",
    "SIZE", "SMALLINT", "SOME", "SPACE", "SQL", "SQLCODE", "SQLERROR", "SQLSTATE", "SUBSTRING", "SUM", "SYSTEM_USER",
    "TABLE", "TEMPORARY", "THEN", "TIME", "TIMESTAMP", "TIMEZONE_HOUR", "TIMEZONE_MINUTE", "TO", "TRAILING",
    "TRANSACTION", "TRANSLATE", "TRANSLATION", "TRIM", "TRUE", "UNION", "UNIQUE", "UNKNOWN", "UPDATE", "UPPER",
    "USAGE", "USER", "USING", "VALUE", "VALUES", "VARCHAR", "VARYING", "VIEW", "WHEN", "WHENEVER", "WHERE", "WITH",
    "WORK", "WRITE", "YEAR", "ZONE",
};

bool IsPlainStart(unsigned char c) { return c >= 0x80 || c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsPlainPart(unsigned char c) { return IsPlainStart(c) || (c >= '0' && c <= '9') || c == '$'; }

std::vector<std::string> Sql92Words() { return {std::begin(kSql92Reserved), std::end(kSql92Reserved)}; }

// 2 for a cp932 double-byte character at text[i], else 1. Its trail byte
// may look like a backslash or a backtick, and is neither; a lead byte
// without a valid trail is a byte of its own, so the byte after it is seen.
size_t CharLen(std::string_view text, size_t i) {
  if (i + 1 >= text.size() || !IsLeadByte(static_cast<unsigned char>(text[i]))) return 1;
  const unsigned char t = static_cast<unsigned char>(text[i + 1]);
  return t >= 0x40 && t <= 0xFC && t != 0x7F ? 2 : 1;
}

// text between two quote characters, each inner one doubled (and each
// backslash, where it escapes).
void AppendQuoted(std::string& out, std::string_view text, char quote, bool backslashes) {
  out += quote;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (const size_t len = CharLen(text, i); len > 1) {
      out.append(text.substr(i, len));
      i += len - 1;
      continue;
    }
    if (c == quote || (c == '\\' && backslashes)) out += c;
    out += c;
  }
  out += quote;
}

}  // namespace

std::shared_ptr<const std::vector<std::string>> TSqlDialect::WordList(std::vector<std::string> words) {
  for (std::string& w : words) w = UpperSjis(w);
  std::erase(words, std::string());
  std::sort(words.begin(), words.end());
  words.erase(std::unique(words.begin(), words.end()), words.end());
  return std::make_shared<const std::vector<std::string>>(std::move(words));
}

std::shared_ptr<const std::vector<std::string>> TSqlDialect::WithStandardWords(std::vector<std::string> words) {
  std::vector<std::string> all = Sql92Words();
  all.insert(all.end(), std::make_move_iterator(words.begin()), std::make_move_iterator(words.end()));
  return WordList(std::move(all));
}

std::shared_ptr<const std::vector<std::string>> TSqlDialect::DefaultKeywords() {
  static const std::shared_ptr<const std::vector<std::string>> words = WithStandardWords({"INDEX", "LIMIT", "OFFSET"});
  return words;
}

bool TSqlDialect::IsKeyword(std::string_view name) const {
  return Keywords && std::binary_search(Keywords->begin(), Keywords->end(), UpperSjis(name));
}

std::string QuoteName(const std::string& name, const TSqlDialect& dialect) {
  const TNameFold fold = dialect.Fold;
  bool plain = !name.empty() && IsPlainStart(static_cast<unsigned char>(name[0])) && !dialect.IsKeyword(name);
  for (size_t i = 0; plain && i < name.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (c >= 0x80) {
      i += CharLen(name, i) - 1;
      continue;
    }
    plain = IsPlainPart(c) && !(fold == TNameFold::Lower && c >= 'A' && c <= 'Z') &&
            !(fold == TNameFold::Upper && c >= 'a' && c <= 'z');
  }
  if (plain) return name;
  std::string out;
  AppendQuoted(out, name, dialect.Quote, false);
  return out;
}

std::string QuoteName(const std::string& name, TNameFold fold) {
  TSqlDialect dialect;
  dialect.Fold = fold;
  return QuoteName(name, dialect);
}

void AppendLiteral(std::string& out, std::string_view value, const TSqlDialect& dialect) {
  AppendQuoted(out, value, '\'', dialect.BackslashEscapes);
}
