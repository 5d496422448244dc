#include "app/SqlHighlighter.h"

#include <QSet>
#include <algorithm>
#include <QTextDocument>

#include "core/Completion.h"

namespace {

// Block states: the lexical state in the low bits, the remark scan's
// comment flag above them. -1 (no state yet) reads as 0.
enum TLex { kNormal = 0, kInComment = 1, kInString = 2, kInIdentifier = 3 };
constexpr int kLexMask = 3;
constexpr int kRemarkComment = 4;

const QSet<QString>& Keywords() {
  static const QSet<QString> words = [] {
    QSet<QString> set;
    for (const std::string& w : SqlKeywords())
      set.insert(QString::fromLatin1(w.c_str()));
    return set;
  }();
  return words;
}

bool IsWordChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$') || c == QLatin1Char('#'); }
bool IsDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

bool At(const QString& s, qsizetype i, const char* pattern) {
  for (qsizetype k = 0; pattern[k]; ++k)
    if (i + k >= s.size() || s[i + k] != QLatin1Char(pattern[k])) return false;
  return true;
}

// ASCII letters compared without case, as the remark pass upper-cases them.
bool AtNoCase(const QString& s, qsizetype i, const char* upper) {
  for (qsizetype k = 0; upper[k]; ++k) {
    if (i + k >= s.size()) return false;
    QChar c = s[i + k];
    if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) c = QChar(c.unicode() - 32);
    if (c != QLatin1Char(upper[k])) return false;
  }
  return true;
}

}  // namespace

// The remark pass's scan: blanks, tabs and block comments before the line's
// first word, which must begin with REM; the last character of a line is
// never looked at. Only ASCII takes part, so UTF-16 positions give the same
// answer as the pass's cp932 byte positions.
int RemarkStart(const QString& line, bool& inComment) {
  const qsizetype n = line.size();
  qsizetype p = 0;
  while (p < n - 1) {
    if (inComment) {
      const qsizetype close = line.indexOf(QLatin1String("*/"), p);
      if (close < 0) return -1;
      inComment = false;
      p = close + 2;
      continue;
    }
    const QChar c = line[p];
    if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
      ++p;
      continue;
    }
    if (At(line, p, "/*")) {
      inComment = true;
      ++p;
      continue;
    }
    return AtNoCase(line, p, "REM") ? static_cast<int>(p) : -1;
  }
  return -1;
}

TSqlHighlighter::TSqlHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {
  // Dark enough to read on the edit's white; no bold or italics, so a fixed
  // pitch column stays a column.
  auto colour = [this](TSqlToken t, QRgb rgb) { formats_[static_cast<int>(t)].setForeground(QColor(rgb)); };
  colour(TSqlToken::Keyword, 0x0000C0);
  colour(TSqlToken::String, 0xA31515);
  colour(TSqlToken::Identifier, 0x7A1FA2);
  colour(TSqlToken::Number, 0x00707A);
  colour(TSqlToken::Comment, 0x2E7D32);
  colour(TSqlToken::Remark, 0x6E6E6E);
}

const QTextCharFormat& TSqlHighlighter::Format(TSqlToken token) const { return formats_[static_cast<int>(token)]; }

void TSqlHighlighter::highlightBlock(const QString& text) {
  const int previous = std::max(previousBlockState(), 0);
  bool remarkComment = (previous & kRemarkComment) != 0;
  const int remark = RemarkStart(text, remarkComment);
  // What the run blanks never reaches the database: the lexical state goes
  // on from where the remark begins.
  const qsizetype end = remark >= 0 ? remark : text.size();
  int lex = previous & kLexMask;

  auto set = [this](qsizetype from, qsizetype to, TSqlToken t) {
    if (to > from) setFormat(static_cast<int>(from), static_cast<int>(to - from), Format(t));
  };
  // Runs to the closing quote (a doubled one stands for itself); false when
  // the line ends first.
  auto quoted = [&](qsizetype& i, QChar q) {
    while (i < end) {
      if (text[i] == q) {
        if (i + 1 < end && text[i + 1] == q) {
          i += 2;
          continue;
        }
        ++i;
        return true;
      }
      ++i;
    }
    return false;
  };

  qsizetype i = 0;
  while (i < end) {
    const qsizetype start = i;
    if (lex == kInComment) {
      const qsizetype close = text.indexOf(QLatin1String("*/"), i);
      if (close < 0 || close + 2 > end) {
        set(start, end, TSqlToken::Comment);
        i = end;
      } else {
        i = close + 2;
        set(start, i, TSqlToken::Comment);
        lex = kNormal;
      }
      continue;
    }
    if (lex == kInString || lex == kInIdentifier) {
      const bool string = lex == kInString;
      if (quoted(i, QLatin1Char(string ? '\'' : '"'))) lex = kNormal;
      set(start, i, string ? TSqlToken::String : TSqlToken::Identifier);
      continue;
    }
    const QChar c = text[i];
    if (At(text, i, "--")) {
      set(i, end, TSqlToken::Comment);
      i = end;
    } else if (At(text, i, "/*")) {
      i += 2;
      lex = kInComment;
      set(start, i, TSqlToken::Comment);
    } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
      ++i;
      const bool string = c == QLatin1Char('\'');
      lex = quoted(i, c) ? kNormal : (string ? kInString : kInIdentifier);
      set(start, i, string ? TSqlToken::String : TSqlToken::Identifier);
    } else if (IsDigit(c) || (c == QLatin1Char('.') && i + 1 < end && IsDigit(text[i + 1]))) {
      while (i < end && (IsDigit(text[i]) || text[i] == QLatin1Char('.'))) ++i;
      if (i < end && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        qsizetype k = i + 1;
        if (k < end && (text[k] == QLatin1Char('+') || text[k] == QLatin1Char('-'))) ++k;
        if (k < end && IsDigit(text[k])) {
          i = k;
          while (i < end && IsDigit(text[i])) ++i;
        }
      }
      // Digits that run on into a word belong to a name.
      if (i < end && IsWordChar(text[i])) {
        while (i < end && IsWordChar(text[i])) ++i;
      } else {
        set(start, i, TSqlToken::Number);
      }
    } else if (IsWordChar(c)) {
      while (i < end && IsWordChar(text[i])) ++i;
      if (i - start <= 12 && Keywords().contains(text.mid(start, i - start).toUpper())) set(start, i, TSqlToken::Keyword);
    } else {
      ++i;
    }
  }
  if (remark >= 0) set(remark, text.size(), TSqlToken::Remark);
  setCurrentBlockState(lex | (remarkComment ? kRemarkComment : 0));
}
