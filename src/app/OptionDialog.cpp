#include "app/OptionDialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <exception>
#include <filesystem>
#include <system_error>

#include "app/ActionModule.h"
#include "app/App.h"
#include "app/HistoryStore.h"
#include "app/MainWindow.h"
#include "views/QtText.h"
#include "app/RadioGroup.h"
#include "app/UpDown.h"
#include "app/WindowPlacement.h"
#include "core/Sjis.h"
#include "views/Colors.h"
#include "views/DiffDialog.h"

namespace {

void ApplyDialogBlock(const TDialogBlock& block, TFileDialogSpec& dialog) {
  if (!block.Present) return;
  dialog.InitialDir = ToQ(block.Path);
  dialog.FilterIndex = block.SecondFilter ? 2 : 1;
}

void CollectDialogBlock(const TFileDialogSpec& dialog, TDialogBlock& block) {
  block.Present = true;
  block.Path = FromQ(dialog.InitialDir);
  // The UTF-8 CSV and Excel filters after them are kept as the first: "CSV".
  block.SecondFilter = dialog.FilterIndex == 2 || dialog.FilterIndex == 3;
}

// The save dialog of a pair starts where the open dialog does.
void CopyDialog(const TFileDialogSpec& from, TFileDialogSpec& to) {
  to.InitialDir = from.InitialDir;
  to.FilterIndex = from.FilterIndex;
}

template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QLabel* RedLabel(const char* name, const char* text) {
  auto* label = Named(new QLabel(U(text)), name);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, Qt::red);
  label->setPalette(palette);
  return label;
}

QLabel* BuddyLabel(const char* name, const char* text, QWidget* buddy) {
  auto* label = Named(new QLabel(U(text)), name);
  label->setBuddy(buddy);
  return label;
}

QLineEdit* NumberEdit(const char* name) {
  auto* edit = Named(new QLineEdit, name);
  edit->setFixedWidth(48);
  edit->setAlignment(Qt::AlignRight);
  return edit;
}

// An edit with its spin control at its right edge.
QHBoxLayout* WithUpDown(QLineEdit* edit, TUpDown* upDown) {
  auto* row = new QHBoxLayout;
  row->setSpacing(0);
  row->addWidget(edit);
  row->addWidget(upDown);
  row->addStretch();
  return row;
}

}  // namespace

TColorShape::TColorShape(QWidget* parent) : QFrame(parent) {
  setFrameShape(QFrame::Box);
  setFixedSize(40, 20);
}

void TColorShape::SetColor(TColor color) {
  color_ = color;
  update();
}

void TColorShape::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  QColor fill = ToQColor(color_, palette());
  if (fill.isValid()) painter.fillRect(contentsRect(), fill);
  painter.end();
  QFrame::paintEvent(event);
}

