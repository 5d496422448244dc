#include "app/ActionModule.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QThread>
#include <exception>
#include <new>

#include "app/AboutDialog.h"
#include "app/App.h"
#include "app/ClipboardCommands.h"
#include "app/FavouriteList.h"
#include "app/FindDialog.h"
#include "app/HistoryStore.h"
#include "app/MainWindow.h"
#include "app/OptionDialog.h"
#include "views/QtText.h"
#include "app/ResultTools.h"
#include "app/RunCommands.h"
#include "app/TransactionCommands.h"
#include "app/ScriptCommands.h"
#include "app/TableListDialog.h"
#include "core/Sjis.h"
#include "views/CellView.h"
#include "views/SqlGrid.h"

namespace {

// A selection from the edit area as plain text with "\n" line breaks.
QString SelectionText(const QTextCursor& cursor) {
  QString text = cursor.selectedText();
  text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
  text.replace(QChar::LineSeparator, QLatin1Char('\n'));
  return text;
}

}  // namespace

TmodAction::TmodAction(TApp& app) : QObject(nullptr), app_(app) {
  setObjectName(QStringLiteral("modAction"));
  CreateCommands();
  CreateFileDialogs();
  app_.Main().BindActions(*this);
  UpdateActions();
  // Rules follow the state whenever the application goes idle.
  if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(QThread::currentThread()))
    idle_ = connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] { UpdateActions(); });
}

TmodAction::~TmodAction() { disconnect(idle_); }

QAction* TmodAction::Add(const char* name, TCategory category, const char* caption, const char* hint,
                         QKeySequence shortcut, std::function<bool()> rule, std::function<void()> effect) {
  auto* action = new QAction(U(caption), this);
  action->setObjectName(QString::fromLatin1(name));
  QString fullHint = U(hint);
  qsizetype bar = fullHint.indexOf(QLatin1Char('|'));
  action->setToolTip(bar < 0 ? fullHint : fullHint.left(bar));
  action->setStatusTip(bar < 0 ? fullHint : fullHint.mid(bar + 1));
  // Shown in menus; the key itself is handled by the window's key preview.
  action->setShortcut(shortcut);
  action->setShortcutContext(Qt::WidgetShortcut);
  action->setShortcutVisibleInContextMenu(true);
  connect(action, &QAction::triggered, this, [this, action] { Execute(action); });
  commands_.push_back({action, category, U(caption), fullHint, shortcut, {}, std::move(rule), std::move(effect)});
  return action;
}

// A stopped query is still finishing until the run driver's end step (the
// query flag stays up): the database may even be inside its statement,
// letting messages through while it sorts or counts. Nothing that could
// reach the engine may start before that.
bool TmodAction::Allowed() const {
  const TfrmMain& m = app_.Main();
  return m.IsConnected() && Idle();
}

bool TmodAction::Idle() const {
  const TfrmMain& m = app_.Main();
  return !m.IsRunning() && !m.IsSelect && !m.IsProcessing();
}

bool TmodAction::EditFocused() const { return app_.Main().SqlHasFocus(); }

bool TmodAction::EditHasSelection() const { return app_.Main().edtSql->textCursor().hasSelection(); }

