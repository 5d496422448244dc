#include "core/StatementSplit.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <string>

#include "core/Sjis.h"

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsNewline(char c) { return c == '\n' || c == '\r'; }
bool IsWordByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
         c == '#' || c >= 0x80;
}
// A dollar quote's tag: letters, digits, "_" and non-ASCII, not "$".
bool IsTagByte(unsigned char c) { return c != '$' && c != '#' && IsWordByte(c); }

bool OneOf(std::string_view word, std::initializer_list<std::string_view> words) {
  return std::find(words.begin(), words.end(), word) != words.end();
}

// What a statement is, as far as its separators go.
enum class TKind {
  Plain,  // ends at the first ";"
  Block,  // a trigger, procedure or function: ";" inside BEGIN … END does not end it
  PlSql,  // a PL/SQL unit: ends at the ";" after the END that closes its body
};

// Where the separator count of a PL/SQL unit or a block stands.
enum class TOpener : char { Begin, Case, Package };

class TSplitter {
 public:
  explicit TSplitter(std::string_view text) : t_(text) {}

  std::vector<TStatementSpan> Run() {
    while (p_ < t_.size()) Step();
    if (begin_ != kNone) Finish(lastEnd_, lastEnd_);
    return std::move(out_);
  }

 private:
  void Step() {
    const char c = t_[p_];
    if (IsNewline(c)) {
      ++p_;
      lineStart_ = true;
      return;
    }
    if (IsBlank(c)) {
      ++p_;
      return;
    }
    const bool atLineStart = lineStart_;
    lineStart_ = false;
    if (atLineStart && c == '/' && RestIsBlank(p_ + 1)) {
      SlashLine();
      return;
    }
    if (atLineStart && IsRemark()) {
      Comment(EndOfLine(p_));
      return;
    }
    if (c == '-' && At(p_ + 1) == '-') {
      Comment(EndOfLine(p_));
      return;
    }
    if (c == '/' && At(p_ + 1) == '*') {
      Comment(BlockCommentEnd(p_));
      return;
    }
    const size_t start = p_;
    if (c == '\'' || c == '"' || c == '`') {
      p_ = QuoteEnd(p_, c);
      Token(start, TTok::String);
      return;
    }
    if (c == '$') {
      const size_t end = DollarQuoteEnd(p_);
      if (end != kNone) {
        p_ = end;
        Token(start, TTok::String);
        return;
      }
    }
    if (IsWordByte(static_cast<unsigned char>(c))) {
      while (p_ < t_.size() && IsWordByte(static_cast<unsigned char>(t_[p_]))) p_ += SjisCharLen(t_, p_);
      Token(start, TTok::Word);
      return;
    }
    ++p_;
    Token(start, c == ';' ? TTok::Semicolon : TTok::Other);
  }

  enum class TTok { Word, String, Semicolon, Other };

  char At(size_t i) const { return i < t_.size() ? t_[i] : '\0'; }

  size_t EndOfLine(size_t i) const {
    while (i < t_.size() && !IsNewline(t_[i])) ++i;
    return i;
  }

  bool RestIsBlank(size_t i) const {
    while (i < t_.size() && IsBlank(t_[i])) ++i;
    return i == t_.size() || IsNewline(t_[i]);
  }

  size_t BlockCommentEnd(size_t i) const {
    const size_t close = t_.find("*/", i + 2);
    return close == std::string_view::npos ? t_.size() : close + 2;
  }

  // Past the closing quote; a doubled quote stays inside.
  size_t QuoteEnd(size_t i, char quote) const {
    for (++i; i < t_.size(); ++i) {
      if (t_[i] != quote) continue;
      if (At(i + 1) != quote) return i + 1;
      ++i;
    }
    return t_.size();
  }

  // Past the closing $tag$ of a dollar quote opened at i, or kNone when no
  // tag opens there ($1 is a parameter, a$b$ a name).
  size_t DollarQuoteEnd(size_t i) const {
    size_t j = i + 1;
    if (j < t_.size() && t_[j] >= '0' && t_[j] <= '9') return kNone;
    while (j < t_.size() && IsTagByte(static_cast<unsigned char>(t_[j]))) ++j;
    if (j >= t_.size() || t_[j] != '$') return kNone;
    const std::string_view tag = t_.substr(i, j - i + 1);
    const size_t close = t_.find(tag, j + 1);
    return close == std::string_view::npos ? t_.size() : close + tag.size();
  }

  // A line whose first word is REM or REMARK is a script remark.
  bool IsRemark() const {
    size_t j = p_;
    while (j < t_.size() && IsWordByte(static_cast<unsigned char>(t_[j]))) ++j;
    const std::string word = Upper(t_.substr(p_, j - p_));
    return word == "REM" || word == "REMARK";
  }

