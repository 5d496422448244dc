#include "views/CellView.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/Sjis.h"
#include "core/SqlInfo.h"
#include "views/GridText.h"

namespace {

// Design sizes in pixels.
constexpr int kClientWidth = 298;
constexpr int kClientHeight = 265;

QFont PixelFont(const char* utf8Family) {
  InstallFontSubstitutions();
  QFont font(QString::fromUtf8(utf8Family));
  font.setPixelSize(12);
  return font;
}

QString ToText(std::string_view sjis) { return QString::fromStdString(SjisToUtf8(sjis)); }

// A group with its caption around one value label.
QGroupBox* ValueGroup(const char* caption, QLabel*& label, const char* name, Qt::Alignment align,
                      const QFont& valueFont) {
  auto* group = new QGroupBox(QString::fromUtf8(caption));
  auto* layout = new QHBoxLayout(group);
  layout->setContentsMargins(6, 2, 6, 4);
  label = new QLabel;
  label->setObjectName(QString::fromLatin1(name));
  label->setFont(valueFont);
  label->setAlignment(align | Qt::AlignVCenter);
  label->setTextFormat(Qt::PlainText);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(label);
  return group;
}

}  // namespace

TfrmCellView::TfrmCellView(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmCellView"));
  setWindowTitle(QString::fromUtf8("セル内容の表示"));
  // Resizable, with a close box only.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setSizeGripEnabled(true);
  const QFont fixed = PixelFont("ＭＳ ゴシック");
  setFont(PixelFont("ＭＳ Ｐゴシック"));

  const Qt::Alignment left = Qt::AlignLeft, right = Qt::AlignRight;
  auto* grid = new QGridLayout;
  grid->setSpacing(4);
  grid->addWidget(ValueGroup("列名", lblNameValue, "lblNameValue", left, fixed), 0, 0, 1, 2);
  grid->addWidget(ValueGroup("行", lblRowValue, "lblRowValue", right, fixed), 0, 2);
  grid->addWidget(ValueGroup("列", lblColValue, "lblColValue", right, fixed), 0, 3);
  grid->addWidget(ValueGroup("タイプ", lblTypeNameValue, "lblTypeNameValue", left, fixed), 1, 0);
  grid->addWidget(ValueGroup("サイズ", lblSizeValue, "lblSizeValue", right, fixed), 1, 1);
  grid->addWidget(ValueGroup("精度", lblPrecisionValue, "lblPrecisionValue", right, fixed), 1, 2);
  grid->addWidget(ValueGroup("少数", lblScaleValue, "lblScaleValue", right, fixed), 1, 3);
  for (int c = 0; c < 4; ++c) grid->setColumnStretch(c, 1);

  auto* value = new QGroupBox(QString::fromUtf8("値"));
  auto* valueLayout = new QVBoxLayout(value);
  valueLayout->setContentsMargins(6, 2, 6, 4);
  valueLayout->setSpacing(3);
  memCell = new QPlainTextEdit;
  memCell->setObjectName(QStringLiteral("memCell"));
  memCell->setFont(fixed);
  memCell->setReadOnly(true);
  memCell->setMinimumHeight(40);
  // The text box is the one control that grows with the dialog.
  valueLayout->addWidget(memCell, 1);
  auto* line = new QHBoxLayout;
  line->setSpacing(4);
  auto* lblLen = new QLabel(QString::fromUtf8("文字数"));
  lblLen->setObjectName(QStringLiteral("lblLen"));
  lblLenValue = new QLabel;
  lblLenValue->setObjectName(QStringLiteral("lblLenValue"));
  lblLenValue->setFont(fixed);
  lblLenValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  lblLenValue->setMinimumWidth(QFontMetrics(fixed).horizontalAdvance(QStringLiteral("00000")));
  chkWordwrap = new QCheckBox(QString::fromUtf8("文字の折り返し(&W)"));
  chkWordwrap->setObjectName(QStringLiteral("chkWordwrap"));
  lblCaution = new QLabel(QString::fromUtf8("値の変更はできません"));
  lblCaution->setObjectName(QStringLiteral("lblCaution"));
  line->addWidget(lblLen);
  line->addWidget(lblLenValue);
  line->addStretch();
  line->addWidget(chkWordwrap);
  valueLayout->addLayout(line);
  valueLayout->addWidget(lblCaution, 0, Qt::AlignRight);

  btnOk = new QPushButton(QStringLiteral("OK"));
  btnOk->setObjectName(QStringLiteral("btnOk"));
  btnOk->setDefault(true);
  btnOk->setAutoDefault(true);
  connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnOk);
  buttons->addStretch();

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(6, 6, 6, 6);
  column->setSpacing(4);
  column->addLayout(grid);
  column->addWidget(value, 1);
  column->addLayout(buttons);

  connect(chkWordwrap, &QCheckBox::toggled, this, [this](bool on) { ApplyWordwrap(on); });
  ApplyWordwrap(false);
  setMinimumSize(kClientWidth, kClientHeight);
  // The design size, or what this desktop's fonts need at least.
  resize(kClientWidth, kClientHeight);
}

void TfrmCellView::ApplyWordwrap(bool on) {
  memCell->setLineWrapMode(on ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
  memCell->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memCell->setHorizontalScrollBarPolicy(on ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAlwaysOn);
}

void TfrmCellView::Fill(TSqlInfo& info, int col, int row) {
  const int index = col - 1;
  lblNameValue->setText(ToText(info.ColName(index)));
  lblRowValue->setText(QString::number(row));
  lblColValue->setText(QString::number(col));
  lblTypeNameValue->setText(ToText(info.ColType(index)));
  lblSizeValue->setText(QString::number(info.ColSize(index)));
  lblPrecisionValue->setText(QString::number(info.ColPrecision(index)));
  lblScaleValue->setText(QString::number(info.ColScale(index)));
  const std::string cell = info.GetCell(col, row);
  memCell->setPlainText(ToText(cell));
  lblLenValue->setText(QString::number(cell.size()));
}

void TfrmCellView::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  btnOk->setFocus();
}
