#include "app/FavouriteList.h"

#include <QByteArrayList>
#include <QListWidget>
#include <algorithm>
#include <exception>

#include "app/ActionModule.h"
#include "app/App.h"
#include "app/MainWindow.h"
#include "views/QtText.h"
#include "core/Sjis.h"
#include "core/SqlInfo.h"
#include "storage/ResultXml.h"
#include "storage/StorageError.h"
#include "storage/TinyXml.h"

namespace {

constexpr int kStatementRole = Qt::UserRole;
// A caption shows no more of the first line than the list can show: laying
// out and measuring megabytes of one line for the list took seconds.
constexpr qsizetype kCaptionChars = 300;

QString Caption(const TStrings& lines) {
  if (lines.empty()) return {};
  const std::string& first = lines.front();
  // Enough bytes for the characters (two per character at most in cp932),
  // converted alone, so a long line is never converted whole.
  const size_t bytes = std::min(first.size(), static_cast<size_t>(kCaptionChars) * 2 + 2);
  QString caption = ToQ(std::string_view(first).substr(0, bytes));
  if (caption.size() > kCaptionChars) {
    qsizetype keep = kCaptionChars;
    if (caption.at(keep - 1).isHighSurrogate()) --keep;
    caption.truncate(keep);
  }
  return caption;
}

void AppendItem(QListWidget& list, const TStrings& lines) {
  auto* item = new QListWidgetItem(Caption(lines));
  QByteArrayList statement;
  statement.reserve(static_cast<qsizetype>(lines.size()));
  for (const std::string& line : lines) statement.push_back(QByteArray(line.data(), static_cast<qsizetype>(line.size())));
  item->setData(kStatementRole, QVariant::fromValue(statement));
  list.addItem(item);
}

// The selected row, or -1; the enable rules have checked it already, but a
// command may also arrive from a stale key.
int SelectedRow(const QListWidget& list) { return list.selectedItems().isEmpty() ? -1 : list.currentRow(); }

void MoveItem(QListWidget& list, int by) {
  const int row = SelectedRow(list);
  const int to = row + by;
  if (row < 0 || to < 0 || to >= list.count()) return;
  QListWidgetItem* item = list.takeItem(row);
  list.insertItem(to, item);
  list.setCurrentRow(to);
}

}  // namespace

TStrings FreqStatement(const QListWidget& list, int row) {
  TStrings lines;
  const QListWidgetItem* item = list.item(row);
  if (!item) return lines;
  const QByteArrayList statement = item->data(kStatementRole).value<QByteArrayList>();
  lines.reserve(static_cast<size_t>(statement.size()));
  for (const QByteArray& line : statement) lines.emplace_back(line.constData(), static_cast<size_t>(line.size()));
  return lines;
}

void ReadFavourites(TApp& app) {
  TfrmMain& main = app.Main();
  main.SetStatusMsg(SJ("よく使うＳＱＬを読込み中..."));
  TTinyXml doc;
  try {
    doc.LoadFromFile(app.Files().FreqFile);
  } catch (const std::exception&) {
    return;  // no favourites yet, or not ours
  }
  const int root = doc.FindNext(0, "FreqSql");
  if (root == -1) return;
  TSqlInfo work;
  bool added = false;
  for (int sql = doc.FindChild(root, "Sql"); sql != -1; sql = doc.FindNext(sql, "Sql")) {
    ReadSqlSection(work, doc, sql);
    if (work.Sql.empty()) continue;
    AppendItem(*main.lstFreq, work.Sql);
    added = true;
  }
  // Once for the whole file: the message repaints the status bar.
  if (added) main.SetStatusMsg(SJ("よく使うＳＱＬを読込みました"));
}

void WriteFavourites(TApp& app) {
  TfrmMain& main = app.Main();
  main.SetStatusMsg(SJ("よく使うＳＱＬを書込み中..."));
  TTinyXml doc;
  doc.AddNode(xnDeclaration, "", "", 0);
  doc.AddNode(xnComment, "", SJ("注意！！このファイルを変更しないで下さい。"), 0);
  doc.AddNode(xnComment, "", SJ("よく使うＳＱＬ"), 0);
  doc.AddNode(xnStartTag, "FreqSql", "", 0);
  TSqlInfo work;
  const QListWidget& list = *main.lstFreq;
  for (int i = 0; i < list.count(); ++i) {
    work.Sql = FreqStatement(list, i);
    WriteSqlSection(doc, work, 1);
  }
  doc.AddNode(xnEndTag, "FreqSql", "", 0);
  try {
    doc.SaveToFile(app.Files().FreqFile, kPrivateFileMode);
  } catch (const TStorageError&) {
    app.Action().ReportError(U("よく使うＳＱＬファイル書込み時にエラーが発生しました。"));
    return;
  }
  main.SetStatusMsg(SJ("よく使うＳＱＬを書込みました"));
}

void FreqAddExecute(TApp& app) {
  TfrmMain& main = app.Main();
  AppendItem(*main.lstFreq, main.SqlLines());
}

void FreqGetExecute(TApp& app) {
  TfrmMain& main = app.Main();
  const int row = SelectedRow(*main.lstFreq);
  if (row < 0) return;
  const TStrings lines = FreqStatement(*main.lstFreq, row);
  main.New();
  main.SetSqlLines(lines);
  main.FocusSql();
}

void FreqDelExecute(TApp& app) {
  QListWidget& list = *app.Main().lstFreq;
  DeleteListItem(list, SelectedRow(list));
}

void FreqUpExecute(TApp& app) { MoveItem(*app.Main().lstFreq, -1); }

void FreqDownExecute(TApp& app) { MoveItem(*app.Main().lstFreq, 1); }
