#include "app/DraftKeeper.h"

#include <QPlainTextEdit>
#include <QTextDocument>

#include <cstdio>

#include "app/ActionModule.h"
#include "app/App.h"
#include "app/MainWindow.h"
#include "app/QtText.h"
#include "core/Sjis.h"
#include "storage/AtomicFile.h"

namespace {

constexpr std::string_view kHeader = "-- ";

std::string WithCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace

TDraftKeeper::TDraftKeeper(TApp& app) : QObject(nullptr), app_(app), path_(app.Files().DraftFile) {
  std::string text;
  TSqlEncoding encoding = TSqlEncoding::Sjis;
  if (ReadSqlFile(path_, text, encoding)) leftover_ = Parse(text);
  timer_.setInterval(kIntervalMs);
  connect(&timer_, &QTimer::timeout, this, [this] { SaveNow(); });
  timer_.start();
}

TDraftKeeper::~TDraftKeeper() = default;

std::optional<TDraftKeeper::TDraft> TDraftKeeper::Parse(const std::string& utf8) {
  TDraft draft;
  const size_t eol = utf8.find('\n');
  const std::string_view first = std::string_view(utf8).substr(0, eol);
  const bool header = first.size() >= kHeader.size() + 1 && first.starts_with(kHeader) &&
                      first[kHeader.size()] >= '0' && first[kHeader.size()] <= '2' &&
                      (first.size() == kHeader.size() + 1 || first[kHeader.size() + 1] == ' ');
  if (!header) {
    // Not what we write: keep all of it as text rather than lose a line.
    draft.Utf8Text = utf8;
  } else {
    draft.Encoding = static_cast<TSqlEncoding>(first[kHeader.size()] - '0');
    if (first.size() > kHeader.size() + 2)
      draft.NativePath = QString::fromUtf8(first.substr(kHeader.size() + 2).data(),
                                           static_cast<qsizetype>(first.size() - kHeader.size() - 2));
    draft.Utf8Text = eol == std::string::npos ? std::string() : utf8.substr(eol + 1);
  }
  if (draft.Utf8Text.empty()) return std::nullopt;
  return draft;
}

std::string TDraftKeeper::Bytes(const TDraft& draft) const {
  std::string text(kHeader);
  text += static_cast<char>('0' + static_cast<int>(draft.Encoding));
  const std::string path = draft.NativePath.toStdString();
  // A path that would break the header line is not worth the text.
  if (!path.empty() && path.find_first_of("\r\n") == std::string::npos) text += ' ' + path;
  text += '\n';
  text += draft.Utf8Text;
  // Shift_JIS as every file of ours, unless that would lose a character.
  if (SjisCanHold(text)) return WithCrLf(Utf8ToSjis(text));
  return "\xEF\xBB\xBF" + WithCrLf(text);
}

void TDraftKeeper::SaveNow() {
  // An earlier process's text waits for the user's answer.
  if (leftover_ || finished_ || !app_.Started()) return;
  const QPlainTextEdit& edit = *app_.Main().edtSql;
  const TSqlFileMemo& memo = app_.Action().SqlFile;
  const bool belongs = !app_.Main().PathFile().empty() && app_.Main().PathFile() == memo.SjisPath;
  const QString path = belongs ? memo.NativePath : QString();
  const int revision = edit.document()->revision();
  if (revision == revision_ && path == writtenPath_) return;
  QString raw = edit.document()->toRawText();
  raw.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
  raw.replace(QChar::LineSeparator, QLatin1Char('\n'));
  if (raw.isEmpty()) {
    Remove();
  } else {
    const std::string bytes = Bytes({raw.toStdString(), path, belongs ? memo.Encoding : TSqlEncoding::Sjis});
    if (bytes != written_) {
      // A failed write is tried again at the next tick; the draft before stays.
      if (!WriteFileAtomic(path_, bytes, kPrivateFileMode)) return;
      written_ = bytes;
      owned_ = true;
    }
  }
  revision_ = revision;
  writtenPath_ = path;
}

void TDraftKeeper::OfferLeftover() {
  if (!leftover_) return;
  const TDraft draft = std::move(*leftover_);
  leftover_.reset();
  TfrmMain& main = app_.Main();
  if (!app_.Platform().AskYesNo(app_.AppTitle(), U("前回終了時に保存されていないＳＱＬがあります。復元しますか？"),
                                 /*yesByDefault=*/true)) {
    std::remove(path_.c_str());
    return;
  }
  // The file is ours now: the restored text replaces it at the next tick.
  owned_ = true;
  main.edtSql->setPlainText(QString::fromStdString(draft.Utf8Text));
  if (!draft.NativePath.isEmpty()) {
    std::string sjis = FromQ(draft.NativePath);
    main.SetPathFile(sjis);
    app_.Action().SqlFile = {draft.NativePath, std::move(sjis), draft.Encoding};
  }
  main.FocusSql();
}

void TDraftKeeper::Remove() {
  if (!owned_) return;
  std::remove(path_.c_str());
  owned_ = false;
  written_.clear();
}

void TDraftKeeper::Finish() {
  timer_.stop();
  finished_ = true;
  Remove();
}
