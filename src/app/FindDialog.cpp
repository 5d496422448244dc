#include "app/FindDialog.h"

#include <QAction>
#include <QCheckBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextCursor>
#include <QVBoxLayout>
#include <optional>
#include <vector>

#include "app/ActionModule.h"
#include "app/App.h"
#include "app/MainWindow.h"
#include "app/QtText.h"
#include "core/Sjis.h"
#include "views/CellFinder.h"
#include "views/SqlGrid.h"

namespace {

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
  auto* button = new QPushButton(U(caption), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoDefault(false);
  return button;
}

template <class T>
T* Named(QWidget* parent, const char* name, const char* caption) {
  auto* w = new T(U(caption), parent);
  w->setObjectName(QString::fromLatin1(name));
  return w;
}

QLineEdit* Field(QWidget* parent, const char* name, const char* caption, QGridLayout* grid, int row) {
  auto* label = new QLabel(U(caption), parent);
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setMinimumWidth(220);
  label->setBuddy(edit);
  grid->addWidget(label, row, 0);
  grid->addWidget(edit, row, 1);
  return edit;
}

}  // namespace

TfrmFind::TfrmFind(TApp& app) : QDialog(&app.Main()), app_(app) {
  setObjectName(QStringLiteral("frmFind"));
  setWindowTitle(U("検索と置換"));
  setModal(false);

  auto* fields = new QGridLayout;
  edtFind = Field(this, "edtFind", "検索する文字列(&N):", fields, 0);
  edtReplace = Field(this, "edtReplace", "置換後の文字列(&P):", fields, 1);

  auto* options = new QGroupBox(U("オプション"), this);
  chkCase = Named<QCheckBox>(options, "chkCase", "大文字と小文字を区別する(&C)");
  chkWord = Named<QCheckBox>(options, "chkWord", "単語単位で検索する(&W)");
  chkWrap = Named<QCheckBox>(options, "chkWrap", "折り返して検索する(&O)");
  chkWrap->setChecked(true);
  auto* optionLayout = new QVBoxLayout(options);
  for (QWidget* w : {chkCase, chkWord, chkWrap}) optionLayout->addWidget(w);

  auto* target = new QGroupBox(U("検索対象"), this);
  rdoSql = Named<QRadioButton>(target, "rdoSql", "ＳＱＬ文(&S)");
  rdoGrid = Named<QRadioButton>(target, "rdoGrid", "実行結果(&G)");
  rdoSql->setChecked(true);
  auto* targetLayout = new QVBoxLayout(target);
  targetLayout->addWidget(rdoSql);
  targetLayout->addWidget(rdoGrid);
  targetLayout->addStretch();

  btnFindNext = Button(this, "btnFindNext", "次を検索(&F)");
  btnFindNext->setDefault(true);
  btnFindPrev = Button(this, "btnFindPrev", "前を検索(&B)");
  btnReplace = Button(this, "btnReplace", "置換(&R)");
  btnReplaceAll = Button(this, "btnReplaceAll", "すべて置換(&A)");
  btnClose = Button(this, "btnClose", "閉じる(&X)");

  auto* boxes = new QHBoxLayout;
  boxes->addWidget(options);
  boxes->addWidget(target);
  auto* left = new QVBoxLayout;
  left->addLayout(fields);
  left->addLayout(boxes);
  left->addStretch();
  auto* buttons = new QVBoxLayout;
  for (QWidget* b : {btnFindNext, btnFindPrev, btnReplace, btnReplaceAll, btnClose}) buttons->addWidget(b);
  buttons->addStretch();
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 1);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  // Fields, options and target, then the buttons, as the eye reads them.
  QWidget* order[] = {edtFind, edtReplace, chkCase, chkWord, chkWrap, rdoSql, rdoGrid,
                      btnFindNext, btnFindPrev, btnReplace, btnReplaceAll, btnClose};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  TmodAction& a = app_.Action();
  connect(btnFindNext, &QPushButton::clicked, this, [&a] { a.Execute(a.actFindNext); });
  connect(btnFindPrev, &QPushButton::clicked, this, [&a] { a.Execute(a.actFindPrev); });
  connect(btnReplace, &QPushButton::clicked, this, [this, &a] {
    if (a.Update(a.actReplace)) Replace();
  });
  connect(btnReplaceAll, &QPushButton::clicked, this, [this, &a] {
    if (a.Update(a.actReplace)) ReplaceAll();
  });
  connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
  for (QAction* action : {a.actFindNext, a.actReplace})
    connect(action, &QAction::changed, this, [this] { UpdateButtons(); });
  connect(rdoSql, &QRadioButton::toggled, this, [this] { UpdateButtons(); });

  TfrmMain& m = app_.Main();
  m.edtSql->installEventFilter(this);
  m.Grid().installEventFilter(this);
  FollowFocus();
  UpdateButtons();
}

