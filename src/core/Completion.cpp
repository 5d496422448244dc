#include "core/Completion.h"

#include <algorithm>
#include <unordered_set>

#include "core/Sjis.h"
#include "core/StrUtil.h"

namespace {

enum class TTok { Word, Quoted, Number, Dot, Comma, Open, Close, Semicolon, Other };

struct TToken {
  TTok Kind;
  size_t Begin, End;
  bool Closed = true;  // a quoted name that reached its closing quote
};

bool IsAsciiLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
// The full-width space separates words as a blank does.
bool IsWideSpace(std::string_view s, size_t i) {
  return i + 1 < s.size() && static_cast<unsigned char>(s[i]) == 0x81 && static_cast<unsigned char>(s[i + 1]) == 0x40;
}
bool IsWordStart(std::string_view s, size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  return IsAsciiLetter(c) || c == '_' || (c >= 0x80 && !IsWideSpace(s, i));
}
bool IsWordPart(std::string_view s, size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  return IsWordStart(s, i) || IsDigit(c) || c == '$' || c == '#';
}

// Moves i from an opening quote past its closing one (a doubled quote
// stands for itself), or to the end of the text or, with lineOnly, of the
// line. True when the closing quote was found.
bool SkipQuoted(std::string_view s, size_t& i, char quote, bool lineOnly) {
  const size_t n = s.size();
  for (++i; i < n && !(lineOnly && s[i] == '\n'); i += SjisCharLen(s, i)) {
    if (s[i] != quote) continue;
    if (i + 1 < n && s[i + 1] == quote) {
      ++i;
      continue;
    }
    ++i;
    return true;
  }
  return false;
}

// Where the lexer found the caret.
enum class TCaretIn { Code, Text };  // Text: a string, a comment or a dollar body

// The tokens of the statement that holds the caret (statements end at
// ";"); caretIn tells whether caret lies inside a string, a comment, a
// dollar-quoted body or a closed quoted name, where nothing is completed.
// An unclosed quoted name ends with its line: that is the one being typed.
std::vector<TToken> Lex(std::string_view s, size_t caret, TCaretIn& caretIn) {
  std::vector<TToken> out;
  caretIn = TCaretIn::Code;
  auto inside = [&](size_t from, size_t to, bool open) {
    if (caret > from && (caret < to || (open && caret == to))) caretIn = TCaretIn::Text;
  };
  const size_t n = s.size();
  size_t i = 0;
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const size_t b = i;
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
    } else if (IsWideSpace(s, i)) {
      i += 2;
    } else if (c == '-' && i + 1 < n && s[i + 1] == '-') {
      while (i < n && s[i] != '\n') ++i;
      inside(b, i, true);
    } else if (c == '/' && i + 1 < n && s[i + 1] == '*') {
      const size_t close = s.find("*/", i + 2);
      i = close == std::string_view::npos ? n : close + 2;
      inside(b, i, close == std::string_view::npos);
    } else if (c == '\'') {
      const bool closed = SkipQuoted(s, i, '\'', false);
      inside(b, i, !closed);
    } else if (c == '"') {
      const bool closed = SkipQuoted(s, i, '"', true);
      if (closed) inside(b, i, false);
      out.push_back({TTok::Quoted, b, i, closed});
    } else if (c == '$' && (i + 1 >= n || !IsDigit(static_cast<unsigned char>(s[i + 1])))) {
      // $tag$ ... $tag$, the tag a name or nothing.
      size_t t = i + 1;
      while (t < n && (IsAsciiLetter(static_cast<unsigned char>(s[t])) || IsDigit(static_cast<unsigned char>(s[t])) ||
                       s[t] == '_'))
        ++t;
      if (t < n && s[t] == '$') {
        const std::string_view tag = s.substr(i, t + 1 - i);
        const size_t close = s.find(tag, t + 1);
        i = close == std::string_view::npos ? n : close + tag.size();
        inside(b, i, close == std::string_view::npos);
      } else {
        ++i;
        out.push_back({TTok::Other, b, i});
      }
    } else if (IsDigit(c) || (c == '.' && i + 1 < n && IsDigit(static_cast<unsigned char>(s[i + 1])))) {
      while (i < n && (IsWordPart(s, i) || (s[i] == '.' && i + 1 < n && IsDigit(static_cast<unsigned char>(s[i + 1])))))
        i += SjisCharLen(s, i);
      out.push_back({TTok::Number, b, i});
    } else if (IsWordStart(s, i)) {
      while (i < n && IsWordPart(s, i)) i += SjisCharLen(s, i);
      out.push_back({TTok::Word, b, i});
    } else {
      ++i;
      const TTok kind = c == '.' ? TTok::Dot : c == ',' ? TTok::Comma : c == '(' ? TTok::Open : c == ')' ? TTok::Close
                        : c == ';' ? TTok::Semicolon : TTok::Other;
      if (kind == TTok::Semicolon) {
        if (i > caret) break;
        out.clear();
        continue;
      }
      out.push_back({kind, b, i});
    }
  }
  return out;
}

