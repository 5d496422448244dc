#include "views/SortDialog.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <exception>
#include <new>

#include "views/QtText.h"
#include "core/Sjis.h"
#include "views/ResultHost.h"
#include "views/SqlGrid.h"

TfrmSort::TfrmSort(TResultHost& host, QWidget* parent) : QDialog(parent), host_(host) {
  setObjectName(QStringLiteral("frmSort"));
  setWindowTitle(U("並べ替え"));
  resize(620, 440);
  setMinimumSize(620, 440);
  setSizeGripEnabled(true);

  lblSort = new QLabel(U("並べ替えに使用するキーを指定して下さい。"), this);
  lblSort->setObjectName(QStringLiteral("lblSort"));
  keys = new TKeyLists(this, U("並べ替えに使用するキー(&K)"));
  keys->OnChanged = [this] { UpdateActions(); };
  actOk = DialogAction(this, "actOk", kButtonCategory, "OK", nullptr);
  actCancel = DialogAction(this, "actCancel", kButtonCategory, "ｷｬﾝｾﾙ", nullptr);
  connect(actOk, &QAction::triggered, this, [this] { Sort(); });
  connect(actCancel, &QAction::triggered, this, [this] { reject(); });
  btnOk = DialogButton(this, "btnOk", *actOk);
  btnOk->setDefault(true);
  btnCancel = DialogButton(this, "btnCancel", *actCancel);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnOk);
  buttons->addWidget(btnCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblSort);
  layout->addLayout(keys->Layout(), 1);
  layout->addLayout(buttons);
  UpdateActions();
}

TfrmSort::~TfrmSort() = default;

void TfrmSort::Prepare() {
  error_.clear();
  keys->Fill(host_.MainResult());
}

void TfrmSort::UpdateActions() { actOk->setEnabled(keys->KeyCount() > 0); }

void TfrmSort::Sort() {
  if (keys->KeyCount() == 0) return;
  error_.clear();
  host_.BeginBusy();
  // Whatever happens, the busy state ends and the dialog closes; a failure
  // leaves the main result as far as it was rebuilt.
  try {
    SortSteps();
  } catch (const std::bad_alloc&) {
    error_ = U("メモリが不足しています。");
  } catch (const std::exception& e) {
    error_ = QString::fromLocal8Bit(e.what());
  }
  host_.EndBusy();
  done(QDialog::Accepted);
}

void TfrmSort::SortSteps() {
  TSqlInfo& main = host_.MainResult();
  const TKeyList keyList = keys->Keys();

  // The working copy takes the run information, the columns and the cells.
  table_.Reset();
  main.CopyTo(work_);
  const int cols = main.ColCount();
  const int rows = main.RowPos();
  TMessagePump pump(host_);
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= cols; ++c) table_.SetText(c, r, main.GetCell(c, r));
    pump.Tick();
  }

  // A result without SQL text (read from a CSV file, or run while the
  // history is off) must not cost the user the statement being edited.
  const TStrings typed = work_.Sql.empty() ? host_.SqlLines() : TStrings();
  host_.NewMain();
  hide();
  host_.SetStatusMsg(SJ("実行結果を並べ替え中..."));
  main.BeginTiming();
  main.SetStatus(SJ("並替"));
  host_.RefreshMain();
  host_.ProcessMessages();

  SortRows(table_, 1, work_.RowPos(), keyList);

  main.SetColCount(work_.ColCount());
  main.SetRowCount(work_.RowCount());
  main.SetRowPos(0);
  main.SetRowMax(0);
  for (int i = 0; i < work_.ColCount(); ++i) {
    main.SetColName(i, work_.ColName(i));
    main.SetColLength(i, work_.ColLength(i));
    main.SetColAlign(i, work_.ColAlign(i));
    main.SetColType(i, work_.ColType(i));
    main.SetColTypeCode(i, work_.ColTypeCode(i));
    main.SetColSize(i, work_.ColSize(i));
    main.SetColPrecision(i, work_.ColPrecision(i));
    main.SetColScale(i, work_.ColScale(i));
  }
  main.SetSql(&work_.Sql);

  // New cleared the stripe flag, so the rows alternate from the first one.
  for (int r = 1; r <= work_.RowPos(); ++r) {
    main.AddRow();
    main.SetRowPos(main.RowPos() + 1);
    for (int c = 1; c <= work_.ColCount(); ++c) main.SetCell(c, r, table_.Text(c, r));
    main.AltRow = !main.AltRow;
    main.UpdateTiming();
    pump.Tick();
  }
  host_.SetSqlLines(main.Sql.empty() ? typed : main.Sql);
  main.EndTiming();
  host_.SetStatusMsg(SJ("実行結果を並べ替えました"));
}
