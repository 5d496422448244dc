#include "views/DiffDialog.h"

#include <QAction>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <exception>
#include <new>

#include "views/QtText.h"
#include "core/Sjis.h"
#include "storage/ResultFile.h"
#include "views/ResultHost.h"
#include "views/SqlGrid.h"

namespace {

constexpr int kColCountColumn = 7;  // 列数

// The three step labels at the top of a page, the current one enabled.
QHBoxLayout* StepLabels(QWidget* page, int current) {
  static const char* kSteps[] = {"ステップ１", "ステップ２", "ステップ３"};
  auto* row = new QHBoxLayout;
  for (int i = 0; i < 3; ++i) {
    auto* label = new QLabel(U(kSteps[i]), page);
    label->setObjectName(QStringLiteral("lblStep%1").arg(i + 1));
    label->setEnabled(i == current);
    row->addWidget(label);
  }
  row->addStretch();
  return row;
}

// An empty history list: two rows, two columns, disabled.
void EmptyHistory(TSqlGrid& list) {
  list.SetEnabled(false);
  list.SetRowCount(2);
  list.SetColCount(2);
  list.Refresh();
}

bool CanFocus(const QWidget& w, const QWidget& dialog) { return w.isVisibleTo(&dialog) && w.isEnabled(); }

}  // namespace

TfrmDiff::TfrmDiff(TResultHost& host, QWidget* parent) : QDialog(parent), host_(host) {
  setObjectName(QStringLiteral("frmDiff"));
  setWindowTitle(U("比較"));
  resize(620, 440);
  setMinimumSize(620, 440);
  setSizeGripEnabled(true);
  FileDialog = {U("実行結果を指定"),
                {U("CSV ファイル (*.CSV *.csv)"), U("XML ファイル (*.XML *.xml)"), U("すべてのファイル (*)")},
                1,
                QStringLiteral("CSV"),
                {},
                false};

  actPrev = DialogAction(this, "actPrev", kButtonCategory, "戻る(&P)", "戻る|前の画面へ戻ります");
  actNext = DialogAction(this, "actNext", kButtonCategory, "次へ(&N)", "次へ|次の画面へ移ります");
  actOk = DialogAction(this, "actOk", kButtonCategory, "OK", nullptr);
  actCancel = DialogAction(this, "actCancel", kButtonCategory, "ｷｬﾝｾﾙ", nullptr);
  connect(actPrev, &QAction::triggered, this, [this] { Prev(); });
  connect(actNext, &QAction::triggered, this, [this] { Next(); });
  connect(actOk, &QAction::triggered, this, [this] { Compare(); });
  connect(actCancel, &QAction::triggered, this, [this] { reject(); });

  pagDiff = new QStackedWidget(this);
  pagDiff->setObjectName(QStringLiteral("pagDiff"));
  sourceSide_.Info = &source_;
  sourceSide_.Table = &sourceTable_;
  targetSide_.Info = &target_;
  targetSide_.Table = &targetTable_;
  tabDiff0 = CreatePage(0, "比較元を指定して下さい。", sourceSide_, "Source");
  tabDiff1 = CreatePage(1, "比較先を指定して下さい。", targetSide_, "Target");
  tabDiff2 = CreateKeyPage();
  lblDiff0 = tabDiff0->findChild<QLabel*>(QStringLiteral("lblDiff0"));
  lblDiff1 = tabDiff1->findChild<QLabel*>(QStringLiteral("lblDiff1"));
  rdoSourceIsFile = sourceSide_.IsFile;
  rdoSourceIsLog = sourceSide_.IsLog;
  edtSourceIsFile = sourceSide_.Edit;
  btnSourceIsFile = sourceSide_.Browse;
  grdSourceIsLog = sourceSide_.List;
  rdoTargetIsFile = targetSide_.IsFile;
  rdoTargetIsLog = targetSide_.IsLog;
  edtTargetIsFile = targetSide_.Edit;
  btnTargetIsFile = targetSide_.Browse;
  grdTargetIsLog = targetSide_.List;

  btnPrev = DialogButton(this, "btnPrev", *actPrev);
  btnNext = DialogButton(this, "btnNext", *actNext);
  btnOk = DialogButton(this, "btnOk", *actOk);
  btnCancel = DialogButton(this, "btnCancel", *actCancel);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  for (QPushButton* b : {btnPrev, btnNext, btnOk, btnCancel}) buttons->addWidget(b);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pagDiff, 1);
  layout->addLayout(buttons);
  UpdateActions();
}