TfrmOption::TfrmOption(TApp& app) : QDialog(&app.Main()), app_(app) {
  setObjectName(QStringLiteral("frmOption"));
  setWindowTitle(U("オプション"));
  setFont(app.Main().font());

  const QString baseName = QString::fromUtf8(app.Files().BaseName.c_str());
  lblComment = Named(new QLabel(U("設定した内容はプログラムと同じディレクトリの") + QLatin1Char(' ') + baseName +
                                U("_Opt.xml ファイルに保管します。")),
                     "lblComment");
  pagOption = Named(new QTabWidget, "pagOption");
  tabConnect = CreateConnectPage();
  tabLog = CreateLogPage();
  tabGrid = CreateGridPage();
  pagOption->addTab(tabConnect, U("接続"));
  pagOption->addTab(tabLog, U("履歴"));
  pagOption->addTab(tabGrid, U("結果表示領域"));
  connect(pagOption, &QTabWidget::currentChanged, this, [this](int index) { PageChanged(index); });

  btnOk = Named(new QPushButton(QStringLiteral("OK")), "btnOk");
  btnCancel = Named(new QPushButton(U("ｷｬﾝｾﾙ")), "btnCancel");
  btnOk->setDefault(true);
  btnOk->setAutoDefault(true);
  btnCancel->setAutoDefault(true);
  connect(btnOk, &QPushButton::clicked, this, [this] { btnOkClick(); });
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnOk);
  buttons->addWidget(btnCancel);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblComment);
  layout->addWidget(pagOption);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  // Tab order: the pages' controls in reading order, then the buttons.
  QWidget* order[] = {edtUser, edtPassword, edtHost, rdoLog->Item(0), rdoLog->Item(1), rdoLog->Item(2),
                      rdoLogPath->Item(0), rdoLogPath->Item(1), edtLogPath, btnLogPathRef, edtMaxLog,
                      rdoOrientation->Item(0), rdoOrientation->Item(1), edtWordwrap, btnFixedRowsForeColor,
                      btnFixedRowsBackColor, btnNormalLineForeColor, btnNormalLineBackColor, btnBoldLineForeColor,
                      btnBoldLineBackColor, btnOk, btnCancel};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
  adjustSize();

  // Loading: placed over the main window, on the first page, then the file.
  app.CenterOnMain(*this);
  ShowPage(tabConnect);
  std::string message = ReadOptionFile(app.Files().OptionFile, file_);
  const TMainFormLayout& main = file_.Layout.MainForm;
  if (main.Present) {
    app.Main().ApplyLayout(main);
    TmodAction& actions = app.Action();
    ApplyDialogBlock(main.SqlDialog, actions.OpenSqlDialog);
    CopyDialog(actions.OpenSqlDialog, actions.SaveSqlDialog);
    ApplyDialogBlock(main.ResultDialog, actions.OpenResultDialog);
    CopyDialog(actions.OpenResultDialog, actions.SaveResultDialog);
  }
  ApplyDialogBlock(file_.Layout.DiffForm.DiffDialog, app.DiffDialog().FileDialog);
  ApplyDialogLayouts(app, file_.Layout);
  if (!message.empty()) app.Platform().ErrorBox(app.AppTitle(), ToQ(message));
}

TfrmOption::~TfrmOption() {
  TMainFormLayout& main = file_.Layout.MainForm;
  app_.Main().CollectLayout(main);
  CollectDialogBlock(app_.Action().OpenSqlDialog, main.SqlDialog);
  CollectDialogBlock(app_.Action().OpenResultDialog, main.ResultDialog);
  CollectDialogBlock(app_.DiffDialog().FileDialog, file_.Layout.DiffForm.DiffDialog);
  CollectDialogLayouts(app_, file_.Layout);
  std::string message;
  if (!WriteOptionFile(app_.Files().OptionFile, file_, message))
    app_.Platform().ErrorBox(app_.AppTitle(), ToQ(message));
}

QWidget* TfrmOption::CreateConnectPage() {
  auto* page = Named(new QWidget, "tabConnect");
  edtUser = Named(new QLineEdit, "edtUser");
  edtPassword = Named(new QLineEdit, "edtPassword");
  edtHost = Named(new QLineEdit, "edtHost");
  edtPassword->setEchoMode(QLineEdit::Password);
  edtPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));

  auto* fields = new QGridLayout;
  fields->addWidget(BuddyLabel("lblUser", "ユーザー名(&U)", edtUser), 0, 0);
  fields->addWidget(edtUser, 0, 1);
  fields->addWidget(BuddyLabel("lblPassword", "パスワード(&P)", edtPassword), 1, 0);
  fields->addWidget(edtPassword, 1, 1);
  fields->addWidget(BuddyLabel("lblHost", "ホスト文字列(&H)", edtHost), 2, 0);
  fields->addWidget(edtHost, 2, 1);
  fields->setColumnStretch(1, 1);

  auto* layout = new QVBoxLayout(page);
  layout->addWidget(RedLabel("lblCaution", "＊＊＊　注意！　＊＊＊"));
  layout->addWidget(RedLabel("lblNoCrypt", "ファイルへの保管時に暗号化は行いません。"));
  layout->addWidget(RedLabel("lblNextStart", "設定は次回起動時から有効になります。"));
  layout->addSpacing(8);
  layout->addLayout(fields);
  layout->addStretch();
  return page;
}