TNamePart Part(std::string_view s, const TToken& t) {
  if (t.Kind != TTok::Quoted) return {std::string(s.substr(t.Begin, t.End - t.Begin)), false};
  TNamePart p{{}, true};
  const size_t end = t.Closed ? t.End - 1 : t.End;
  for (size_t i = t.Begin + 1; i < end; ++i) {
    p.Text += s[i];
    if (s[i] == '"') ++i;
  }
  return p;
}

bool IsName(const TToken& t) { return t.Kind == TTok::Word || t.Kind == TTok::Quoted; }

const std::unordered_set<std::string>& KeywordSet() {
  static const std::unordered_set<std::string> set(SqlKeywords().begin(), SqlKeywords().end());
  return set;
}

bool IsKeyword(std::string_view s, const TToken& t) {
  return t.Kind == TTok::Word && t.End - t.Begin <= 12 &&
         KeywordSet().count(UpperSjis(s.substr(t.Begin, t.End - t.Begin))) > 0;
}

// An upper-case ASCII word, without regard to case; no copy, as every word
// of a long statement is asked.
bool WordIs(std::string_view s, const TToken& t, std::initializer_list<std::string_view> words) {
  if (t.Kind != TTok::Word) return false;
  const std::string_view w = s.substr(t.Begin, t.End - t.Begin);
  return std::any_of(words.begin(), words.end(), [&](std::string_view k) {
    if (k.size() != w.size()) return false;
    for (size_t i = 0; i < k.size(); ++i) {
      const char c = w[i];
      if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c) != k[i]) return false;
    }
    return true;
  });
}

// The tables of FROM, JOIN, UPDATE and INTO clauses among tokens [from, to).
std::vector<TTableName> TablesOf(std::string_view s, const std::vector<TToken>& t, size_t from, size_t to) {
  std::vector<TTableName> tables;
  for (size_t i = from; i < to; ++i) {
    if (!WordIs(s, t[i], {"FROM", "JOIN", "UPDATE", "INTO"})) continue;
    const bool list = WordIs(s, t[i], {"FROM"});
    size_t k = i + 1;
    while (k < to) {
      TTableName table;
      if (t[k].Kind == TTok::Open) {
        // A subquery: its own FROM is read where it stands; here only the
        // alias after it goes, naming no table.
        for (int depth = 0; k < to; ++k) {
          if (t[k].Kind == TTok::Open) ++depth;
          if (t[k].Kind == TTok::Close && --depth == 0) break;
        }
        ++k;
      } else {
        while (k < to && IsName(t[k]) && !IsKeyword(s, t[k])) {
          table.Parts.push_back(Part(s, t[k]));
          if (k + 2 < to && t[k + 1].Kind == TTok::Dot && IsName(t[k + 2])) {
            k += 2;
          } else {
            ++k;
            break;
          }
        }
        if (table.Parts.empty()) break;
      }
      if (k < to && WordIs(s, t[k], {"AS"})) ++k;
      if (k < to && IsName(t[k]) && !IsKeyword(s, t[k])) table.Alias = Part(s, t[k++]);
      if (!table.Parts.empty()) {
        if (table.Parts.size() > 2) table.Parts.erase(table.Parts.begin(), table.Parts.end() - 2);
        tables.push_back(std::move(table));
      }
      if (!list || k >= to || t[k].Kind != TTok::Comma) break;
      ++k;
    }
  }
  return tables;
}

bool SameName(const TNamePart& part, const std::string& name) {
  return part.Quoted ? part.Text == name : UpperSjis(part.Text) == UpperSjis(name);
}

}  // namespace

TCompletionContext CompletionAt(std::string_view text, size_t caret) {
  caret = std::min(caret, text.size());
  TCaretIn in;
  const std::vector<TToken> t = Lex(text, caret, in);
  TCompletionContext ctx;
  ctx.Start = ctx.End = caret;
  if (in == TCaretIn::Text) return ctx;

  const size_t first = 0, last = t.size();
  // The word that holds the caret, and the token before it.
  size_t before = first;  // one past the last token ending at or before the word
  for (size_t i = first; i < last && t[i].Begin < caret; ++i) {
    if (t[i].End >= caret && caret > t[i].Begin) {
      if (t[i].Kind == TTok::Number) return ctx;
      if (IsName(t[i]) && (t[i].Kind == TTok::Word || !t[i].Closed)) {
        ctx.Start = t[i].Begin;
        ctx.End = t[i].End;
        const size_t from = t[i].Kind == TTok::Quoted ? t[i].Begin + 1 : t[i].Begin;
        ctx.Prefix = std::string(text.substr(from, caret - from));
        break;
      }
    }
    before = i + 1;
  }
  ctx.Kind = TCompletionKind::Word;
  if (before > first && t[before - 1].Kind == TTok::Dot && t[before - 1].End == ctx.Start) {
    // name. or schema.name. right before the word
    std::vector<TNamePart> q;
    size_t k = before - 1;
    while (k > first && IsName(t[k - 1]) && t[k - 1].End == t[k].Begin && q.size() < 2) {
      q.insert(q.begin(), Part(text, t[k - 1]));
      if (k - 1 > first && t[k - 2].Kind == TTok::Dot && t[k - 2].End == t[k - 1].Begin) {
        k -= 2;
      } else {
        break;
      }
    }
    if (q.empty()) {
      ctx.Kind = TCompletionKind::None;
      return ctx;
    }
    ctx.Kind = TCompletionKind::Member;
    ctx.Qualifier = std::move(q);
  }
  ctx.Tables = TablesOf(text, t, first, last);
  return ctx;
}