void TmodAction::CreateCommands() {
  auto allowed = [this] { return Allowed(); };
  auto idle = [this] { return Idle(); };
  auto notEmpty = [this] { return Allowed() && !app_.Main().SqlIsEmpty(); };
  auto editSelection = [this] { return Allowed() && EditFocused() && EditHasSelection(); };
  auto colInRange = [this] {
    TfrmMain& w = app_.Main();
    return w.Col >= 1 && w.Col <= w.SqlInfo().ColCount();
  };
  auto cellInRange = [this, colInRange] {
    TfrmMain& w = app_.Main();
    return colInRange() && w.Row >= 1 && w.Row <= w.SqlInfo().RowCount();
  };
  auto freqRow = [this] {
    QListWidget* list = app_.Main().lstFreq;
    return list->selectedItems().isEmpty() ? -1 : list->currentRow();
  };

  using C = TCategory;
  const QKeySequence none;
  actConnect = Add("actConnect", C::File, "接続(&C)...", "接続|データベースへ接続します", none,
                   [this] { return !app_.Main().IsConnected() && Idle(); }, [this] { ConnectExecute(app_); });
  actDisConnect = Add("actDisConnect", C::File, "切断(&D)", "切断|データベースとの接続を切断します", none,
                      [this] { return app_.Main().IsConnected() && Idle(); }, [this] { DisConnectExecute(app_); });
  actNew = Add("actNew", C::File, "新規作成(&N)", "新規作成|ＳＱＬ文を新規作成します", QKeySequence(Qt::CTRL | Qt::Key_N),
               allowed, [this] {
                 app_.Main().New();
                 app_.Main().FocusSql();
               });
  actOpen = Add("actOpen", C::File, "開く(&O)...", "開く|ＳＱＬ文を開きます", QKeySequence(Qt::CTRL | Qt::Key_O),
                allowed, [this] { OpenExecute(app_); });
  actSave = Add("actSave", C::File, "上書き保存(&S)", "上書き保存|ＳＱＬ文を上書き保存します",
                QKeySequence(Qt::CTRL | Qt::Key_S), notEmpty, [this] { SaveExecute(app_); });
  actSaveAs = Add("actSaveAs", C::File, "名前を付けて保存(&A)...", "名前を付けて保存|ＳＱＬ文に名前を付けて保存します",
                  none, notEmpty, [this] { SaveAsExecute(app_); });
  actImport = Add("actImport", C::File, "実行結果を開く(&I)...", "実行結果を開く|実行結果を開きます",
                  QKeySequence(Qt::CTRL | Qt::Key_I), allowed, [this] { ImportExecute(app_); });
  actExport = Add("actExport", C::File, "実行結果に名前を付けて保存(&E)...",
                  "実行結果に名前を付けて保存|実行結果に名前を付けて保存します", QKeySequence(Qt::CTRL | Qt::Key_E),
                  allowed, [this] { ExportExecute(app_); });
  actExit = Add("actExit", C::File, "終了(&X)", "終了|プログラムを終了します", none, idle,
                [this] { app_.Main().close(); });

  actUndo = Add("actUndo", C::Edit, "元に戻す(&U)", "元に戻す|元に戻します", QKeySequence(Qt::CTRL | Qt::Key_Z),
                [this] { return Allowed() && EditFocused() && app_.Main().edtSql->document()->isUndoAvailable(); },
                [this] { EditExecute(actUndo); });
  actCut = Add("actCut", C::Edit, "切り取り(&T)", "切り取り|切り取ります", QKeySequence(Qt::CTRL | Qt::Key_X),
               editSelection, [this] { EditExecute(actCut); });
  actCopy = Add("actCopy", C::Edit, "コピー(&C)", "コピー|コピーします", QKeySequence(Qt::CTRL | Qt::Key_C),
                editSelection, [this] { EditExecute(actCopy); });
  actPaste = Add("actPaste", C::Edit, "貼り付け(&P)", "貼り付け|貼り付けます", QKeySequence(Qt::CTRL | Qt::Key_V),
                 [this] { return Allowed() && EditFocused() && app_.Platform().ClipboardHasText(); },
                 [this] { EditExecute(actPaste); });
  actDelete = Add("actDelete", C::Edit, "削除(&D)", "削除|削除します", QKeySequence(Qt::CTRL | Qt::Key_Delete),
                  editSelection, [this] { EditExecute(actDelete); });
  actSelectAll = Add("actSelectAll", C::Edit, "すべて選択(&L)", "すべて選択|すべて選択します",
                     QKeySequence(Qt::CTRL | Qt::Key_A),
                     [this] { return Allowed() && EditFocused() && !app_.Main().SqlIsEmpty(); },
                     [this] { EditExecute(actSelectAll); });
  actFixedRowCopy = Add("actFixedRowCopy", C::Edit, "列名コピー(&N)", "列名コピー|列名をクリップボードへコピーします",
                        QKeySequence(Qt::CTRL | Qt::Key_F), [this, colInRange] { return Allowed() && colInRange(); },
                        [this] { FixedRowCopyExecute(app_); });
  actCellCopy = Add("actCellCopy", C::Edit, "セル値コピー(&V)", "セル値コピー|セル値をクリップボードへコピーします",
                    QKeySequence(Qt::CTRL | Qt::Key_L), [this, cellInRange] { return Allowed() && cellInRange(); },
                    [this] { CellCopyExecute(app_); });
  actWhereCopy = Add("actWhereCopy", C::Edit, "Whereコピー(&W)", "Whereコピー|Whereとして列名とセル値をコピーします",
                     QKeySequence(Qt::CTRL | Qt::Key_W), [this, cellInRange] { return Allowed() && cellInRange(); },
                     [this] { WhereCopyExecute(app_); });
  actTableCopy = Add("actTableCopy", C::Edit, "表形式でコピー(&B)", "表形式でコピー|列名と選択範囲を表計算ソフト用にコピーします",
                     QKeySequence(Qt::CTRL | Qt::Key_B), [this, cellInRange] { return Allowed() && cellInRange(); },
                     [this] { TableCopyExecute(app_); });
  actInCopy = Add("actInCopy", C::Edit, "IN句でコピー(&I)", "IN句でコピー|列名とセル値をIN句としてコピーします", none,
                  [this, cellInRange] { return Allowed() && cellInRange(); }, [this] { InCopyExecute(app_); });
  actFind = Add("actFind", C::Edit, "検索(&F)...", "検索|ＳＱＬ文または実行結果から文字列を検索します",
                QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F), allowed, [this] { FindExecute(app_); });
  actFindNext = Add("actFindNext", C::Edit, "次を検索(&X)", "次を検索|次の文字列を検索します", QKeySequence(Qt::Key_F3),
                    allowed, [this] { FindNextExecute(app_, true); });
  actFindPrev = Add("actFindPrev", C::Edit, "前を検索(&R)", "前を検索|前の文字列を検索します",
                    QKeySequence(Qt::SHIFT | Qt::Key_F3), allowed, [this] { FindNextExecute(app_, false); });
  actReplace = Add("actReplace", C::Edit, "置換(&E)...", "置換|ＳＱＬ文の文字列を置換します",
                   QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H), allowed, [this] { ReplaceExecute(app_); });

  actViewGrid = Add("actViewGrid", C::View, "結果表示領域の全面表示(&G)", "結果領域の全画面表示|結果表示領域を全面表示します",
                    none, [this] { return app_.Main().IsConnected() && !app_.Main().IsProcessing(); },
                    [this] { ViewGridExecute(); });
  actViewGrid->setCheckable(true);
  actViewCell = Add("actViewCell", C::View, "セル内容の表示(&C)...", "セル内容の表示|セルの内容をウィンドウ表示します",
                    none, [this, colInRange] { return Allowed() && colInRange(); }, [this] { ViewCellExecute(); });
  actRecordView = Add("actRecordView", C::View, "レコード表示(&R)...", "レコード表示|現在の行を列名と値の一覧で表示します",
                      QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R),
                      [this, cellInRange] { return Allowed() && cellInRange() && app_.Main().Row <= app_.Main().SqlInfo().RowMax(); },
                      [this] { RecordViewExecute(app_); });
  actTableList = Add("actTableList", C::View, "テーブル一覧(&T)", "テーブル一覧|テーブルと列の一覧を表示します",
                     QKeySequence(Qt::CTRL | Qt::Key_T), allowed, [this] { TableListExecute(app_); });

  actStart = Add("actStart", C::Run, "開始(&G)", "開始|ＳＱＬ文の実行を開始します", QKeySequence(Qt::Key_F5),
                 notEmpty, [this] { StartExecute(app_); });
  actStop = Add("actStop", C::Run, "停止(&S)", "停止|ＳＱＬ文の実行を停止します", none,
                [this] {
                  const TfrmMain& w = app_.Main();
                  // Every statement can be stopped, not only a query.
                  return w.IsConnected() && w.IsRunning() && !w.IsProcessing();
                },
                [this] { StopExecute(app_); });
  actRunCaret = Add("actRunCaret", C::Run, "カーソル位置のＳＱＬを実行(&C)",
                    "カーソル位置のＳＱＬを実行|カーソル位置のＳＱＬ文か選択範囲を実行します",
                    QKeySequence(Qt::CTRL | Qt::Key_Enter), notEmpty, [this] { RunCaretExecute(app_); });
  AddShortCut(actRunCaret, QKeySequence(Qt::CTRL | Qt::Key_Return));
  actRunScript = Add("actRunScript", C::Run, "スクリプト実行(&R)", "スクリプト実行|すべてのＳＱＬ文を順に実行します",
                     QKeySequence(Qt::Key_F9), notEmpty, [this] { RunScriptExecute(app_); });
  AddShortCut(actRunScript, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Enter));
  AddShortCut(actRunScript, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Return));

  // A transaction's end is a run of its own; the commit mode changes
  // between runs only.
  actAutoCommit = Add("actAutoCommit", C::Run, "自動コミット(&A)", "自動コミット|文ごとに変更を確定します", none, allowed,
                      [this] { AutoCommitExecute(app_); });
  actAutoCommit->setCheckable(true);
  actAutoCommit->setChecked(true);
  auto openTransaction = [this] { return Allowed() && app_.Main().SqlManager().InTransaction(); };
  actCommit = Add("actCommit", C::Run, "コミット(&M)", "コミット|変更を確定します", QKeySequence(Qt::Key_F11),
                  openTransaction, [this] { CommitExecute(app_); });
  actRollback = Add("actRollback", C::Run, "ロールバック(&B)", "ロールバック|変更を取り消します", QKeySequence(Qt::Key_F12),
                    openTransaction, [this] { RollbackExecute(app_); });

  actFreqAdd = Add("actFreqAdd", C::Freq, "追加(&A)", "追加|一覧へ追加します", QKeySequence(Qt::ALT | Qt::Key_Right),
                   notEmpty, [this] { FreqAddExecute(app_); });
  actFreqGet = Add("actFreqGet", C::Freq, "呼出し(&G)", "呼出し|一覧から呼び出します",
                   QKeySequence(Qt::ALT | Qt::Key_Left), [this, freqRow] { return Allowed() && freqRow() >= 0; },
                   [this] { FreqGetExecute(app_); });
  actFreqDel = Add("actFreqDel", C::Freq, "削除(&X)", "削除|一覧から削除します",
                   QKeySequence(Qt::ALT | Qt::Key_Delete), [this, freqRow] { return Allowed() && freqRow() >= 0; },
                   [this] { FreqDelExecute(app_); });
  actFreqUp = Add("actFreqUp", C::Freq, "上へ移動(&U)", "上へ移動|項目を上へ移動します", QKeySequence(Qt::ALT | Qt::Key_Up),
                  [this, freqRow] { return Allowed() && freqRow() > 0; }, [this] { FreqUpExecute(app_); });
  actFreqDown = Add("actFreqDown", C::Freq, "下へ移動(&D)", "下へ移動|項目を下へ移動します",
                    QKeySequence(Qt::ALT | Qt::Key_Down),
                    [this, freqRow] {
                      int row = freqRow();
                      return Allowed() && row >= 0 && row < app_.Main().lstFreq->count() - 1;
                    },
                    [this] { FreqDownExecute(app_); });

  actLog = Add("actLog", C::Other, "履歴(&H)...", "履歴|履歴を表示します", QKeySequence(Qt::CTRL | Qt::Key_H), allowed,
               [this] { LogExecute(app_); });
  actDiff = Add("actDiff", C::Other, "比較(&D)...", "比較|比較データ選択画面を表示します",
                QKeySequence(Qt::CTRL | Qt::Key_D), allowed, [this] { DiffExecute(app_); });
  actSort = Add("actSort", C::Other, "並べ替え(&S)...", "並べ替え|並べ替えキー指定画面を表示します",
                QKeySequence(Qt::CTRL | Qt::Key_R),
                [this] { return Allowed() && app_.Main().Grid().Enabled(); }, [this] { SortExecute(app_); });
  actOption = Add("actOption", C::Other, "オプション(&O)...", "オプション|オプション設定画面を表示します", none, idle,
                  [this] { app_.OptionDialog().Execute(); });

  actOpenHelp = Add("actOpenHelp", C::Help, "ヘルプ(&P)", "ヘルプ|ヘルプを開きます", QKeySequence(Qt::Key_F1), idle,
                    [this] { app_.Platform().ShowHelp(QString::fromUtf8(app_.Files().HelpFile.c_str())); });
  actAbout = Add("actAbout", C::Help, "バージョン情報(&A)...", "バージョン情報|バージョン情報を開きます", none, idle,
                 [this] {
                   app_.CenterOnMain(app_.About());
                   app_.Platform().ExecModal(app_.About());
                 });
}

