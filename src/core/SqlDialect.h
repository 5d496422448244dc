#pragma once
// How a server reads the names and string literals of the SQL this program
// writes for the user (the clipboard copies, the table list's statements):
// what an unquoted name folds to, which words it takes as keywords, how a
// name is quoted and whether a backslash in a literal escapes. Each backend
// asks its server (TDatabase::Dialect); the default holds for a database
// that says nothing. All texts are cp932.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

// How unquoted names are folded, which tells when a name needs quotes.
enum class TNameFold { None, Upper, Lower };

struct TSqlDialect {
  TNameFold Fold = TNameFold::None;
  char Quote = '"';               // opens and closes a quoted name
  bool BackslashEscapes = false;  // MySQL and MariaDB unless NO_BACKSLASH_ESCAPES
  // Upper case, sorted: words that stand for something else than a name.
  std::shared_ptr<const std::vector<std::string>> Keywords = DefaultKeywords();

  bool IsKeyword(std::string_view name) const;
  // The SQL-92 reserved words, and the few that the common servers reserve
  // beyond them (LIMIT, OFFSET, INDEX).
  static std::shared_ptr<const std::vector<std::string>> DefaultKeywords();
  // words (any case) joined to the SQL-92 reserved words; empty ones go.
  static std::shared_ptr<const std::vector<std::string>> WithStandardWords(std::vector<std::string> words);
  // words (any case) alone, sorted for IsKeyword.
  static std::shared_ptr<const std::vector<std::string>> WordList(std::vector<std::string> words);
};

// A name as it goes into a statement: quoted (inner quotes doubled) unless it
// is a plain identifier that the server keeps as written and takes as a
// name.
std::string QuoteName(const std::string& name, const TSqlDialect& dialect);
std::string QuoteName(const std::string& name, TNameFold fold);
// 'value' as a string literal the server reads back as value: quotes
// doubled, and backslashes too where they escape. A cp932 character's trail
// byte that looks like a backslash is part of the character and stays.
void AppendLiteral(std::string& out, std::string_view value, const TSqlDialect& dialect);
