#include "views/LogDialog.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <charconv>
#include <exception>

#include "core/DateTime.h"
#include "core/Sjis.h"
#include "storage/ResultFile.h"
#include "views/SqlGrid.h"

namespace {

constexpr int kRunColumns = 10;
constexpr uint32_t kDropColor = 0x0000FF;

struct TRunColumn {
  const char* Header;  // UTF-8
  uint8_t Align;
  int Width;
};

const TRunColumn kColumns[kRunColumns] = {
    {"", caNone, 50},        {"日付", caCenter, 68},  {"開始", caCenter, 58},   {"終了", caCenter, 58},
    {"差", caCenter, 58},    {"取得行", caRight, 50}, {"合計行", caRight, 50},  {"列数", caRight, 36},
    {"状況", caCenter, 36},  {"　ＳＱＬ文", caLeft, 500},
};

std::string Decimal(int value) {
  char buf[16];
  auto res = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, static_cast<size_t>(res.ptr - buf));
}

// Column 0 of a run row: its text, alignment and colour.
void SetRowMark(TSqlGrid& grid, int row, std::string_view text, uint8_t align, uint32_t color) {
  grid.SetCells(0, row, text);
  if (TCellAttr* a = grid.CellAttr(0, row)) {
    a->HAlign = align;
    a->FontColor = color;
  }
}

// Disables the dialog's controls for the time of a restore and gives each its
// own enabled state back afterwards, also when the restore failed.
class TDialogLock {
 public:
  TDialogLock(QDialog& dialog, std::initializer_list<QWidget*> controls) : dialog_(dialog) {
    for (QWidget* w : controls) {
      states_.push_back({w, w->isEnabled()});
      w->setEnabled(false);
    }
    dialog_.setEnabled(false);
    hadCursor_ = dialog_.testAttribute(Qt::WA_SetCursor);
    cursor_ = dialog_.cursor();
    dialog_.setCursor(Qt::WaitCursor);
  }
  ~TDialogLock() {
    for (const auto& [w, enabled] : states_) w->setEnabled(enabled);
    dialog_.setEnabled(true);
    if (hadCursor_) dialog_.setCursor(cursor_);
    else dialog_.unsetCursor();
  }
  TDialogLock(const TDialogLock&) = delete;
  TDialogLock& operator=(const TDialogLock&) = delete;

 private:
  QDialog& dialog_;
  std::vector<std::pair<QWidget*, bool>> states_;
  bool hadCursor_ = false;
  QCursor cursor_;
};

class TBusyScope {
 public:
  explicit TBusyScope(TLogHost& host) : host_(host) { host_.BeginBusy(); }
  ~TBusyScope() { host_.EndBusy(); }
  TBusyScope(const TBusyScope&) = delete;
  TBusyScope& operator=(const TBusyScope&) = delete;

 private:
  TLogHost& host_;
};

}  // namespace

std::string LogEmptyText() { return SJ("履　歴　が　存　在　し　ま　せ　ん"); }

void LayOutRunTable(TSqlGrid& grid) {
  grid.SetColCount(kRunColumns);
  grid.SetRowCount(2);
  if (TCellAttr* a = grid.FixedRowAttr(0)) a->HAlign = caCenter;
  for (int c = 0; c < kRunColumns; ++c) {
    grid.SetCells(c, 0, SJ(kColumns[c].Header));
    grid.SetColWidths(c, kColumns[c].Width);
    if (TCellAttr* a = grid.ColAttr(c)) a->HAlign = kColumns[c].Align;
  }
  // The SQL heading starts where its texts do.
  if (TCellAttr* a = grid.CellAttr(kRunColumns - 1, 0)) a->HAlign = caLeft;
  grid.SetEnabled(true);
  grid.Refresh();
}

void FillRunRow(TSqlGrid& grid, int row, const TSqlInfo& run) {
  SetRowMark(grid, row, Decimal(row), caRight, clBlack);
  grid.SetCells(1, row, FormatDate(run.Date()));
  grid.SetCells(2, row, FormatTime(run.StartTime()));
  grid.SetCells(3, row, FormatTime(run.EndTime()));
  grid.SetCells(4, row, FormatTime(run.DiffTime()));
  grid.SetCells(5, row, Decimal(run.RowPos()));
  grid.SetCells(6, row, Decimal(run.RowCount()));
  grid.SetCells(7, row, Decimal(run.ColCount()));
  grid.SetCells(8, row, run.Status());
  grid.SetCells(9, row, run.Sql.empty() ? std::string() : run.Sql.front());
}

