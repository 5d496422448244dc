#include "app/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/ActionModule.h"
#include "app/App.h"
#include "app/FavouriteList.h"
#include "app/HistoryStore.h"
#include "app/KeyGuard.h"
#include "views/QtText.h"
#include "app/SqlHighlighter.h"
#include "app/StatusBar.h"
#include "app/ToolIcons.h"
#include "app/TransactionCommands.h"
#include "views/Colors.h"
#include "views/ResultPresenter.h"
#include "views/SqlGrid.h"

namespace {

// Design sizes in pixels.
constexpr int kToolbarHeight = 47;
constexpr int kToolButtonWidth = 48;
constexpr int kToolButtonHeight = 40;
constexpr int kOperationHeight = 168;
constexpr int kOperationMinHeight = 80;
constexpr int kSqlPanelWidth = 304;
constexpr int kSqlPanelMinWidth = 250;
constexpr int kSplitterWidth = 3;
constexpr int kClientWidth = 632;
constexpr int kClientHeight = 434;
constexpr int kMinMessagePanel = 60;  // the message panel never gives up more
constexpr int kProgressWidth = 85;
constexpr int kPanelPadding = 8;  // a panel's frame and the space inside it

enum TPanelIndex { pnMsg = 0, pnStatus, pnProgress, pnCols, pnDate, pnStart, pnEnd, pnDiff, pnSpare };

QFont WindowFont() {
  QFont font(U("ＭＳ Ｐゴシック"));
  font.setPixelSize(12);
  return font;
}

QFont FixedFont() {
  QFont font(U("ＭＳ ゴシック"));
  font.setPixelSize(12);
  font.setStyleHint(QFont::Monospace);
  return font;
}

// A title bar over a panel: a label on a raised strip.
QWidget* TitleBar(QLabel* label) {
  auto* bar = new QWidget;
  bar->setAutoFillBackground(true);
  auto* layout = new QHBoxLayout(bar);
  layout->setContentsMargins(4, 2, 4, 2);
  layout->addWidget(label);
  layout->addStretch();
  return bar;
}

QToolButton* ToolButton(const char* name, const char* caption, TToolIcon icon) {
  auto* button = new QToolButton;
  button->setObjectName(QString::fromLatin1(name));
  button->setText(U(caption));
  button->setIcon(MakeToolIcon(icon));
  button->setIconSize(QSize(24, 24));
  button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  button->setAutoRaise(true);
  button->setFixedSize(kToolButtonWidth, kToolButtonHeight);
  button->setFocusPolicy(Qt::NoFocus);
  return button;
}

// The context menu of control, opened where the user asked for it.
QMenu* PopupMenu(QWidget* owner, QAbstractScrollArea* control, const char* name) {
  auto* menu = new QMenu(owner);
  menu->setObjectName(QString::fromLatin1(name));
  control->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(control, &QWidget::customContextMenuRequested, menu,
                   [control, menu](const QPoint& at) { menu->exec(control->viewport()->mapToGlobal(at)); });
  return menu;
}

// The caption of a focused control's panel is bold.
void SetBold(QLabel* label, bool bold) {
  QFont f = label->font();
  f.setBold(bold);
  label->setFont(f);
}

QString TimePanel(const char* prefix, TDateTime value) {
  return U(prefix) + QString::fromLatin1(FormatTime(value).c_str());
}

// Whole seconds of a duration, for skipping redraws that change nothing.
int64_t WholeSeconds(TDateTime value) { return static_cast<int64_t>(value * 86400.0 + 0.0005); }

}  // namespace

TfrmMain::TfrmMain(TApp& app) : QMainWindow(nullptr), app_(app) {
  setObjectName(QStringLiteral("frmMain"));
  setFont(WindowFont());
  setWindowIcon(MakeToolIcon(TToolIcon::App));
  // Title and caption.
  setWindowTitle(app_.AppTitle());
  CreateLayout();
  CreateStatusBar();

  // The result grid and the result set with its events.
  sqlInfo_ = std::make_unique<TSqlInfo>();
  presenter_ = std::make_unique<TResultPresenter>(*sqlInfo_, *grid_, [this]() -> const TOptions& { return Settings(); });
  WireResultSet();

  // The engine; without a session object the program cannot work.
  sqlManager_ = std::make_unique<TSqlManager>(app_.SessionFactory());
  if (!sqlManager_->CreateSession()) {
    app_.Platform().ErrorBox(app_.AppTitle(), U("オラクルオブジェクト作成エラー"));
    app_.Terminate();
  }
  sqlManager_->SqlInfo = sqlInfo_.get();
  sqlManager_->MaxRow = [this] { return Settings().MaxRow; };

  // The initial state; clearing the result set fills panels 1 to 7.
  SetIsProcessing(false);
  SetIsRunning(false);
  SetIsConnected(false);
  SetStatusMsg({});
  SetPathFile({});

  // The key preview and the bold captions: every event of the application
  // passes here first, the edit area's and the list's included.
  qApp->installEventFilter(this);
}

