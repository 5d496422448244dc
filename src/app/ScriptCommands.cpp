#include "app/ScriptCommands.h"

#include <QPlainTextEdit>
#include <QTextCursor>

#include <chrono>
#include <thread>
#include <vector>

#include "app/App.h"
#include "app/MainWindow.h"
#include "views/QtText.h"
#include "app/RunCommands.h"
#include "core/DateTime.h"
#include "core/Sjis.h"
#include "core/SqlScript.h"
#include "core/StatementSplit.h"
#include "storage/Options.h"

namespace {

// A statement of the edit area: where it stands there (edit positions) and
// its lines as typed (cp932).
struct TEditStatement {
  int From = 0;
  int To = 0;
  TStrings Typed;
};

// The UTF-8 length of text's first pos characters (UTF-16 units).
size_t Utf8Length(const QString& text, int pos) {
  size_t bytes = 0;
  for (int i = 0; i < pos; ++i) {
    const char16_t c = text[i].unicode();
    if (c < 0x80) bytes += 1;
    else if (c < 0x800) bytes += 2;
    else if (QChar::isHighSurrogate(c)) bytes += 4, ++i;
    else bytes += 3;
  }
  return bytes;
}

// Walks UTF-8 bytes forward, turning byte offsets into UTF-16 positions;
// asked for offsets in rising order, it reads every byte once.
class TPositionWalk {
 public:
  explicit TPositionWalk(const QByteArray& utf8) : bytes_(utf8) {}
  int At(size_t offset) {
    for (; byte_ < offset && byte_ < static_cast<size_t>(bytes_.size()); ++byte_) {
      const auto b = static_cast<unsigned char>(bytes_[static_cast<qsizetype>(byte_)]);
      if ((b & 0xC0) != 0x80) pos_ += b >= 0xF0 ? 2 : 1;
    }
    return pos_;
  }

 private:
  const QByteArray& bytes_;
  size_t byte_ = 0;
  int pos_ = 0;
};

TEditStatement MakeStatement(const QByteArray& utf8, const TStatementSpan& span, TPositionWalk& walk, int base) {
  TEditStatement s;
  s.From = base + walk.At(span.Begin);
  s.To = base + walk.At(span.End);
  const QString text = QString::fromUtf8(utf8.constData() + span.Begin, static_cast<qsizetype>(span.End - span.Begin));
  s.Typed = SplitLines(FromQ(text));
  return s;
}

// The part of the edit area a command works on: the selection, if any,
// else the whole text. base is where it starts in the edit.
QString WorkText(const QPlainTextEdit& edit, int& base) {
  const QTextCursor cursor = edit.textCursor();
  const QString all = edit.toPlainText();
  if (!cursor.hasSelection()) {
    base = 0;
    return all;
  }
  base = cursor.selectionStart();
  return all.mid(base, cursor.selectionEnd() - base);
}

void SelectInEdit(QPlainTextEdit& edit, int from, int to) {
  QTextCursor cursor = edit.textCursor();
  cursor.setPosition(from);
  cursor.setPosition(to, QTextCursor::KeepAnchor);
  edit.setTextCursor(cursor);
  edit.ensureCursorVisible();
}

// Result files are named after a run's start, to the second. A query that
// would start in the second of the script's last query with a result file
// waits for the next one, letting messages through (a stop ends the wait),
// so that every result of the script can be opened again from the history.
void AwaitOwnSecond(TApp& app, const std::string& lastStart) {
  if (lastStart.empty()) return;
  TfrmMain& main = app.Main();
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(1100);
  for (;;) {
    const TDateTime now = Now();
    if (FormatYmd(now) + FormatHms(now) != lastStart) return;
    if (!main.IsRunning() || main.IsClosed() || std::chrono::steady_clock::now() > giveUp) return;
    app.Platform().ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace

void RunCaretExecute(TApp& app) {
  TfrmMain& main = app.Main();
  QPlainTextEdit& edit = *main.edtSql;
  int base = 0;
  const QString text = WorkText(edit, base);
  TEditStatement statement;
  if (edit.textCursor().hasSelection()) {
    statement.Typed = SplitLines(FromQ(text));
  } else {
    const QByteArray utf8 = text.toUtf8();
    const std::vector<TStatementSpan> spans = SplitStatements(std::string_view(utf8.constData(), utf8.size()));
    const int at = StatementAtCaret(spans, Utf8Length(text, edit.textCursor().position()));
    if (at < 0) {
      main.SetStatusMsg(SJ("カーソル位置に実行するＳＱＬがありません"));
      return;
    }
    TPositionWalk walk(utf8);
    statement = MakeStatement(utf8, spans[static_cast<size_t>(at)], walk, base);
    SelectInEdit(edit, statement.From, statement.To);
  }
  WithRunState(app, [&app, &statement] {
    const TRunOutcome outcome = RunStatement(app, statement.Typed);
    if (outcome.Kind == TRunOutcome::Failed && !outcome.Error.empty()) ReportRunError(app, outcome.Error);
  });
}

void RunScriptExecute(TApp& app) {
  TfrmMain& main = app.Main();
  QPlainTextEdit& edit = *main.edtSql;
  int base = 0;
  const QString text = WorkText(edit, base);
  const QByteArray utf8 = text.toUtf8();
  const std::vector<TStatementSpan> spans = SplitStatements(std::string_view(utf8.constData(), utf8.size()));
  if (spans.empty()) {
    main.SetStatusMsg(SJ("実行するＳＱＬがありません"));
    return;
  }
  std::vector<TEditStatement> statements;
  statements.reserve(spans.size());
  TPositionWalk walk(utf8);
  for (const TStatementSpan& span : spans) statements.push_back(MakeStatement(utf8, span, walk, base));

  WithRunState(app, [&] {
    const bool keepsResults = app.Options().LogOption == 0;
    std::string lastResultStart;  // yyyymmddhhmmss of the last query with a result file
    size_t ran = 0;
    for (const TEditStatement& statement : statements) {
      SelectInEdit(edit, statement.From, statement.To);
      TStrings blanked = statement.Typed;
      BlankRemarks(blanked);
      const bool query = IsQuery(blanked);
      if (keepsResults && query) AwaitOwnSecond(app, lastResultStart);
      // A stop between two statements ends the script too.
      if (ran > 0 && !main.IsRunning()) return main.SetStatusMsg(SJ("強制終了しました"));
      const TRunOutcome outcome = RunStatement(app, statement.Typed);
      if (outcome.Kind == TRunOutcome::Failed) {
        if (outcome.Error.empty()) return;  // told already
        const QString which = U("%1文目でエラーが発生しました").arg(ran + 1);
        main.SetStatusMsg(FromQ(which));
        if (!main.ClosePending() && !main.IsClosed())
          app.Platform().ErrorBox(app.AppTitle(), which + QLatin1Char('\n') + ToQ(outcome.Error));
        return;
      }
      if (outcome.Kind == TRunOutcome::Stopped) return;
      ++ran;
      if (keepsResults && query) {
        const TSqlInfo& info = main.SqlInfo();
        lastResultStart = FormatYmd(info.Date()) + FormatHms(info.StartTime());
      }
    }
    main.SetStatusMsg(FromQ(U("%1文を実行しました").arg(ran)));
  });
}