size_t CharCount(std::string_view sjis) {
  size_t n = 0;
  for (size_t i = 0; i < sjis.size(); i += SjisCharLen(sjis, i)) ++n;
  return n;
}

bool ChangesSchema(std::string_view statement) {
  TCaretIn in;
  const std::vector<TToken> t = Lex(statement, 0, in);
  return !t.empty() && WordIs(statement, t[0], {"CREATE", "ALTER", "DROP", "RENAME"});
}

const std::vector<std::string>& SqlKeywords() {
  static const std::vector<std::string> words = {
      "ADD",       "ALL",        "ALTER",    "AND",       "ANY",       "AS",         "ASC",       "BEGIN",
      "BETWEEN",   "BY",         "CASE",     "CAST",      "CHECK",     "COLUMN",     "COMMENT",   "COMMIT",
      "CONNECT",   "CONSTRAINT", "CREATE",   "CROSS",     "CURRENT",   "DECLARE",    "DEFAULT",   "DELETE",
      "DESC",      "DISTINCT",   "DROP",     "ELSE",      "END",       "ESCAPE",     "EXCEPT",    "EXISTS",
      "FETCH",     "FOR",        "FOREIGN",  "FROM",      "FULL",      "FUNCTION",   "GRANT",     "GROUP",
      "HAVING",    "IF",         "IN",       "INDEX",     "INNER",     "INSERT",     "INTERSECT", "INTO",
      "IS",        "JOIN",       "KEY",      "LEFT",      "LIKE",      "LIMIT",      "MERGE",     "MINUS",
      "NATURAL",   "NOT",        "NULL",     "OF",        "OFFSET",    "ON",         "OR",        "ORDER",
      "OUTER",     "OVER",       "PARTITION", "PRIMARY",  "PRIOR",     "PROCEDURE",  "REFERENCES", "RETURN",
      "REVOKE",    "RIGHT",      "ROLLBACK", "ROWNUM",    "SELECT",    "SEQUENCE",   "SET",       "START",
      "TABLE",     "THEN",       "TO",       "TRIGGER",   "TRUNCATE",  "UNION",      "UNIQUE",    "UPDATE",
      "USING",     "VALUES",     "VIEW",     "WHEN",      "WHERE",     "WITH"};
  return words;
}

int ResolveTable(const TCatalog& catalog, const std::vector<TNamePart>& qualifier,
                 const std::vector<TTableName>& tables) {
  if (qualifier.empty()) return -1;
  std::vector<TNamePart> parts = qualifier;
  if (qualifier.size() == 1) {
    for (const TTableName& t : tables)
      if (!t.Alias.Text.empty() && SameName(qualifier[0], t.Alias.Text)) {
        parts = t.Parts;
        break;
      }
  }
  const TNamePart& name = parts.back();
  int found = -1;
  for (size_t i = 0; i < catalog.Tables.size(); ++i) {
    const TCatalogTable& t = catalog.Tables[i];
    if (!SameName(name, t.Name)) continue;
    if (parts.size() > 1) {
      if (SameName(parts[0], t.Schema)) return static_cast<int>(i);
      continue;
    }
    if (t.Schema == catalog.DefaultSchema || t.Schema.empty()) return static_cast<int>(i);
    if (found < 0) found = static_cast<int>(i);
  }
  return found;
}

bool IsCatalogSchema(const TCatalog& catalog, const TNamePart& part) {
  return std::any_of(catalog.Tables.begin(), catalog.Tables.end(),
                     [&](const TCatalogTable& t) { return !t.Schema.empty() && SameName(part, t.Schema); });
}

void TNameList::Add(std::string text, std::string_view name, TCandidateKind kind) {
  items_.push_back({std::move(text), UpperSjis(name), kind});
}

void TNameList::Sort() {
  std::stable_sort(items_.begin(), items_.end(),
                   [](const TCandidate& a, const TCandidate& b) { return a.Key < b.Key; });
}

std::vector<const TCandidate*> TNameList::Match(std::string_view prefix) const {
  const std::string key = UpperSjis(prefix);
  auto it = std::lower_bound(items_.begin(), items_.end(), key,
                             [](const TCandidate& c, const std::string& k) { return c.Key < k; });
  std::vector<const TCandidate*> out;
  for (; it != items_.end() && it->Key.compare(0, key.size(), key) == 0; ++it) out.push_back(&*it);
  return out;
}