TfrmMain::~TfrmMain() {
  qApp->removeEventFilter(this);
  // The favourites' statements go with their items.
  if (lstFreq) ClearListItems(*lstFreq);
  // The grid outlives this body (it is a child widget); its handlers point
  // into the presenter, the result set's into the grid and this window.
  grid_->OnEnter = grid_->OnExit = grid_->OnClick = grid_->OnDblClick = nullptr;
  grid_->OnKeyDown = nullptr;
  sqlManager_.reset();
  presenter_.reset();
  sqlInfo_.reset();
}

void TfrmMain::CreateLayout() {
  auto* central = new QWidget;
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  pnlToolbar = CreateToolbar();
  column->addWidget(pnlToolbar);

  sptHorizon = new QSplitter(Qt::Vertical);
  sptHorizon->setObjectName(QStringLiteral("sptHorizon"));
  sptHorizon->setHandleWidth(kSplitterWidth);
  sptHorizon->setChildrenCollapsible(false);

  pnlOperation = new QWidget;
  pnlOperation->setObjectName(QStringLiteral("pnlOperation"));
  pnlOperation->setMinimumHeight(kOperationMinHeight);
  auto* operation = new QHBoxLayout(pnlOperation);
  operation->setContentsMargins(0, 0, 0, 0);
  sptVertical = new QSplitter(Qt::Horizontal);
  sptVertical->setObjectName(QStringLiteral("sptVertical"));
  sptVertical->setHandleWidth(kSplitterWidth);
  sptVertical->setChildrenCollapsible(false);
  pnlSql = CreateSqlPanel();
  pnlFreq = CreateFreqPanel();
  sptVertical->addWidget(pnlSql);
  sptVertical->addWidget(pnlFreq);
  sptVertical->setStretchFactor(0, 0);
  sptVertical->setStretchFactor(1, 1);
  sptVertical->setSizes({kSqlPanelWidth, kClientWidth - kSqlPanelWidth - kSplitterWidth});
  operation->addWidget(sptVertical);

  pnlGrid = new QWidget;
  pnlGrid->setObjectName(QStringLiteral("pnlGrid"));
  auto* gridLayout = new QVBoxLayout(pnlGrid);
  // At 4, 4 and 623 x 188 in the design's 632 x 197 panel, anchored on
  // every side: the panel's edges keep those distances when it is resized.
  gridLayout->setContentsMargins(4, 4, 5, 5);
  grid_ = new TSqlGrid(pnlGrid);
  grid_->setObjectName(QStringLiteral("grdResult"));
  grid_->resize(623, 188);
  gridLayout->addWidget(grid_);
  popGrid = PopupMenu(this, grid_, "popGrid");

  sptHorizon->addWidget(pnlOperation);
  sptHorizon->addWidget(pnlGrid);
  sptHorizon->setStretchFactor(0, 0);
  sptHorizon->setStretchFactor(1, 1);
  sptHorizon->setSizes({kOperationHeight, kClientHeight - kToolbarHeight - kOperationHeight});
  column->addWidget(sptHorizon, 1);

  setCentralWidget(central);
  ResizeClient();
}

// The client area (below the menu bar) at its design size, which is also
// the least: the design's 640 x 480 are this area with a desktop frame, a
// caption and the menu bar around it. The bar's height is known only once
// its menus exist, so this runs again when they do.
void TfrmMain::ResizeClient() {
  layout()->activate();
  const QSize size(kClientWidth, kClientHeight + menuBar()->height());
  setMinimumSize(size);
  resize(size);
}

