#pragma once
// TSqlHighlighter colours the SQL edit area: keywords, quoted strings,
// quoted identifiers, numbers, "--" and "/* */" comments, and the lines that
// a run blanks as script remarks (REM/REMARK). Only the display changes: the
// document's text, its undo history and its modified mark stay as they are.
//
// Each line is coloured from the state the line before left (inside a
// comment, a string or a quoted identifier, and the remark scan's own
// comment state), so an edit re-colours its own line and the following ones
// only while their starting state changes.

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

class QTextDocument;

enum class TSqlToken { Plain, Keyword, String, Identifier, Number, Comment, Remark };

class TSqlHighlighter final : public QSyntaxHighlighter {
 public:
  explicit TSqlHighlighter(QTextDocument* document);

  // The format used for a token kind.
  const QTextCharFormat& Format(TSqlToken token) const;

 protected:
  void highlightBlock(const QString& text) override;

 private:
  QTextCharFormat formats_[7];
};

// Where the run's remark pass blanks line from (0-based), or -1 when it
// leaves the line as it is. inComment is the pass's block-comment state,
// carried from line to line.
int RemarkStart(const QString& line, bool& inComment);