TfrmLog::TfrmLog(QWidget* parent, std::unique_ptr<TLogHost> host) : QDialog(parent), host_(std::move(host)) {
  setObjectName(QStringLiteral("frmLog"));
  setWindowTitle(QString::fromUtf8("履歴"));
  if (parent) setFont(parent->font());
  setSizeGripEnabled(true);

  grdLog = new TSqlGrid;
  grdLog->setObjectName(QStringLiteral("grdLog"));
  grdLog->SetRangeSelect(false);
  grdLog->SetEmptyText(LogEmptyText());
  grdLog->setMinimumSize(200, 100);
  grdLog->resize(597, 358);
  grdLog->OnDblClick = [this] { Restore(); };

  rdoOption = new QGroupBox(QString::fromUtf8("取得オプション(&O)"));
  rdoOption->setObjectName(QStringLiteral("rdoOption"));
  rdoSqlOnly = new QRadioButton(QString::fromUtf8("ＳＱＬ文のみ"));
  rdoSqlOnly->setObjectName(QStringLiteral("rdoSqlOnly"));
  rdoWithResult = new QRadioButton(QString::fromUtf8("実行結果も含む"));
  rdoWithResult->setObjectName(QStringLiteral("rdoWithResult"));
  rdoWithResult->setChecked(true);
  auto* options = new QHBoxLayout(rdoOption);
  options->addWidget(rdoSqlOnly);
  options->addWidget(rdoWithResult);

  btnOk = new QPushButton(QStringLiteral("OK"));
  btnOk->setObjectName(QStringLiteral("btnOk"));
  btnOk->setDefault(true);
  btnCancel = new QPushButton(QString::fromUtf8("ｷｬﾝｾﾙ"));
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  connect(btnOk, &QPushButton::clicked, this, [this] { Restore(); });
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(rdoOption);
  bottom->addStretch();
  bottom->addWidget(btnOk, 0, Qt::AlignBottom);
  bottom->addWidget(btnCancel, 0, Qt::AlignBottom);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->addWidget(grdLog, 1);
  layout->addLayout(bottom);
  setTabOrder(grdLog, rdoSqlOnly);
  setTabOrder(rdoSqlOnly, rdoWithResult);
  setTabOrder(rdoWithResult, btnOk);
  setTabOrder(btnOk, btnCancel);

  setMinimumSize(600, 400);
  resize(620, 440);
  ClearRuns();
}

TfrmLog::~TfrmLog() {
  // The grid is a child and goes after this body; its handler points here.
  grdLog->OnDblClick = nullptr;
}

void TfrmLog::EnableList(bool on) {
  grdLog->SetEnabled(on);
  btnOk->setEnabled(on);
  rdoOption->setEnabled(on);
}

void TfrmLog::ClearRuns() {
  runs_.clear();
  TSqlGrid& g = *grdLog;
  g.SetRowCount(2);
  g.SetColCount(2);
  for (int c = 0; c < 2; ++c) {
    for (int r = 0; r < 2; ++r) {
      g.SetCells(c, r, {});
      g.SetObjects(c, r, nullptr);
    }
  }
  EnableList(false);
  g.Refresh();
}

void TfrmLog::AddRun(const TSqlInfo& run) {
  auto copy = std::make_unique<TSqlInfo>();
  run.CopyTo(*copy);
  // The copy holds no rows: whoever brings it back starts from an empty grid.
  copy->SetRowMax(0);
  TSqlGrid& g = *grdLog;
  const int row = RunCount() + 1;
  if (row == 1) {
    LayOutRunTable(g);
    EnableList(true);
  } else {
    g.SetRowCount(row + 1);
  }
  FillRunRow(g, row, *copy);
  g.SetObjects(0, row, copy.get());
  runs_.push_back(std::move(copy));
}

const TSqlInfo* TfrmLog::RunAt(int index) const {
  return index >= 1 && index <= RunCount() ? runs_[static_cast<size_t>(index - 1)].get() : nullptr;
}

void TfrmLog::PrepareOpen() {
  const int count = RunCount();
  if (count > 0) {
    const int maxLog = host_->MaxLog();
    const int drop = maxLog < count ? count - maxLog : 0;
    const std::string mark = SJ("削除");
    for (int r = 1; r <= count; ++r) {
      if (r <= drop) SetRowMark(*grdLog, r, mark, caCenter, kDropColor);
      else SetRowMark(*grdLog, r, Decimal(r - drop), caRight, clBlack);
    }
    grdLog->Refresh();
  }
  if (grdLog->Enabled()) grdLog->setFocus();
}

void TfrmLog::Restore() {
  TBusyScope busy(*host_);
  const int r = grdLog->Row();
  auto* run = grdLog->Enabled() && r >= 1 && r <= RunCount() ? static_cast<TSqlInfo*>(grdLog->Objects(0, r))
                                                               : nullptr;
  if (!run) return;
  host_->NewMain();
  host_->SetStatusMsg(SJ("履歴情報を取得中..."));
  {
    TDialogLock lock(*this, {rdoOption, btnOk, btnCancel});
    hide();
    host_->RefreshMain();
    TSqlInfo& main = host_->MainResult();
    run->CopyTo(main);
    main.SetRowMax(0);
    host_->SetSqlLines(main.Sql);
    if (rdoSqlOnly->isChecked()) {
      main.Clear();
    } else if (main.ColCount() >= 1) {
      // A run whose file is gone comes back with its columns only.
      try {
        LoadHistoryCsv(main, host_->LogDir());
      } catch (const std::exception&) {
      }
    }
    host_->SetStatusMsg(SJ("履歴情報を取得しました"));
    host_->RefreshMain();
    done(QDialog::Accepted);
    host_->FocusMainGrid();
  }
}