QWidget* TfrmMain::CreateToolbar() {
  auto* bar = new QWidget;
  bar->setObjectName(QStringLiteral("pnlToolbar"));
  bar->setFixedHeight(kToolbarHeight);
  auto* layout = new QHBoxLayout(bar);
  layout->setContentsMargins(2, 3, 2, 3);
  layout->setSpacing(0);
  struct TButtonDef {
    const char* Name;
    const char* Caption;
    TToolIcon Icon;
    bool GapAfter;
  };
  static const TButtonDef kButtons[] = {
      {"btnConnect", "接続", TToolIcon::Connect, false},
      {"btnDisConnect", "切断", TToolIcon::DisConnect, true},
      {"btnNew", "新規", TToolIcon::New, false},
      {"btnOpen", "開く", TToolIcon::Open, false},
      {"btnSave", "保存", TToolIcon::Save, true},
      {"btnCut", "切り取り", TToolIcon::Cut, false},
      {"btnCopy", "コピー", TToolIcon::Copy, false},
      {"btnPaste", "貼り付け", TToolIcon::Paste, false},
      {"btnDelete", "削除", TToolIcon::Delete, true},
      {"btnLog", "履歴", TToolIcon::Log, false},
      {"btnDiff", "比較", TToolIcon::Diff, false},
      {"btnSort", "並べ替え", TToolIcon::Sort, false},
  };
  for (const TButtonDef& def : kButtons) {
    layout->addWidget(ToolButton(def.Name, def.Caption, def.Icon));
    if (def.GapAfter) layout->addSpacing(8);
  }
  layout->addStretch();
  return bar;
}

QWidget* TfrmMain::CreateSqlPanel() {
  auto* panel = new QWidget;
  panel->setObjectName(QStringLiteral("pnlSql"));
  panel->setMinimumWidth(kSqlPanelMinWidth);
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);

  lblSql = new QLabel(U("SQL文入力エリア(&T)"));
  lblSql->setObjectName(QStringLiteral("lblSql"));
  layout->addWidget(TitleBar(lblSql));

  edtSql = new QPlainTextEdit;
  edtSql->setObjectName(QStringLiteral("edtSql"));
  edtSql->setFont(FixedFont());
  edtSql->setLineWrapMode(QPlainTextEdit::NoWrap);
  new TSqlHighlighter(edtSql->document());
  edtSql->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  edtSql->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  edtSql->setTabChangesFocus(false);
  lblSql->setBuddy(edtSql);
  popSql = PopupMenu(this, edtSql, "popSql");
  layout->addWidget(edtSql, 1);

  auto* buttons = new QHBoxLayout;
  buttons->setContentsMargins(2, 0, 2, 2);
  btnStart = new QPushButton(U("開始(F5)"));
  btnStart->setObjectName(QStringLiteral("btnStart"));
  btnStop = new QPushButton(U("停止"));
  btnStop->setObjectName(QStringLiteral("btnStop"));
  for (QPushButton* b : {btnStart, btnStop}) {
    b->setFocusPolicy(Qt::NoFocus);
    buttons->addWidget(b);
  }
  buttons->addStretch();
  // Heading alignment: present for the grid, not offered to the user.
  struct TAlignDef {
    const char* Name;
    const char* Caption;
    void (TResultPresenter::*Set)();
  };
  static const TAlignDef kAlign[] = {
      {"btnVaTop", "Top", &TResultPresenter::VaTop},
      {"btnVaCenter", "Center", &TResultPresenter::VaCenter},
      {"btnVaBottom", "Bottom", &TResultPresenter::VaBottom},
      {"btnHaLeft", "Left", &TResultPresenter::HaLeft},
      {"btnHaCenter", "Center", &TResultPresenter::HaCenter},
      {"btnHaRight", "Right", &TResultPresenter::HaRight},
  };
  for (const TAlignDef& def : kAlign) {
    auto* b = new QPushButton(QString::fromLatin1(def.Caption));
    b->setObjectName(QString::fromLatin1(def.Name));
    b->setVisible(false);
    b->setEnabled(false);
    auto set = def.Set;
    connect(b, &QPushButton::clicked, this, [this, set] {
      if (presenter_) (presenter_.get()->*set)();
    });
    buttons->addWidget(b);
  }
  layout->addLayout(buttons);
  return panel;
}