  static std::string Upper(std::string_view s) {
    std::string u(s);
    for (char& ch : u)
      if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    return u;
  }

  // A comment before a statement belongs to it; one inside it stays there.
  void Comment(size_t end) {
    if (begin_ == kNone && comment_ == kNone) comment_ = p_;
    p_ = end;
  }

  void SlashLine() {
    const size_t eol = EndOfLine(p_);
    if (begin_ != kNone) {
      Finish(lastEnd_, eol);
    } else if (!out_.empty() && comment_ == kNone) {
      // "END;" then "/": the caret on the "/" still means that unit.
      out_.back().ClaimEnd = eol;
      claimFrom_ = eol;
    }
    comment_ = kNone;
    p_ = eol;
  }

  void Token(size_t start, TTok tok) {
    if (begin_ == kNone) {
      if (tok == TTok::Semicolon) {  // an empty statement
        comment_ = kNone;
        return;
      }
      Open(start);
    }
    switch (tok) {
      case TTok::Word: Word(Upper(t_.substr(start, std::min<size_t>(p_ - start, 24)))); break;
      case TTok::Semicolon:
        if (Semicolon()) return;
        break;
      case TTok::String:
      case TTok::Other: NonWord(t_[start]); break;
    }
    lastEnd_ = p_;
  }

  void Open(size_t start) {
    begin_ = comment_ != kNone ? comment_ : start;
    comment_ = kNone;
    kind_ = TKind::Plain;
    words_ = 0;
    openers_.clear();
    parens_ = 0;
    bodySeen_ = creating_ = classified_ = routine_ = definer_ = typePending_ = asSeen_ = false;
    beginPending_ = asPending_ = endPending_ = package_ = false;
  }

  // The token after a lone BEGIN, AS or END decides what that word was.
  void Decide(const std::string* word) {
    if (beginPending_) {
      beginPending_ = false;
      const bool transaction =
          !word || OneOf(*word, {"TRANSACTION", "TRAN", "WORK", "DEFERRED", "IMMEDIATE", "EXCLUSIVE", "ISOLATION",
                                 "READ", "NOT", "DEFERRABLE"});
      if (!transaction) {
        kind_ = TKind::PlSql;
        openers_.push_back(TOpener::Begin);
      }
    }
    if (asPending_) {
      asPending_ = false;
      // IS/AS then declarations or BEGIN: PL/SQL; then a quoted body: not.
      if (word) kind_ = TKind::PlSql;
    }
  }

  void Word(const std::string& w) {
    ++words_;
    if (endPending_) {
      endPending_ = false;
      if (OneOf(w, {"IF", "LOOP", "WHILE", "REPEAT", "FOR"})) return;
      Close();
      if (w == "CASE") return;
    }
    Decide(&w);
    if (words_ == 1) {
      if (w == "CREATE") creating_ = true;
      else if (w == "DECLARE") kind_ = TKind::PlSql;
      else if (w == "BEGIN") beginPending_ = true;
      return;
    }
    if (creating_ && !classified_) {
      Classify(w);
      return;
    }
    if (kind_ == TKind::Plain) return;
    if (package_ && openers_.empty() && !bodySeen_ && (w == "IS" || w == "AS")) {
      openers_.push_back(TOpener::Package);
    } else if (routine_ && kind_ == TKind::Block && !asSeen_ && openers_.empty() && parens_ == 0 &&
               (w == "IS" || w == "AS")) {
      asSeen_ = asPending_ = true;
    } else if (w == "DECLARE") {
      kind_ = TKind::PlSql;
    } else if (w == "BEGIN") {
      openers_.push_back(TOpener::Begin);
    } else if (w == "CASE") {
      openers_.push_back(TOpener::Case);
    } else if (w == "END" && !openers_.empty()) {
      endPending_ = true;
    }
  }

  // CREATE [OR REPLACE] [EDITIONABLE] [DEFINER = …] TRIGGER | PROCEDURE | …
  void Classify(const std::string& w) {
    if (typePending_) {
      typePending_ = false;
      classified_ = true;
      if (w == "BODY") {
        kind_ = TKind::PlSql;
        package_ = true;
      }
      return;
    }
    if (OneOf(w, {"OR", "REPLACE", "EDITIONABLE", "NONEDITIONABLE", "EDITIONING", "TEMP", "TEMPORARY", "AGGREGATE",
                  "CONSTRAINT"}))
      return;
    if (w == "DEFINER") {
      definer_ = true;
      return;
    }
    routine_ = OneOf(w, {"PROCEDURE", "FUNCTION"});
    if (routine_ || w == "TRIGGER" || w == "EVENT") {
      kind_ = TKind::Block;
      classified_ = true;
    } else if (w == "PACKAGE") {
      kind_ = TKind::PlSql;
      package_ = true;
      classified_ = true;
    } else if (w == "TYPE") {
      typePending_ = true;
    } else if (!definer_ || words_ > 8) {
      classified_ = true;  // a table, view, index …: plain
    }
  }