TfrmDiff::~TfrmDiff() = default;

QWidget* TfrmDiff::CreatePage(int page, const char* caption, TSide& side, const char* sideName) {
  const QString name = QString::fromLatin1(sideName);
  auto* tab = new QWidget;
  tab->setObjectName(QStringLiteral("tabDiff%1").arg(page));
  auto* label = new QLabel(U(caption), tab);
  label->setObjectName(QStringLiteral("lblDiff%1").arg(page));
  side.IsFile = new QRadioButton(U("ファイルを指定する(&F)"), tab);
  side.IsFile->setObjectName(QStringLiteral("rdo%1IsFile").arg(name));
  side.IsLog = new QRadioButton(U("履歴一覧から指定する(&H)"), tab);
  side.IsLog->setObjectName(QStringLiteral("rdo%1IsLog").arg(name));
  side.Edit = new QLineEdit(tab);
  side.Edit->setObjectName(QStringLiteral("edt%1IsFile").arg(name));
  side.Browse = new QPushButton(U("参照(&R)..."), tab);
  side.Browse->setObjectName(QStringLiteral("btn%1IsFile").arg(name));
  side.List = new TSqlGrid(tab);
  side.List->setObjectName(QStringLiteral("grd%1IsLog").arg(name));
  side.List->SetRangeSelect(false);
  side.List->SetEmptyText(LogEmptyText());
  EmptyHistory(*side.List);
  side.List->setMinimumSize(576, 258);
  // Hidden while the file option is chosen, the list keeps its place: the
  // page's controls stand where they do with the history option.
  QSizePolicy policy = side.List->sizePolicy();
  policy.setRetainSizeWhenHidden(true);
  side.List->setSizePolicy(policy);
  side.List->OnDblClick = [this] {
    if (actNext->isEnabled()) actNext->trigger();
  };

  const TSide* s = &side;
  connect(side.IsFile, &QRadioButton::toggled, this, [this, s] { SideClick(*s); });
  connect(side.Browse, &QPushButton::clicked, this, [this, s] { Browse(*s); });

  auto* file = new QHBoxLayout;
  file->addSpacing(20);
  file->addWidget(side.Edit, 1);
  file->addWidget(side.Browse);
  auto* layout = new QVBoxLayout(tab);
  layout->addLayout(StepLabels(tab, page));
  layout->addWidget(label);
  layout->addWidget(side.IsFile);
  layout->addLayout(file);
  layout->addWidget(side.IsLog);
  layout->addWidget(side.List, 1);
  pagDiff->addWidget(tab);
  return tab;
}

QWidget* TfrmDiff::CreateKeyPage() {
  auto* tab = new QWidget;
  tab->setObjectName(QStringLiteral("tabDiff2"));
  lblDiff2 = new QLabel(U("比較するためのキーを指定して下さい。"), tab);
  lblDiff2->setObjectName(QStringLiteral("lblDiff2"));
  keys = new TKeyLists(tab, U("比較に使用するキー(&K)"));
  auto* layout = new QVBoxLayout(tab);
  layout->addLayout(StepLabels(tab, 2));
  layout->addWidget(lblDiff2);
  layout->addLayout(keys->Layout(), 1);
  pagDiff->addWidget(tab);
  return tab;
}

int TfrmDiff::Page() const { return pagDiff->currentIndex(); }

void TfrmDiff::UpdateActions() {
  const int page = Page();
  actPrev->setEnabled(page == 1 || page == 2);
  actNext->setEnabled(page == 0 || page == 1);
  actOk->setEnabled(page == 2);
  btnNext->setDefault(actNext->isEnabled());
  btnOk->setDefault(actOk->isEnabled());
}

void TfrmDiff::Prepare() {
  error_.clear();
  for (TSide* side : {&sourceSide_, &targetSide_}) {
    side->IsFile->setChecked(true);
    SideClick(*side);
    side->Edit->clear();
  }
  keys->lstCols->clear();
  keys->lstKeys->clear();
  keys->UpdateActions();
  EnterPage0();
}

void TfrmDiff::SideClick(const TSide& side) {
  const bool file = side.IsFile->isChecked();
  side.Edit->setEnabled(file);
  side.Browse->setEnabled(file);
  side.List->setVisible(!file);
}

void TfrmDiff::Browse(const TSide& side) {
  QString fileName;
  if (!host_.OpenFileDialog(FileDialog, fileName)) return;
  side.Edit->setText(fileName);
  // The settings keep the folder in Shift_JIS; one it cannot name is not taken.
  const QString folder = QFileInfo(fileName).absolutePath();
  if (FitsSjis(folder)) FileDialog.InitialDir = folder;
}