QWidget* TfrmMain::CreateFreqPanel() {
  auto* panel = new QWidget;
  panel->setObjectName(QStringLiteral("pnlFreq"));
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);

  lblFreq = new QLabel(U("よく使うＳＱＬ文(&L)"));
  lblFreq->setObjectName(QStringLiteral("lblFreq"));
  layout->addWidget(TitleBar(lblFreq));

  auto* body = new QHBoxLayout;
  body->setContentsMargins(2, 0, 2, 2);
  body->setSpacing(2);
  auto* buttons = new QVBoxLayout;
  buttons->setSpacing(1);
  struct TButtonDef {
    const char* Name;
    TToolIcon Icon;
    const char* Caption;
  };
  static const TButtonDef kButtons[] = {
      {"btnFreqAdd", TToolIcon::FreqAdd, nullptr},   {"btnFreqGet", TToolIcon::FreqGet, nullptr},
      {"btnFreqUp", TToolIcon::FreqUp, nullptr},     {"btnFreqDown", TToolIcon::FreqDown, nullptr},
      {"btnFreqDel", TToolIcon::FreqDel, "削除"},
  };
  for (const TButtonDef& def : kButtons) {
    auto* b = new QToolButton;
    b->setObjectName(QString::fromLatin1(def.Name));
    b->setFocusPolicy(Qt::NoFocus);
    b->setAutoRaise(true);
    if (def.Caption) {
      b->setText(U(def.Caption));
      b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    } else {
      b->setIcon(MakeToolIcon(def.Icon));
      b->setIconSize(QSize(16, 16));
    }
    b->setFixedSize(36, 24);
    buttons->addWidget(b);
  }
  buttons->addStretch();
  body->addLayout(buttons);

  lstFreq = new QListWidget;
  lstFreq->setObjectName(QStringLiteral("lstFreq"));
  lstFreq->setFont(FixedFont());
  lstFreq->setSelectionMode(QAbstractItemView::SingleSelection);
  lblFreq->setBuddy(lstFreq);
  popFreq = PopupMenu(this, lstFreq, "popFreq");
  connect(lstFreq, &QListWidget::itemDoubleClicked, this, [this] {
    if (actions_) actions_->Execute(actions_->actFreqGet);
  });
  body->addWidget(lstFreq, 1);
  layout->addLayout(body, 1);
  return panel;
}

void TfrmMain::CreateStatusBar() {
  barStatus_ = new TStatusBar;
  barStatus_->setObjectName(QStringLiteral("barStatus"));
  barStatus_->setFont(WindowFont());
  const Qt::Alignment left = Qt::AlignLeft, centre = Qt::AlignHCenter;
  // The placeholder texts size their panels: the design widths, widened
  // where this desktop's font needs more. The progress panel keeps its
  // width; its band is measured against it.
  const QFontMetrics metrics(barStatus_->font());
  auto fit = [&metrics](int width, const char* placeholder) {
    return std::max(width, metrics.horizontalAdvance(U(placeholder)) + kPanelPadding);
  };
  const int status = fit(34, "状況"), columns = fit(46, "9999列"), date = fit(68, "2000/12/31"),
            start = fit(64, "始 99:99:99"), end = fit(64, "終 99:99:99"), diff = fit(64, "差 99:99:99");
  // The message panel takes what the window has beyond the others, so at
  // the design width it gives back what they had to widen.
  barStatus_->AddPanel(kMinMessagePanel, left, {});
  barStatus_->SetStretchPanel(pnMsg);
  barStatus_->AddPanel(status, centre, U("状況"));
  barStatus_->AddPanel(kProgressWidth, centre, U("99999/99999行"), true);
  barStatus_->AddPanel(columns, centre, U("9999列"));
  barStatus_->AddPanel(date, centre, U("2000/12/31"));
  barStatus_->AddPanel(start, centre, U("始 99:99:99"));
  barStatus_->AddPanel(end, centre, U("終 99:99:99"));
  barStatus_->AddPanel(diff, centre, U("差 99:99:99"));
  barStatus_->AddPanel(50, left, {});
  barStatus_->OnDrawPanel = [this](QPainter& painter, int, const QRect& rect) { DrawProgressPanel(painter, rect); };
  setStatusBar(nullptr);
  // Below the central area, full width.
  auto* holder = qobject_cast<QVBoxLayout*>(centralWidget()->layout());
  holder->addWidget(barStatus_);
  lblTransaction = new QLabel(U("未コミット"), barStatus_);
  lblTransaction->setObjectName(QStringLiteral("lblTransaction"));
  lblTransaction->setAlignment(Qt::AlignCenter);
  lblTransaction->setStyleSheet(QStringLiteral("QLabel { color: white; background: #c00000; padding: 0 4px; }"));
  lblTransaction->hide();
}

void TfrmMain::ShowUncommitted(bool on) {
  lblTransaction->setVisible(on);
  PlaceUncommitted();
}