bool TfrmFind::TargetIsGrid() const { return rdoGrid->isChecked(); }

TFindOptions TfrmFind::Options() const { return {chkCase->isChecked(), chkWord->isChecked()}; }

void TfrmFind::FollowFocus() {
  TfrmMain& m = app_.Main();
  QWidget* focus = m.focusWidget();
  if (focus == &m.Grid())
    rdoGrid->setChecked(true);
  else if (focus == m.edtSql)
    rdoSql->setChecked(true);
}

void TfrmFind::UpdateButtons() {
  TmodAction& a = app_.Action();
  const bool find = a.actFindNext->isEnabled();
  btnFindNext->setEnabled(find);
  btnFindPrev->setEnabled(find);
  const bool replace = a.actReplace->isEnabled() && !TargetIsGrid();
  btnReplace->setEnabled(replace);
  btnReplaceAll->setEnabled(replace);
}

void TfrmFind::SetMessage(const char* utf8) { app_.Main().SetStatusMsg(SJ(utf8)); }

bool TfrmFind::eventFilter(QObject* watched, QEvent* e) {
  // The user moved to the edit or the grid; coming back to the window, or
  // from a menu, is no choice.
  if (e->type() == QEvent::FocusIn) {
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(e)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
      if (watched == &app_.Main().Grid())
        rdoGrid->setChecked(true);
      else
        rdoSql->setChecked(true);
    }
  }
  return QDialog::eventFilter(watched, e);
}

void TfrmFind::keyPressEvent(QKeyEvent* e) {
  // The main window's key preview does not see this window's keys: the
  // find commands' own shortcuts work here too.
  TmodAction& a = app_.Action();
  const QKeySequence key(QKeyCombination(e->modifiers() & ~Qt::KeypadModifier, static_cast<Qt::Key>(e->key())));
  for (QAction* action : {a.actFind, a.actFindNext, a.actFindPrev, a.actReplace}) {
    if (action->shortcut() == key) {
      a.Execute(action);
      return;
    }
  }
  QDialog::keyPressEvent(e);
}

void TfrmFind::Open(bool replace) {
  app_.Action().UpdateActions();  // the buttons show the commands' state at once
  FollowFocus();
  if (replace) rdoSql->setChecked(true);
  QPlainTextEdit* edit = app_.Main().edtSql;
  const QString selected = edit->textCursor().selectedText();
  // A selection of one line is what the user wants to find.
  if (!TargetIsGrid() && !selected.isEmpty() && !selected.contains(QChar::ParagraphSeparator))
    edtFind->setText(selected);
  if (!placed_) {
    // Over the top right corner of the main window, clear of the edit's start.
    adjustSize();
    const QRect main = app_.Main().frameGeometry();
    move(main.right() - frameGeometry().width() - 16, main.top() + 64);
    placed_ = true;
  }
  show();
  raise();
  activateWindow();
  QLineEdit* field = replace && !edtFind->text().isEmpty() ? edtReplace : edtFind;
  field->setFocus(Qt::ShortcutFocusReason);
  field->selectAll();
}

bool TfrmFind::FindNext(bool forward) { return TargetIsGrid() ? FindInGrid(forward) : FindInSql(forward); }

