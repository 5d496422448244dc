#pragma once
// Cuts a text of many statements into statements, for running the one at
// the caret or all of them in turn. Statements end at a ";" or at a line
// that holds only "/" (the terminator of Oracle users' scripts); blank lines
// do not end one. A separator does not count inside quotes ('…', "…", `…`),
// comments (--, /* */, and REM/REMARK lines), PostgreSQL dollar-quoted
// bodies ($tag$ … $tag$) and the BEGIN … END body of a trigger, procedure,
// function, package or anonymous block. A PL/SQL unit (one whose IS/AS is
// followed by declarations, a package, a DECLARE block) ends only after its
// last END; the "/" line ends anything.
//
// The text is cp932 or UTF-8: only ASCII bytes matter, and a double-byte
// character is never split. Offsets are bytes into the text.

#include <cstddef>
#include <string_view>
#include <vector>

struct TStatementSpan {
  // The statement as it is sent: from its first significant byte (leading
  // comments included) to one past its last. A plain statement's ";" is not
  // part of it; a body's closing ";" is ("END;" is what PL/SQL needs).
  size_t Begin = 0;
  size_t End = 0;
  // The caret positions that mean this statement, both ends included: from
  // the start of its first line (or the end of the statement before) to its
  // separator and whatever blanks or comments follow it on that line.
  size_t ClaimBegin = 0;
  size_t ClaimEnd = 0;
};

// Every statement of the text, in order; a stretch of only blanks and
// comments is none. Linear in the text's length.
std::vector<TStatementSpan> SplitStatements(std::string_view text);

// The index of the statement whose claim holds the caret (the earlier one
// where two meet), or -1 when the caret is between statements.
int StatementAtCaret(const std::vector<TStatementSpan>& statements, size_t caret);