bool TfrmMain::UncommittedShown() const { return !lblTransaction->isHidden(); }

// The indicator sits at the right end of the message panel, whose text
// keeps to the left of it.
void TfrmMain::PlaceUncommitted() {
  const QRect panel = barStatus_->PanelRect(pnMsg).adjusted(1, 1, -1, -1);
  const int width = std::min(panel.width(), lblTransaction->sizeHint().width());
  lblTransaction->setGeometry(panel.right() + 1 - width, panel.top(), width, panel.height());
  barStatus_->SetPanelReserve(pnMsg, lblTransaction->isHidden() ? 0 : width);
}

void TfrmMain::WireResultSet() {
  TSqlInfo& info = *sqlInfo_;
  presenter_->OnCurrentCell = [this](int col, int row) {
    Col = col;
    Row = row;
  };
  presenter_->OnViewCell = [this] {
    if (actions_) actions_->Execute(actions_->actViewCell);
  };
  presenter_->AfterColCount = [this] {
    barStatus_->SetPanelText(pnCols, QString::number(sqlInfo_->ColCount()) + U("列"));
    if (sqlInfo_->ColCount() < 1) barStatus_->update();
  };
  // Rows arrive far faster than the panel paints: one pending repaint is
  // enough, and it follows them once per screen frame.
  presenter_->AfterRowMax = [this] {
    FitProgressPanel();
    if (sqlInfo_->RowMax() > 0 && !progressPending_) {
      progressPending_ = true;
      QTimer::singleShot(TStringGrid::kFrameMs, barStatus_, [this] { barStatus_->update(barStatus_->PanelRect(pnProgress)); });
    }
  };
  presenter_->Install();

  info.OnDate = [this](TSqlInfo& s) {
    barStatus_->SetPanelText(pnDate, QString::fromLatin1(FormatDate(s.Date()).c_str()));
  };
  info.OnStartTime = [this](TSqlInfo& s) { barStatus_->SetPanelText(pnStart, TimePanel("始 ", s.StartTime())); };
  info.OnEndTime = [this](TSqlInfo& s) { barStatus_->SetPanelText(pnEnd, TimePanel("終 ", s.EndTime())); };
  // Fired after every fetched row: format only when the shown second changes.
  info.OnDiffTime = [this, shown = int64_t(-1)](TSqlInfo& s) mutable {
    int64_t seconds = WholeSeconds(s.DiffTime());
    if (seconds == shown) return;
    shown = seconds;
    barStatus_->SetPanelText(pnDiff, TimePanel("差 ", s.DiffTime()));
  };
  info.OnStatus = [this](TSqlInfo& s) { barStatus_->SetPanelText(pnStatus, ToQ(s.Status())); };
  info.OnRowCount = [this](TSqlInfo&) { FitProgressPanel(); };
}

// Panel 2 is as wide as its figures need, never narrower than its design
// width. Its width changes only with the number of digits, so a run's rows
// cost a comparison each, and the widest digit keeps every count of that
// length inside.
void TfrmMain::FitProgressPanel() {
  // Called for every fetched row: the lengths are counted, not printed.
  auto printedLength = [](int value) {
    int length = value < 0 ? 2 : 1;
    for (long long v = value < 0 ? -static_cast<long long>(value) : value; v >= 10; v /= 10) ++length;
    return length;
  };
  const int lengths = printedLength(sqlInfo_->RowMax()) * 32 + printedLength(sqlInfo_->RowCount());
  if (lengths == progressLengths_) return;
  progressLengths_ = lengths;
  const QString rowMax = QString::number(sqlInfo_->RowMax()), rowCount = QString::number(sqlInfo_->RowCount());
  const QFontMetrics metrics(barStatus_->font());
  QChar widest = QLatin1Char('0');
  for (char d = '1'; d <= '9'; ++d)
    if (metrics.horizontalAdvance(QLatin1Char(d)) > metrics.horizontalAdvance(widest)) widest = QLatin1Char(d);
  auto widen = [widest](QString figures) {
    for (QChar& c : figures)
      if (c.isDigit()) c = widest;
    return figures;
  };
  const QString text = widen(rowMax) + QLatin1Char('/') + widen(rowCount) + U("行");
  barStatus_->SetPanelWidth(pnProgress, std::max(kProgressWidth, metrics.horizontalAdvance(text) + kPanelPadding));
}

