// The SQL edit area's colours: what each part of a statement is shown as,
// and that colouring leaves the text, its undo history and its modified mark
// alone.

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include "AppFixture.h"
#include "app/SqlHighlighter.h"
#include "core/Sjis.h"
#include "core/SqlScript.h"

namespace {

// One letter per character of the document: k keyword, s string,
// i quoted identifier, n number, c comment, r remark, "." anything else.
// Lines are joined with "/".
QString Categories(QTextDocument& doc, const TSqlHighlighter& h) {
  const std::pair<TSqlToken, QChar> kinds[] = {
      {TSqlToken::Keyword, QLatin1Char('k')}, {TSqlToken::String, QLatin1Char('s')},
      {TSqlToken::Identifier, QLatin1Char('i')}, {TSqlToken::Number, QLatin1Char('n')},
      {TSqlToken::Comment, QLatin1Char('c')}, {TSqlToken::Remark, QLatin1Char('r')}};
  QString out;
  for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
    if (b != doc.begin()) out += QLatin1Char('/');
    QString line(b.length() - 1, QLatin1Char('.'));
    for (const QTextLayout::FormatRange& r : b.layout()->formats())
      for (const auto& [kind, letter] : kinds)
        if (r.format.foreground() == h.Format(kind).foreground())
          for (int i = r.start; i < r.start + r.length && i < line.size(); ++i) line[i] = letter;
    out += line;
  }
  return out;
}

}  // namespace

TEST(SqlHighlighter, ColoursEveryConstructOnItsOwn) {
  QTextDocument doc;
  TSqlHighlighter h(&doc);
  // Each line, then what it is shown as.
  const char* const lines[][2] = {
      {"select 名前, 'from 表' FROM \"a--b\" -- 注 select", "kkkkkk.....ssssssss.kkkk.iiiiii.ccccccccccc"},
      {"WHERE x = 1.5e3 AND t2 = 'it''s' /* 複数", "kkkkk.....nnnnn.kkk......sssssss.ccccc"},
      {"行 'no */ end", "cccccccc.kkk"},
      {"  REMARK 'x", "..rrrrrrrrr"},
      {"*/ \"/*列\" 12", "...iiiii.nn"},
      {"rem", "rrr"},
      {"'open", "sssss"},
      {"select' x2 .5", "sssssss....nn"},
  };
  QString text, expected;
  for (const auto& line : lines) {
    if (!text.isEmpty()) {
      text += QLatin1Char('\n');
      expected += QLatin1Char('/');
    }
    text += QString::fromUtf8(line[0]);
    expected += QString::fromUtf8(line[1]);
  }
  doc.setPlainText(text);
  // A new highlighter colours the document at the next idle moment.
  h.rehighlight();
  EXPECT_EQ(Categories(doc, h), expected);
}

// The colouring and the run agree on which lines are remarks.
TEST(SqlHighlighter, RemarksAreTheLinesTheRunBlanks) {
  const char* const script[] = {"rem nothing", "  REMARK x", "REMAINING_QTY,", "-- REM x", "/* note */ REM x",
                                "/* a", "rem inside", "b */ rem after", "R", "\tRem", "/*/ rem", "x rem",
                                "表 REM", "/*c*/REM", "ｒｅｍ"};
  TStrings lines;
  for (const char* l : script) lines.push_back(SJ(l));
  TStrings blanked = lines;
  BlankRemarks(blanked);
  bool inComment = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(script[i]);
    const int start = RemarkStart(QString::fromUtf8(script[i]), inComment);
    const bool changed = blanked[i] != UpperSjis(lines[i]) && blanked[i] != lines[i];
    EXPECT_EQ(start >= 0, changed);
    if (start >= 0) {
      // Every character from the start on is blanked, and only those.
      const std::string before = SJ(QString::fromUtf8(script[i]).left(start).toStdString());
      EXPECT_EQ(blanked[i].find_first_not_of(' ', before.size()), std::string::npos);
      EXPECT_EQ(blanked[i].substr(0, before.size()), UpperSjis(before));
    }
  }
}

TEST_F(AppTest, HighlightingLeavesTheEditAreasTextAlone) {
  ASSERT_TRUE(StartApp());
  Connect();
  QPlainTextEdit* edit = Main().edtSql;
  ASSERT_NE(edit->document()->findChild<TSqlHighlighter*>(), nullptr);
  const QString text = QString::fromUtf8("SELECT '表\t''x' FROM \"列\" -- 注\r\nWHERE /* a\n b */ N = 1\u00a0\nrem z\n");
  edit->setPlainText(text);
  edit->document()->setModified(false);
  const QString raw = edit->document()->toRawText();
  QTextDocument plain;
  plain.setPlainText(text);
  EXPECT_EQ(raw, plain.toRawText());
  EXPECT_FALSE(edit->document()->isModified());
  EXPECT_FALSE(edit->document()->isUndoAvailable());
  // Typing changes the text by what was typed, and undo takes back only that.
  edit->moveCursor(QTextCursor::End);
  edit->insertPlainText(QStringLiteral("x"));
  EXPECT_EQ(edit->document()->toRawText(), raw + QLatin1Char('x'));
  edit->undo();
  EXPECT_EQ(edit->document()->toRawText(), raw);
  EXPECT_FALSE(edit->document()->isUndoAvailable());
}