QWidget* TfrmOption::CreateLogPage() {
  auto* page = Named(new QWidget, "tabLog");
  rdoLog = Named(new TRadioGroup(U("保存内容(&O)"), {U("ＳＱＬ文と実行結果"), U("ＳＱＬ文のみ保存"), U("履歴を保存しない")}, 3),
                 "rdoLog");
  rdoLogPath = Named(new TRadioGroup(U("保存ディレクトリ(&D)"), {U("プログラムと同じディレクトリ"), U("ユーザー指定")}, 1),
                     "rdoLogPath");
  rdoLog->OnClick = [this] { ApplyEnableRules(); };
  rdoLogPath->OnClick = [this] { ApplyEnableRules(); };
  edtLogPath = Named(new QLineEdit, "edtLogPath");
  btnLogPathRef = Named(new QPushButton(U("参照(&R)...")), "btnLogPathRef");
  connect(btnLogPathRef, &QPushButton::clicked, this, [this] { btnLogPathRefClick(); });
  edtMaxLog = NumberEdit("edtMaxLog");
  updMaxLog = Named(new TUpDown(*edtMaxLog, 10, 999), "updMaxLog");

  // The user's directory belongs to the second item: below it, indented.
  auto* path = new QHBoxLayout;
  path->addSpacing(20);
  path->addWidget(edtLogPath, 1);
  path->addWidget(btnLogPathRef);
  static_cast<QGridLayout*>(rdoLogPath->layout())->addLayout(path, 2, 0);
  edtLogPath->setMinimumWidth(260);

  auto* maxLog = new QHBoxLayout;
  maxLog->addWidget(BuddyLabel("lblMaxLog", "最大保存数(&M)", edtMaxLog));
  maxLog->addLayout(WithUpDown(edtMaxLog, updMaxLog));

  auto* layout = new QVBoxLayout(page);
  layout->addWidget(RedLabel("lblLogCaution", "設定を変更すると履歴ファイルを再編成します。"));
  layout->addWidget(rdoLog);
  layout->addWidget(rdoLogPath);
  layout->addLayout(maxLog);
  layout->addStretch();
  return page;
}

QWidget* TfrmOption::CreateGridPage() {
  auto* page = Named(new QWidget, "tabGrid");
  // One row of a group: the label, the swatch and its button.
  auto colorRow = [this](QGridLayout* grid, int row, const char* label, const char* button, TColorShape*& shape,
                         QPushButton*& btn, const char* shapeName, const char* btnName) {
    shape = Named(new TColorShape, shapeName);
    btn = Named(new QPushButton(U(button)), btnName);
    QPushButton* clicked = btn;
    connect(btn, &QPushButton::clicked, this, [this, clicked] { btnColorClick(clicked); });
    grid->addWidget(new QLabel(U(label)), row, 0);
    grid->addWidget(shape, row, 1);
    grid->addWidget(btn, row, 2);
  };
  auto group = [](const char* name, const char* caption) {
    auto* box = Named(new QGroupBox(U(caption)), name);
    auto* grid = new QGridLayout(box);
    grid->setColumnStretch(3, 1);
    return std::pair{box, grid};
  };

  auto [fixed, fixedGrid] = group("grpFixedRows", "固定行(&F)");
  rdoOrientation = Named(new TRadioGroup(QString(), {U("横書き"), U("縦書き")}, 2), "rdoOrientation");
  edtWordwrap = NumberEdit("edtWordwrap");
  updWordwrap = Named(new TUpDown(*edtWordwrap, 2, 30), "updWordwrap");
  fixedGrid->addWidget(rdoOrientation, 0, 0, 1, 4);
  fixedGrid->addWidget(BuddyLabel("lblWordwrap", "折り返し文字数(&W)", edtWordwrap), 1, 0);
  fixedGrid->addLayout(WithUpDown(edtWordwrap, updWordwrap), 1, 1, 1, 2);
  colorRow(fixedGrid, 2, "文字色", "文字色選択...", shpFixedRowsForeColor, btnFixedRowsForeColor,
           "shpFixedRowsForeColor", "btnFixedRowsForeColor");
  colorRow(fixedGrid, 3, "背景色", "背景色選択...", shpFixedRowsBackColor, btnFixedRowsBackColor,
           "shpFixedRowsBackColor", "btnFixedRowsBackColor");

  auto [normal, normalGrid] = group("grpNormalLines", "通常行(&N)");
  colorRow(normalGrid, 0, "文字色", "文字色選択...", shpNormalLineForeColor, btnNormalLineForeColor,
           "shpNormalLineForeColor", "btnNormalLineForeColor");
  colorRow(normalGrid, 1, "背景色", "背景色選択...", shpNormalLineBackColor, btnNormalLineBackColor,
           "shpNormalLineBackColor", "btnNormalLineBackColor");

  auto [bold, boldGrid] = group("grpBoldLines", "強調行(&B)");
  colorRow(boldGrid, 0, "文字色", "文字色選択...", shpBoldLineForeColor, btnBoldLineForeColor,
           "shpBoldLineForeColor", "btnBoldLineForeColor");
  colorRow(boldGrid, 1, "背景色", "背景色選択...", shpBoldLineBackColor, btnBoldLineBackColor,
           "shpBoldLineBackColor", "btnBoldLineBackColor");

  auto* layout = new QVBoxLayout(page);
  layout->addWidget(RedLabel("lblGridCaution", "設定は次回処理から有効になります。"));
  layout->addWidget(fixed);
  auto* rows = new QHBoxLayout;
  rows->addWidget(normal);
  rows->addWidget(bold);
  layout->addLayout(rows);
  layout->addStretch();
  return page;
}