void TfrmMain::DrawProgressPanel(QPainter& painter, const QRect& rect) {
  progressPending_ = false;
  const int rowMax = sqlInfo_ ? sqlInfo_->RowMax() : 0;
  const int rowCount = sqlInfo_ ? sqlInfo_->RowCount() : 0;
  const QString text = QString::number(rowMax) + QLatin1Char('/') + QString::number(rowCount) + U("行");
  const int width = rect.width();
  const int height = rect.height();
  QFontMetrics metrics(barStatus_->font());
  const int tw = metrics.horizontalAdvance(text);
  const int th = metrics.height();
  painter.fillRect(rect, ToQColor(clBtnFace, palette()));
  painter.setPen(Qt::black);
  painter.setFont(barStatus_->font());
  painter.drawText(QPoint(rect.left() + (width - tw) / 2, rect.top() + (height - th) / 2 + metrics.ascent()), text);
  if (rowCount == 0) return;
  const int band = ProgressBandWidth(rowMax, rowCount, width);
  painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  painter.fillRect(QRect(rect.left(), rect.top(), band, height), Qt::white);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

// ---- State ---------------------------------------------------------------

void TfrmMain::EnableEditControls(bool enabled) {
  for (QWidget* w : {static_cast<QWidget*>(edtSql), static_cast<QWidget*>(lblSql),
                     static_cast<QWidget*>(lstFreq), static_cast<QWidget*>(lblFreq)})
    w->setEnabled(enabled);
}

void TfrmMain::SetIsConnected(bool value) {
  isConnected_ = value;
  sqlInfo_->Clear();
  SetStatusMsg({});
  EnableEditControls(value);
  edtSql->clear();
  ClearListItems(*lstFreq);
  if (value) {
    ReadFavourites(app_);
    ReadHistory(app_);
    SweepHistoryDir(app_);
  }
  FocusSql();
  if (value && lstFreq->count() > 0) lstFreq->setCurrentRow(0);
}

void TfrmMain::SetIsRunning(bool value) {
  isRunning_ = value;
  EnableEditControls(!value);
  if (value) {
    sqlInfo_->Clear();
    SetStatusMsg({});
    if (actions_) actions_->UpdateActions();
  }
}

void TfrmMain::SetIsProcessing(bool value) {
  isProcessing_ = value;
  EnableEditControls(!value);
  if (value && actions_) actions_->UpdateActions();
}

void TfrmMain::SetStatusMsg(std::string_view sjis) {
  statusMsg_ = std::string(sjis);
  const QString text = ToQ(statusMsg_);
  barStatus_->SetPanelText(pnMsg, text);
  barStatus_->repaint();
  emit StatusMsgChanged(text);
}

void TfrmMain::SetPathFile(std::string_view sjis) {
  pathFile_ = std::string(sjis);
  setWindowTitle(pathFile_.empty() ? app_.AppTitle() : app_.AppTitle() + QStringLiteral(" - ") + ToQ(pathFile_));
}

void TfrmMain::New() {
  edtSql->clear();
  edtSql->document()->setModified(false);
  sqlInfo_->Clear();
  SetPathFile({});
  app_.Platform().ProcessMessages();
}

TStrings TfrmMain::SqlLines() const { return SplitLines(FromQ(edtSql->toPlainText())); }

void TfrmMain::SetSqlLines(const TStrings& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += '\n';
    text += lines[i];
  }
  // A final empty line needs a break of its own to survive the split.
  if (!lines.empty() && lines.back().empty()) text += '\n';
  edtSql->setPlainText(ToQ(text));
}

bool TfrmMain::SqlIsEmpty() const { return edtSql->document()->isEmpty(); }

bool TfrmMain::GridCanFocus() const {
  return grid_->isVisibleTo(this) && grid_->isEnabled() && grid_->Enabled();
}

bool TfrmMain::SqlHasFocus() const { return focusWidget() == edtSql; }

void TfrmMain::FocusSql() {
  if (edtSql->isEnabled() && edtSql->isVisibleTo(this)) edtSql->setFocus();
}

// ---- Commands ------------------------------------------------------------