  void NonWord(char c) {
    if (endPending_) {
      endPending_ = false;
      Close();
    }
    Decide(nullptr);
    if (creating_ && !classified_ && !definer_) classified_ = true;
    if (c == '(') ++parens_;
    else if (c == ')' && parens_ > 0) --parens_;
  }

  void Close() {
    const TOpener opener = openers_.back();
    openers_.pop_back();
    if (openers_.empty() && opener != TOpener::Case) bodySeen_ = true;
  }

  // True when the ";" at p_ - 1 ended the statement.
  bool Semicolon() {
    if (endPending_) {
      endPending_ = false;
      Close();
    }
    if (beginPending_) beginPending_ = false;  // "BEGIN;" starts a transaction
    asPending_ = false;
    const size_t semicolonEnd = p_;
    switch (kind_) {
      case TKind::Plain: Finish(lastEnd_, semicolonEnd); return true;
      case TKind::Block:
        if (!openers_.empty()) return false;
        Finish(semicolonEnd, semicolonEnd);
        return true;
      case TKind::PlSql:
        if (!openers_.empty() || !bodySeen_) return false;
        Finish(semicolonEnd, semicolonEnd);
        return true;
    }
    return false;
  }

  // Blanks and comments that end on this line, after a separator: they and
  // the rest of the line go with the statement.
  size_t TrailingOnLine(size_t i) const {
    for (;;) {
      while (i < t_.size() && IsBlank(t_[i])) ++i;
      if (i == t_.size() || IsNewline(t_[i])) return i;
      if (t_[i] == '-' && At(i + 1) == '-') return EndOfLine(i);
      if (t_[i] != '/' || At(i + 1) != '*') return kNone;
      const size_t end = BlockCommentEnd(i);
      if (end == t_.size() || t_.substr(i, end - i).find_first_of("\r\n") != std::string_view::npos) return kNone;
      i = end;
    }
  }

  size_t LineStart(size_t i) const {
    while (i > 0 && !IsNewline(t_[i - 1])) --i;
    return i;
  }

  // Ends the open statement: its text stops at end, its separator at sepEnd.
  void Finish(size_t end, size_t sepEnd) {
    TStatementSpan span;
    span.Begin = begin_;
    span.End = end;
    span.ClaimBegin = std::max(LineStart(begin_), claimFrom_);
    const size_t trailing = TrailingOnLine(sepEnd);
    span.ClaimEnd = trailing != kNone ? trailing : sepEnd;
    if (trailing != kNone && trailing > p_) p_ = trailing;
    claimFrom_ = span.ClaimEnd;
    out_.push_back(span);
    begin_ = kNone;
    comment_ = kNone;
  }

  std::string_view t_;
  size_t p_ = 0;
  bool lineStart_ = true;
  std::vector<TStatementSpan> out_;
  size_t claimFrom_ = 0;  // the end of the last statement's claim

  // The open statement, if begin_ is not kNone.
  size_t begin_ = kNone;
  size_t comment_ = kNone;  // the first comment before a statement opened
  size_t lastEnd_ = 0;      // one past its last significant token
  TKind kind_ = TKind::Plain;
  int words_ = 0;
  std::vector<TOpener> openers_;
  int parens_ = 0;
  bool bodySeen_ = false;      // its BEGIN … END (or package) body has closed
  bool creating_ = false;      // it begins with CREATE
  bool classified_ = false;    // what it creates is known
  bool routine_ = false;       // it creates a procedure or function
  bool definer_ = false;       // a DEFINER clause comes before the object's kind
  bool typePending_ = false;   // CREATE TYPE: BODY may follow
  bool package_ = false;       // a package (body): its IS/AS opens the body
  bool beginPending_ = false;  // a first word BEGIN: a transaction or a block
  bool asSeen_ = false;        // a routine's IS/AS has come
  bool asPending_ = false;     // and declarations or a quoted body follow it
  bool endPending_ = false;    // END: of a block, or of an IF, LOOP …
};

}  // namespace

std::vector<TStatementSpan> SplitStatements(std::string_view text) { return TSplitter(text).Run(); }

int StatementAtCaret(const std::vector<TStatementSpan>& statements, size_t caret) {
  // The first statement whose claim does not end before the caret.
  auto it = std::lower_bound(statements.begin(), statements.end(), caret,
                             [](const TStatementSpan& s, size_t c) { return s.ClaimEnd < c; });
  if (it == statements.end() || it->ClaimBegin > caret) return -1;
  return static_cast<int>(it - statements.begin());
}