std::array<TColorShape*, 6> TfrmOption::Shapes() const {
  return {shpFixedRowsForeColor, shpFixedRowsBackColor, shpNormalLineForeColor,
          shpNormalLineBackColor, shpBoldLineForeColor,  shpBoldLineBackColor};
}

std::array<TColor*, 6> TfrmOption::StoredColors() {
  TOptions& o = file_.Options;
  return {&o.FixedRowsForeColor,  &o.FixedRowsBackColor, &o.NormalLineForeColor,
          &o.NormalLineBackColor, &o.BoldLineForeColor,  &o.BoldLineBackColor};
}

void TfrmOption::Execute() {
  FormActivate();
  app_.Platform().ExecModal(*this);
}

void TfrmOption::FormActivate() {
  const TOptions& o = file_.Options;
  edtUser->setText(ToQ(o.User));
  edtPassword->setText(ToQ(o.Password));
  edtHost->setText(ToQ(o.Connect));
  rdoLog->SetItemIndex(o.LogOption);
  rdoLogPath->SetItemIndex(o.PathOption);
  ApplyEnableRules();
  edtLogPath->setText(ToQ(o.Path));
  // The spin controls take the value within their range; the edits show it
  // as stored.
  updMaxLog->SetPosition(o.MaxLog);
  edtMaxLog->setText(QString::number(o.MaxLog));
  rdoOrientation->SetItemIndex(o.Orientation);
  updWordwrap->SetPosition(o.Wordwrap);
  edtWordwrap->setText(QString::number(o.Wordwrap));
  std::array<TColor*, 6> stored = StoredColors();
  std::array<TColorShape*, 6> shapes = Shapes();
  for (size_t i = 0; i < shapes.size(); ++i) shapes[i]->SetColor(*stored[i]);
}

void TfrmOption::ApplyEnableRules() {
  const bool keeps = rdoLog->ItemIndex() < 2;
  rdoLogPath->setEnabled(keeps);
  edtMaxLog->setEnabled(keeps);
  updMaxLog->setEnabled(keeps);
  const bool userPath = keeps && rdoLogPath->ItemIndex() == 1;
  edtLogPath->setEnabled(userPath);
  btnLogPathRef->setEnabled(userPath);
}

void TfrmOption::ShowPage(QWidget* page) {
  programPage_ = true;
  pagOption->setCurrentWidget(page);
  programPage_ = false;
  shownPage_ = pagOption->currentIndex();
}

void TfrmOption::PageChanged(int index) {
  if (programPage_) return;
  const int left = shownPage_;
  shownPage_ = index;
  // The tab has already switched; a refused change puts the user back
  // before the message shows.
  if (left != index && !pagOptionChanging(left)) ShowPage(pagOption->widget(left));
}

bool TfrmOption::pagOptionChanging(int index) {
  QWidget* page = pagOption->widget(index);
  if (page == tabLog) return CheckLogPage();
  if (page == tabGrid) return CheckGridPage();
  return true;
}

void TfrmOption::Refuse(QWidget* page, QLineEdit& edit, const QString& message) {
  ShowPage(page);
  if (edit.isEnabled()) edit.setFocus();
  app_.Platform().ErrorBox(app_.AppTitle(), message);
}