void TfrmMain::BindActions(TmodAction& actions) {
  actions_ = &actions;
  // The command's hint, already split into its two parts on the action.
  auto bindButton = [&actions](QAbstractButton* button, QAction* action, bool withTip) {
    if (withTip) button->setToolTip(action->toolTip());
    button->setStatusTip(action->statusTip());
    button->setEnabled(action->isEnabled());
    QObject::connect(button, &QAbstractButton::clicked, &actions, [&actions, action] { actions.Execute(action); });
    QObject::connect(action, &QAction::changed, button, [button, action] { button->setEnabled(action->isEnabled()); });
  };

  const std::pair<const char*, QAction*> toolbar[] = {
      {"btnConnect", actions.actConnect}, {"btnDisConnect", actions.actDisConnect},
      {"btnNew", actions.actNew},         {"btnOpen", actions.actOpen},
      {"btnSave", actions.actSave},       {"btnCut", actions.actCut},
      {"btnCopy", actions.actCopy},       {"btnPaste", actions.actPaste},
      {"btnDelete", actions.actDelete},   {"btnLog", actions.actLog},
      {"btnDiff", actions.actDiff},       {"btnSort", actions.actSort},
      {"btnFreqAdd", actions.actFreqAdd}, {"btnFreqGet", actions.actFreqGet},
      {"btnFreqUp", actions.actFreqUp},   {"btnFreqDown", actions.actFreqDown},
      {"btnFreqDel", actions.actFreqDel},
  };
  for (const auto& [name, action] : toolbar)
    if (auto* button = findChild<QToolButton*>(QString::fromLatin1(name))) bindButton(button, action, true);
  bindButton(btnStart, actions.actStart, false);
  bindButton(btnStop, actions.actStop, false);

  auto fill = [](QMenu* menu, std::initializer_list<QAction*> entries) {
    for (QAction* a : entries) {
      if (a)
        menu->addAction(a);
      else
        menu->addSeparator();
    }
  };
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("mnuMain"));
  bar->clear();
  auto menu = [bar](const char* name, const char* caption) {
    QMenu* m = bar->addMenu(U(caption));
    m->setObjectName(QString::fromLatin1(name));
    return m;
  };
  TmodAction& a = actions;
  fill(menu("mnuFile", "ファイル(&F)"), {a.actConnect, a.actDisConnect, nullptr, a.actNew, a.actOpen, a.actSave,
                                         a.actSaveAs, nullptr, a.actImport, a.actExport, nullptr, a.actExit});
  fill(menu("mnuEdit", "編集(&E)"), {a.actUndo, nullptr, a.actCut, a.actCopy, a.actPaste, a.actDelete,
                                     a.actSelectAll, nullptr, a.actFind, a.actFindNext, a.actFindPrev,
                                     a.actReplace, nullptr, a.actFixedRowCopy, a.actCellCopy, a.actWhereCopy,
                                     a.actTableCopy, a.actInCopy});
  fill(menu("mnuView", "表示(&V)"), {a.actViewGrid, a.actViewCell, a.actRecordView, nullptr, a.actTableList});
  fill(menu("mnuRun", "実行(&R)"), {a.actStart, a.actStop, nullptr, a.actRunCaret, a.actRunScript, nullptr,
                                   a.actAutoCommit, a.actCommit, a.actRollback});
  fill(menu("mnuFreq", "よく使うＳＱＬ(&Y)"),
       {a.actFreqAdd, a.actFreqGet, a.actFreqDel, nullptr, a.actFreqUp, a.actFreqDown});
  fill(menu("mnuOther", "その他(&O)"), {a.actLog, a.actDiff, a.actSort, nullptr, a.actOption});
  fill(menu("mnuHelp", "ヘルプ(&H)"), {a.actOpenHelp, a.actAbout});
  ResizeClient();

  fill(popSql, {a.actUndo, nullptr, a.actCut, a.actCopy, a.actPaste, a.actDelete, a.actSelectAll});
  fill(popFreq, {a.actFreqAdd, a.actFreqGet, a.actFreqDel, nullptr, a.actFreqUp, a.actFreqDown});
  fill(popGrid, {a.actViewCell, a.actRecordView, nullptr, a.actFixedRowCopy, a.actCellCopy, a.actWhereCopy, a.actTableCopy,
                 a.actInCopy});
  // Enable states are current before a context menu opens.
  for (QMenu* m : findChildren<QMenu*>())
    connect(m, &QMenu::aboutToShow, &actions, [&actions] { actions.UpdateActions(); });
}

void TfrmMain::SetGridOnly(bool on) {
  if (on) {
    pnlToolbar->hide();
    pnlSql->hide();
    pnlFreq->hide();
    pnlOperation->hide();
    if (QSplitterHandle* handle = sptHorizon->handle(1)) handle->setEnabled(false);
    if (GridCanFocus()) grid_->setFocus();
  } else {
    pnlOperation->show();
    if (QSplitterHandle* handle = sptHorizon->handle(1)) handle->setEnabled(true);
    update();
    pnlSql->show();
    pnlFreq->show();
    pnlToolbar->show();
  }
}