void TmodAction::CreateFileDialogs() {
  const QStringList sqlFilters = {U("ＳＱＬファイル (*.SQL *.sql)"), U("テキストファイル (*.TXT *.txt)"),
                                  U("すべてのファイル (*)")};
  const QStringList resultFilters = {U("CSV ファイル (*.CSV *.csv)"), U("XML ファイル (*.XML *.xml)"),
                                     U("すべてのファイル (*)")};
  OpenSqlDialog = {U("ＳＱＬ文を開く"), sqlFilters, 1, QStringLiteral("SQL"), {}, false};
  SaveSqlDialog = {U("ＳＱＬ文に名前を付けて保存"), sqlFilters, 1, QStringLiteral("SQL"), {}, true};
  OpenResultDialog = {U("実行結果を開く"), resultFilters, 1, QStringLiteral("CSV"), {}, false};
  SaveResultDialog = {U("実行結果に名前を付けて保存"),
                      resultFilters + QStringList{U("CSV UTF-8 ファイル (*.CSV *.csv)"), U("Excel ブック (*.xlsx)")},
                      1,
                      QStringLiteral("CSV"),
                      {},
                      true,
                      {QString(), QString(), QString(), QString(), QStringLiteral("xlsx")}};
}

void TmodAction::AddShortCut(QAction* action, QKeySequence key) {
  for (TCommand& c : commands_)
    if (c.Action == action) c.MoreShortCuts.push_back(key);
}