bool TfrmOption::CheckInteger(QLineEdit& edit, const TUpDown& upDown, QWidget* page) {
  int value = 0;
  if (!EditNumber(edit, value)) {
    Refuse(page, edit, U("整数を入力して下さい。"));
    return false;
  }
  if (value < upDown.Min() || value > upDown.Max()) {
    Refuse(page, edit,
           U("数値範囲が正しくありません。") + QLatin1Char('\r') + QString::number(upDown.Min()) + U("から") +
               QString::number(upDown.Max()) + U(" までの値を入力して下さい。"));
    return false;
  }
  return true;
}

bool TfrmOption::CheckDirectory() {
  // The directory as it will be stored (cp932), so a name the settings
  // cannot hold is refused here rather than lost later.
  std::error_code error;
  if (!std::filesystem::is_directory(SjisToUtf8(FromQ(edtLogPath->text())), error)) {
    Refuse(tabLog, *edtLogPath, U("ディレクトリが存在しません。"));
    return false;
  }
  return true;
}

bool TfrmOption::CheckLogPage() {
  if (rdoLog->ItemIndex() < 2) {
    if (!CheckInteger(*edtMaxLog, *updMaxLog, tabLog)) return false;
  }
  if (rdoLogPath->ItemIndex() == 1) return CheckDirectory();
  return true;
}

bool TfrmOption::CheckGridPage() {
  if (rdoOrientation->ItemIndex() == 0) return true;
  return CheckInteger(*edtWordwrap, *updWordwrap, tabGrid);
}

void TfrmOption::btnOkClick() {
  TBusy busy(app_, TCursor::HourGlass);
  if (!CheckLogPage() || !CheckGridPage()) return;
  TOptions& o = file_.Options;
  try {
    o.User = FromQ(edtUser->text());
    o.Password = FromQ(edtPassword->text());
    o.Connect = FromQ(edtHost->text());

    // A change of the history settings rewrites the history where and as
    // it is kept now, then reads it from where the new settings say. When
    // the write failed (reported), reading would drop this session's runs:
    // the old settings stay and so does the dialog.
    // The maximum as the edit shows it: a stored value outside the range
    // (a hand-edited file) shown unchanged is no change, although the spin
    // control holds it clamped.
    const std::string path = FromQ(edtLogPath->text());
    int maxLog = 0;
    if (!EditNumber(*edtMaxLog, maxLog)) maxLog = updMaxLog->Position();
    const bool reload = rdoLog->ItemIndex() != o.LogOption || rdoLogPath->ItemIndex() != o.PathOption ||
                        path != o.Path || maxLog != o.MaxLog;
    if (reload && !WriteHistory(app_)) return;
    o.LogOption = rdoLog->ItemIndex();
    o.PathOption = rdoLogPath->ItemIndex();
    o.Path = path;
    o.MaxLog = updMaxLog->Position();
    if (reload) ReadHistory(app_);

    o.Orientation = rdoOrientation->ItemIndex();
    o.Wordwrap = updWordwrap->Position();
    std::array<TColor*, 6> stored = StoredColors();
    std::array<TColorShape*, 6> shapes = Shapes();
    for (size_t i = 0; i < shapes.size(); ++i) *stored[i] = shapes[i]->Color();
  } catch (const std::exception& e) {
    // Shown as the event loop would; what was stored so far stays stored.
    app_.Platform().ErrorBox(app_.AppTitle(), QString::fromLocal8Bit(e.what()));
    return;
  }
  accept();
}

void TfrmOption::btnLogPathRefClick() {
  QString dir;
  if (app_.Platform().PickFolder(U("実行結果保存ディレクトリの指定"), dir)) edtLogPath->setText(dir);
}

void TfrmOption::btnColorClick(QPushButton* button) {
  // The swatch is the one named like the button.
  const QString name = QStringLiteral("shp") + button->objectName().mid(3);
  for (TColorShape* shape : Shapes()) {
    if (shape->objectName() != name) continue;
    QColor colour = ToQColor(shape->Color(), shape->palette());
    if (app_.Platform().PickColor(colour)) shape->SetColor(FromQColor(colour));
    return;
  }
}
