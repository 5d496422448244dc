#include "views/RecordView.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "core/SqlInfo.h"
#include "views/QtText.h"

namespace {

QPushButton* Button(const char* caption, const char* name) {
  auto* button = new QPushButton(QString::fromUtf8(caption));
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoDefault(false);
  return button;
}

}  // namespace

TfrmRecordView::TfrmRecordView(TSqlInfo& info, std::function<void(const QString&)> setClipboard, QWidget* parent)
    : QDialog(parent), info_(info), setClipboard_(std::move(setClipboard)) {
  setObjectName(QStringLiteral("frmRecordView"));
  setWindowTitle(QString::fromUtf8("レコード表示"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setSizeGripEnabled(true);

  lblRow = new QLabel;
  lblRow->setObjectName(QStringLiteral("lblRow"));
  grdRecord = new QTableWidget(0, 2);
  grdRecord->setObjectName(QStringLiteral("grdRecord"));
  grdRecord->setHorizontalHeaderLabels({QString::fromUtf8("列名"), QString::fromUtf8("値")});
  grdRecord->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grdRecord->setSelectionBehavior(QAbstractItemView::SelectRows);
  grdRecord->setWordWrap(true);
  grdRecord->setTextElideMode(Qt::ElideNone);
  grdRecord->verticalHeader()->setVisible(false);
  grdRecord->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  grdRecord->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  grdRecord->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
  grdRecord->installEventFilter(this);

  btnPrior = Button("前へ(&P)", "btnPrior");
  btnNext = Button("次へ(&N)", "btnNext");
  btnCopy = Button("コピー(&C)", "btnCopy");
  btnOk = Button("OK", "btnOk");
  btnOk->setDefault(true);
  connect(btnPrior, &QPushButton::clicked, this, [this] { ShowRow(row_ - 1); });
  connect(btnNext, &QPushButton::clicked, this, [this] { ShowRow(row_ + 1); });
  connect(btnCopy, &QPushButton::clicked, this, [this] {
    if (setClipboard_) setClipboard_(CopyText());
  });
  connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnPrior);
  buttons->addWidget(btnNext);
  buttons->addStretch();
  buttons->addWidget(btnCopy);
  buttons->addWidget(btnOk);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(6, 6, 6, 6);
  column->addWidget(lblRow);
  column->addWidget(grdRecord, 1);
  column->addLayout(buttons);
  setTabOrder(grdRecord, btnPrior);
  setTabOrder(btnPrior, btnNext);
  setTabOrder(btnNext, btnCopy);
  setTabOrder(btnCopy, btnOk);
  resize(480, 420);
}

int TfrmRecordView::Rows() const { return info_.RowMax(); }

void TfrmRecordView::ShowRow(int row) {
  row_ = std::clamp(row, std::min(1, Rows()), Rows());
  const int cols = info_.ColCount();
  grdRecord->setRowCount(cols);
  for (int c = 0; c < cols; ++c) {
    auto* name = new QTableWidgetItem(ToQ(info_.ColName(c)));
    name->setTextAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* value = new QTableWidgetItem(row_ >= 1 ? ToQ(info_.GetCell(c + 1, row_)) : QString());
    value->setTextAlignment(Qt::AlignLeft | Qt::AlignTop);
    grdRecord->setItem(c, 0, name);
    grdRecord->setItem(c, 1, value);
  }
  lblRow->setText(QString::fromUtf8("%1 / %2 行").arg(row_).arg(Rows()));
  btnPrior->setEnabled(row_ > 1);
  btnNext->setEnabled(row_ < Rows());
}

QString TfrmRecordView::CopyText() const {
  QString text;
  const bool selected = !grdRecord->selectedItems().isEmpty();
  for (int r = 0; r < grdRecord->rowCount(); ++r) {
    if (selected && !grdRecord->item(r, 0)->isSelected()) continue;
    text += grdRecord->item(r, 0)->text() + QLatin1Char('\t') + grdRecord->item(r, 1)->text() + QLatin1Char('\n');
  }
  return text;
}

bool TfrmRecordView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == grdRecord && (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) &&
      static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
    if (event->type() == QEvent::KeyPress && setClipboard_) setClipboard_(CopyText());
    event->accept();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}