const TmodAction::TCommand* TmodAction::Find(const QAction* action) const {
  for (const TCommand& c : commands_)
    if (c.Action == action) return &c;
  return nullptr;
}

bool TmodAction::Update(QAction* action) {
  const TCommand* command = Find(action);
  return command && Apply(*command);
}

bool TmodAction::Apply(const TCommand& command) {
  bool enabled = command.Rule ? command.Rule() : true;
  if (command.Action->isEnabled() != enabled) command.Action->setEnabled(enabled);
  return enabled;
}

void TmodAction::UpdateActions() {
  for (const TCommand& c : commands_) Apply(c);
}

void TmodAction::Execute(QAction* action) {
  const TCommand* command = Find(action);
  // A checkable entry toggles itself when triggered; the command decides.
  if (action == actViewGrid) actViewGrid->setChecked(gridOnly_);
  if (!command || !Update(action) || !command->Effect) return;
  // Nothing may escape into the event loop; whatever failed is reported.
  try {
    command->Effect();
  } catch (const std::bad_alloc&) {
    ReportError(U("メモリが不足しています。"));
  } catch (const std::exception& e) {
    ReportError(QString::fromLocal8Bit(e.what()));
  }
}

QAction* TmodAction::ShortcutCommand(const QKeySequence& key, bool& enabled) {
  enabled = false;
  for (const TCommand& c : commands_) {
    if ((!c.ShortCut.isEmpty() && c.ShortCut == key) || c.MoreShortCuts.contains(key)) {
      enabled = Apply(c);
      return c.Action;
    }
  }
  return nullptr;
}