void TfrmDiff::Focus(const TSide& side) {
  if (CanFocus(*side.List, *this))
    side.List->setFocus();
  else if (CanFocus(*side.Edit, *this))
    side.Edit->setFocus();
}

void TfrmDiff::EnterPage0() {
  pagDiff->setCurrentIndex(0);
  FillHistory(*grdSourceIsLog);
  Focus(sourceSide_);
  UpdateActions();
}

void TfrmDiff::EnterPage1() {
  pagDiff->setCurrentIndex(1);
  // The same runs as the source list, row for row.
  std::vector<const TSqlInfo*> runs;
  if (grdSourceIsLog->Enabled())
    for (int r = 1; r < grdSourceIsLog->RowCount(); ++r)
      runs.push_back(static_cast<const TSqlInfo*>(grdSourceIsLog->Objects(0, r)));
  ShowRuns(*grdTargetIsLog, runs);
  Focus(targetSide_);
  UpdateActions();
}

void TfrmDiff::EnterPage2() {
  pagDiff->setCurrentIndex(2);
  keys->Fill(source_);
  UpdateActions();
}

void TfrmDiff::FillHistory(TSqlGrid& list) {
  const TfrmLog& history = host_.History();
  const int count = history.RunCount();
  // Only the runs that the history keeps.
  const int maxLog = host_.MaxLog();
  std::vector<const TSqlInfo*> runs;
  for (int i = maxLog < count ? count - maxLog + 1 : 1; i <= count; ++i) runs.push_back(history.RunAt(i));
  ShowRuns(list, runs);
}

void TfrmDiff::ShowRuns(TSqlGrid& list, const std::vector<const TSqlInfo*>& runs) {
  if (runs.empty()) {
    EmptyHistory(list);
    return;
  }
  LayOutRunTable(list);
  list.SetRowCount(static_cast<int>(runs.size()) + 1);
  for (int r = 1; r <= static_cast<int>(runs.size()); ++r) {
    const TSqlInfo* run = runs[static_cast<size_t>(r - 1)];
    FillRunRow(list, r, *run);
    // The history list keeps the run; this table only points at it.
    list.SetObjects(0, r, const_cast<TSqlInfo*>(run));
  }
  list.FocusCell(1, 1, true);
}

void TfrmDiff::ShowError(const char* utf8) { host_.ErrorBox(host_.Title(), U(utf8)); }

bool TfrmDiff::Load(const TSide& side) {
  if (side.IsFile->isChecked()) {
    const QString fileName = side.Edit->text();
    // Something that is there but is no regular file (a folder, a FIFO, a
    // device) is refused by the read, with the read's message.
    if (fileName.isEmpty() || !QFileInfo::exists(fileName)) {
      ShowError("ファイルが存在しません。");
      return false;
    }
    if (!OpenResultFile(*side.Info, fileName.toStdString())) {
      ShowError("実行結果ファイル読込み時にエラーが発生しました。");
      return false;
    }
    return true;
  }
  TSqlGrid& list = *side.List;
  if (!list.Enabled()) {
    ShowError("履歴が０件なので比較出来ません。");
    return false;
  }
  const int col = list.Col(), row = list.Row();
  const auto* run = static_cast<const TSqlInfo*>(list.Objects(0, row));
  if (col < 1 || row < 1 || col >= list.ColCount() || row >= list.RowCount() || !run) {
    ShowError("履歴の範囲外です。");
    return false;
  }
  if (list.CellView(kColCountColumn, row) == "0") {
    ShowError("列数が０のデータは比較出来ません。");
    return false;
  }
  // The rows of an earlier load must not show through a shorter record.
  side.Table->Reset();
  run->CopyTo(*side.Info);
  if (!LoadHistoryCsv(*side.Info, host_.LogDir())) {
    ShowError("履歴情報取得時にエラーが発生しました。");
    return false;
  }
  return true;
}

bool TfrmDiff::LoadSource() {
  host_.BeginBusy();
  source_.Clear();
  const bool ok = Load(sourceSide_);
  host_.EndBusy();
  return ok;
}

bool TfrmDiff::LoadTarget() {
  host_.BeginBusy();
  bool ok = Load(targetSide_);
  if (ok) {
    ok = target_.ColCount() == source_.ColCount();
    for (int i = 0; ok && i < source_.ColCount(); ++i) ok = target_.ColName(i) == source_.ColName(i);
    if (!ok) ShowError("列情報が異なるもの同士は比較できません。");
  }
  host_.EndBusy();
  return ok;
}