// ---- Events --------------------------------------------------------------

void TfrmMain::ShowHint(const QString& longHint) { barStatus_->SetPanelText(pnMsg, longHint); }

bool TfrmMain::event(QEvent* e) {
  if (e->type() == QEvent::StatusTip) {
    ShowHint(static_cast<QStatusTipEvent*>(e)->tip());
    return true;
  }
  return QMainWindow::event(e);
}

bool TfrmMain::HandleKey(QObject* receiver, QKeyEvent* key) {
  // Alt+G, exactly: the grid takes the focus when it can.
  Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
  if (key->key() == Qt::Key_G && mods == Qt::AltModifier) {
    if (!GridCanFocus()) return false;
    if (key->type() == QEvent::KeyPress) grid_->setFocus(Qt::ShortcutFocusReason);
    return true;
  }
  // Enter in the favourites list recalls the statement and goes no further.
  if (receiver == lstFreq && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
      mods == Qt::NoModifier) {
    if (key->type() == QEvent::KeyPress && actions_) actions_->Execute(actions_->actFreqGet);
    return true;
  }
  // The list would copy its current item to the clipboard by itself; only
  // the edit commands touch the clipboard.
  if (receiver == lstFreq && key->matches(QKeySequence::Copy)) return true;
  if (!actions_) return false;
  bool enabled = false;
  QKeySequence sequence(QKeyCombination(mods, static_cast<Qt::Key>(key->key())));
  QAction* command = actions_->ShortcutCommand(sequence, enabled);
  if (!command || !enabled) return false;
  if (key->type() == QEvent::KeyPress) actions_->Execute(command);
  return true;
}

// Key preview: only keys on their way to this window's focused control.
bool TfrmMain::IsPreviewed(QObject* receiver) const {
  auto* widget = qobject_cast<QWidget*>(receiver);
  if (!widget || widget->window() != this || !isVisible()) return false;
  QWidget* target = QApplication::focusWidget();
  return target ? widget == target : widget == this;
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* e) {
  if (watched == barStatus_ && e->type() == QEvent::Resize) PlaceUncommitted();
  switch (e->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress: {
      auto* key = static_cast<QKeyEvent*>(e);
      if (IsPreviewed(watched) && HandleKey(watched, key)) {
        // An accepted override turns the key into a key press we then take.
        e->accept();
        return true;
      }
      // What no command or mnemonic took is not typed either, in this
      // window or any dialog.
      if (e->type() == QEvent::KeyPress && TypesWithModifier(*key) && TakesTypedText(watched)) return true;
      break;
    }
    case QEvent::FocusIn:
      if (watched == edtSql) {
        SetBold(lblSql, true);
      } else if (watched == lstFreq) {
        SetBold(lblFreq, true);
        if (lstFreq->count() > 0 && lstFreq->selectedItems().isEmpty()) lstFreq->setCurrentRow(0);
      }
      break;
    case QEvent::FocusOut:
      if (watched == edtSql) SetBold(lblSql, false);
      if (watched == lstFreq) SetBold(lblFreq, false);
      break;
    default:
      break;
  }
  return QMainWindow::eventFilter(watched, e);
}

void TfrmMain::closeEvent(QCloseEvent* e) {
  // A query whose stop was already asked for is still fetching its last row
  // (the running flag is down, the query flag is not): it too must finish
  // before the disconnect saves the favourites and the history.
  if (isRunning_ || IsSelect) {
    // Stop the run as the stop command does; the run driver closes the
    // window once it has finished, so the favourites and history are saved.
    closePending_ = true;
    SetIsRunning(false);
    e->ignore();
    return;
  }
  // Busy work that lets messages through (a logon, the catalogue's
  // reading) is using the connection: its busy handler gives it up once a
  // close is pending, and the close follows the end of the busy state.
  if (isProcessing_) {
    closePending_ = true;
    e->ignore();
    return;
  }
  closePending_ = false;
  // Uncommitted changes are settled first; キャンセル keeps the window.
  if (isConnected_ && actions_ && !SettleTransaction(app_, !SessionEnding)) {
    e->ignore();
    return;
  }
  if (isConnected_ && actions_) actions_->Execute(actions_->actDisConnect);
  closed_ = true;
  e->accept();
  emit Closed();
}