void TmodAction::ReportError(const QString& message) {
  app_.Main().SetStatusMsg(SJ("エラーが発生しました"));
  app_.Platform().ErrorBox(app_.AppTitle(), message);
}

void TmodAction::EditExecute(QAction* action) {
  TfrmMain& m = app_.Main();
  if (!m.SqlHasFocus()) return;
  QPlainTextEdit* edit = m.edtSql;
  QTextCursor cursor = edit->textCursor();
  if (action == actUndo) {
    edit->undo();
  } else if (action == actCut) {
    app_.Platform().SetClipboardText(SelectionText(cursor));
    cursor.removeSelectedText();
    edit->setTextCursor(cursor);
  } else if (action == actCopy) {
    app_.Platform().SetClipboardText(SelectionText(cursor));
  } else if (action == actPaste) {
    if (!app_.Platform().ClipboardHasText()) return;
    cursor.insertText(app_.Platform().ClipboardText());
    edit->setTextCursor(cursor);
  } else if (action == actDelete) {
    cursor.removeSelectedText();
    edit->setTextCursor(cursor);
  } else if (action == actSelectAll) {
    edit->selectAll();
  }
}

void TmodAction::ViewCellExecute() {
  TfrmMain& m = app_.Main();
  TfrmCellView& view = app_.CellView();
  view.Fill(m.SqlInfo(), m.Col, m.Row);
  app_.CenterOnMain(view);
  app_.Platform().ExecModal(view);
}

void TmodAction::ViewGridExecute() {
  gridOnly_ = !gridOnly_;
  app_.Main().SetGridOnly(gridOnly_);
  actViewGrid->setChecked(gridOnly_);
}