bool TfrmFind::FindInSql(bool forward) {
  QPlainTextEdit* edit = app_.Main().edtSql;
  const QString text = edit->toPlainText();
  const QString pattern = edtFind->text();
  const TFindOptions options = Options();
  QTextCursor cursor = edit->textCursor();
  qsizetype at = forward ? FindInText(text, pattern, cursor.selectionEnd(), true, options)
                         : FindInText(text, pattern, cursor.selectionStart() - 1, false, options);
  bool wrapped = false;
  if (at < 0 && chkWrap->isChecked()) {
    at = FindInText(text, pattern, forward ? 0 : text.size(), forward, options);
    wrapped = at >= 0;
  }
  if (at < 0) {
    SetMessage("見つかりません");
    return false;
  }
  cursor.setPosition(static_cast<int>(at));
  cursor.setPosition(static_cast<int>(at + pattern.size()), QTextCursor::KeepAnchor);
  edit->setTextCursor(cursor);
  edit->ensureCursorVisible();
  SetMessage(!wrapped ? "" : forward ? "先頭に戻って検索しました" : "末尾に戻って検索しました");
  return true;
}

bool TfrmFind::FindInGrid(bool forward) {
  TSqlGrid& grid = app_.Main().Grid();
  const QString pattern = edtFind->text();
  TGridFindResult found;
  // A text cp932 cannot hold is in no cell.
  if (grid.Enabled() && FitsSjis(pattern)) {
    const TCellFinder finder(FromQ(pattern), Options());
    // A long search lets the window paint and take input, with the
    // commands held off as for any long work.
    std::optional<TBusy> busy;
    found = ::FindInGrid(grid, finder, grid.Col(), grid.Row(), forward, chkWrap->isChecked(), [this, &busy] {
      if (busy)
        app_.Platform().ProcessMessages();
      else
        busy.emplace(app_, TCursor::HourGlass);
    });
  }
  if (!found.Found) {
    SetMessage("見つかりません");
    return false;
  }
  grid.FocusCell(found.Col, found.Row, true);
  SetMessage(!found.Wrapped ? "" : forward ? "先頭に戻って検索しました" : "末尾に戻って検索しました");
  return true;
}

void TfrmFind::Replace() {
  if (TargetIsGrid()) return;
  QPlainTextEdit* edit = app_.Main().edtSql;
  QTextCursor cursor = edit->textCursor();
  const QString pattern = edtFind->text();
  if (cursor.hasSelection() && cursor.selectionEnd() - cursor.selectionStart() == pattern.size() &&
      MatchesAt(edit->toPlainText(), pattern, cursor.selectionStart(), Options())) {
    cursor.insertText(edtReplace->text());
    edit->setTextCursor(cursor);
  }
  FindInSql(true);
}

int TfrmFind::ReplaceAll() {
  if (TargetIsGrid()) return 0;
  QPlainTextEdit* edit = app_.Main().edtSql;
  const QString text = edit->toPlainText();
  const QString pattern = edtFind->text();
  const TFindOptions options = Options();
  std::vector<qsizetype> matches;
  for (qsizetype at = FindInText(text, pattern, 0, true, options); at >= 0;
       at = FindInText(text, pattern, at + pattern.size(), true, options))
    matches.push_back(at);
  if (matches.empty()) {
    SetMessage("見つかりません");
    return 0;
  }
  // From the last match back, so that the earlier positions stay put.
  const QString replacement = edtReplace->text();
  QTextCursor cursor(edit->document());
  cursor.beginEditBlock();
  for (auto it = matches.rbegin(); it != matches.rend(); ++it) {
    cursor.setPosition(static_cast<int>(*it));
    cursor.setPosition(static_cast<int>(*it + pattern.size()), QTextCursor::KeepAnchor);
    cursor.insertText(replacement);
  }
  cursor.endEditBlock();
  const int count = static_cast<int>(matches.size());
  app_.Main().SetStatusMsg(FromQ(U("%1件置換しました").arg(count)));
  return count;
}

namespace {

TfrmFind& Dialog(TApp& app) {
  if (auto* dialog = app.Main().findChild<TfrmFind*>(QString(), Qt::FindDirectChildrenOnly)) return *dialog;
  return *new TfrmFind(app);  // the main window owns it
}

}  // namespace

void FindExecute(TApp& app) { Dialog(app).Open(false); }

void ReplaceExecute(TApp& app) { Dialog(app).Open(true); }

void FindNextExecute(TApp& app, bool forward) {
  TfrmFind& dialog = Dialog(app);
  if (dialog.edtFind->text().isEmpty()) {
    dialog.Open(false);
    return;
  }
  // A key in the main window searches where its focus is; the dialog's
  // own keys and buttons search the target it shows.
  if (!dialog.isActiveWindow()) dialog.FollowFocus();
  dialog.FindNext(forward);
}
