#include "app/AboutDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/App.h"
#include "app/MainWindow.h"
#include "views/QtText.h"
#include "app/ToolIcons.h"

TfrmAbout::TfrmAbout(TApp& app) : QDialog(&app.Main()) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(U("バージョン情報"));
  setFont(app.Main().font());

  auto* icon = new QLabel;
  icon->setObjectName(QStringLiteral("imgIcon"));
  icon->setPixmap(MakeToolIcon(TToolIcon::App).pixmap(48, 48));
  auto* title = new QLabel(app.AppTitle());
  title->setObjectName(QStringLiteral("lblTitle"));
  QFont big = title->font();
  big.setPixelSize(18);
  big.setBold(true);
  title->setFont(big);
  auto* version = new QLabel(QStringLiteral("Version 1.00"));
  version->setObjectName(QStringLiteral("lblVersion"));
  btnOk = new QPushButton(QStringLiteral("OK"));
  btnOk->setObjectName(QStringLiteral("btnOk"));
  btnOk->setDefault(true);
  connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);

  auto* texts = new QVBoxLayout;
  texts->addWidget(title);
  texts->addWidget(version);
  auto* top = new QHBoxLayout;
  top->addWidget(icon);
  top->addSpacing(12);
  top->addLayout(texts);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnOk);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addSpacing(8);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  // Its real size from the start, so the first centring is already right.
  adjustSize();
}