void TfrmDiff::Next() {
  if (Page() == 0) {
    if (LoadSource()) EnterPage1();
  } else if (Page() == 1) {
    if (LoadTarget()) EnterPage2();
  }
}

void TfrmDiff::Prev() {
  if (Page() == 2)
    EnterPage1();
  else if (Page() == 1)
    EnterPage0();
}

void TfrmDiff::Compare() {
  if (Page() != 2) return;
  error_.clear();
  host_.NewMain();
  host_.BeginBusy();
  try {
    CompareSteps();
  } catch (const std::bad_alloc&) {
    error_ = U("メモリが不足しています。");
  } catch (const std::exception& e) {
    error_ = QString::fromLocal8Bit(e.what());
  }
  host_.FocusMainGrid();
  host_.EndBusy();
  done(QDialog::Accepted);
}

void TfrmDiff::CompareSteps() {
  TSqlInfo& main = host_.MainResult();
  const TKeyList keyList = keys->Keys();
  hide();
  host_.RefreshMain();
  host_.ProcessMessages();
  host_.SetStatusMsg(SJ("実行結果を比較中..."));

  const int n = source_.ColCount();
  const int sourceRows = source_.RowPos(), targetRows = target_.RowPos();
  main.BeginTiming();
  main.SetColCount(n + 1);
  main.SetStatus(SJ("比較"));
  main.SetRowCount(3 * sourceRows + 3 * targetRows);
  SortRows(sourceTable_, 1, sourceRows, keyList);
  SortRows(targetTable_, 1, targetRows, keyList);

  main.SetColName(0, SJ("比較"));
  main.DefineColumn(0, otUnknown, 0, 0, 0);
  main.SetColAlign(0, caCenter);
  for (int k = 1; k <= n; ++k) {
    main.SetColName(k, source_.ColName(k - 1));
    const TSqlInfo& typed = source_.ColTypeCode(k - 1) != 0 ? source_ : target_;
    const int i = k - 1;
    if (typed.ColTypeCode(i) != 0)
      main.DefineColumn(k, typed.ColTypeCode(i), typed.ColSize(i), typed.ColPrecision(i), typed.ColScale(i));
    else
      main.DefineColumn(k, otUnknown, 0, 0, 0);
  }

  // A new row is empty already: only texts are written into it.
  auto addRow = [&main](const std::string& label) {
    main.AddRow();
    main.SetRowPos(main.RowPos() + 1);
    main.SetCell(1, main.RowPos(), label);
    return main.RowPos();
  };
  auto copyRow = [&main, n](const TCellTable& from, int fromRow, int row) {
    for (int k = 1; k <= n; ++k) main.SetCell(k + 1, row, from.Text(k, fromRow));
  };
  const std::string fromLabel = SJ("比較元"), toLabel = SJ("比較先"), updated = SJ("－－更新－－"),
                    deleted = SJ("□□削除□□"), added = SJ("■■追加■■"), arrow = SJ("↑");
  TMessagePump pump(host_);
  int i = sourceRows > 0 ? 1 : -1;
  int j = targetRows > 0 ? 1 : -1;
  while (i > 0 || j > 0) {
    const int cmp = CompareRows(sourceTable_, i, targetTable_, j, keyList);
    main.AltRow = false;
    int row = addRow(fromLabel);
    if (cmp <= 0) copyRow(sourceTable_, i, row);
    main.AltRow = false;
    row = addRow(toLabel);
    if (cmp >= 0) copyRow(targetTable_, j, row);
    main.AltRow = true;
    if (cmp == 0) {
      main.SetRowCount(main.RowCount() - 3);
      row = addRow(updated);
      bool differs = false;
      for (int k = 1; k <= n; ++k) {
        if (sourceTable_.Text(k, i) == targetTable_.Text(k, j)) continue;
        main.SetCell(k + 1, row, arrow);
        differs = true;
      }
      if (!differs) main.SetCell(1, row, {});
      ++i;
      ++j;
    } else if (cmp < 0) {
      addRow(deleted);
      ++i;
    } else {
      addRow(added);
      ++j;
    }
    if (i > sourceRows) i = -1;
    if (j > targetRows) j = -1;
    main.UpdateTiming();
    pump.Tick();
  }
  main.EndTiming();
  host_.SetStatusMsg(SJ("実行結果を比較しました"));
}
