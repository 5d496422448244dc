#include "app/LoginDialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/App.h"
#include "app/MainWindow.h"
#include "app/QtText.h"

TfrmLogin::TfrmLogin(TApp& app, const std::string& user, const std::string& password, const std::string& host)
    : QDialog(&app.Main()) {
  setObjectName(QStringLiteral("frmLogin"));
  setWindowTitle(U("データベースに接続"));
  setFont(app.Main().font());

  LblUser = new QLabel(U("ユーザー名(&U)"));
  edtUser = new QLineEdit(ToQ(user));
  LblPassword = new QLabel(U("パスワード(&P)"));
  edtPassword = new QLineEdit(ToQ(password));
  LblHost = new QLabel(U("ホスト文字列(&H)"));
  edtHost = new QLineEdit(ToQ(host));
  btnOk = new QPushButton(QStringLiteral("OK"));
  btnCancel = new QPushButton(U("ｷｬﾝｾﾙ"));
  LblUser->setObjectName(QStringLiteral("LblUser"));
  edtUser->setObjectName(QStringLiteral("edtUser"));
  LblPassword->setObjectName(QStringLiteral("LblPassword"));
  edtPassword->setObjectName(QStringLiteral("edtPassword"));
  LblHost->setObjectName(QStringLiteral("LblHost"));
  edtHost->setObjectName(QStringLiteral("edtHost"));
  btnOk->setObjectName(QStringLiteral("btnOk"));
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  LblUser->setBuddy(edtUser);
  LblPassword->setBuddy(edtPassword);
  LblHost->setBuddy(edtHost);
  edtPassword->setEchoMode(QLineEdit::Password);
  edtPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
  btnOk->setDefault(true);
  btnOk->setAutoDefault(true);
  // Enter on a focused button presses that button; elsewhere it is OK.
  btnCancel->setAutoDefault(true);
  connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* fields = new QGridLayout;
  fields->addWidget(LblUser, 0, 0);
  fields->addWidget(edtUser, 0, 1);
  fields->addWidget(LblPassword, 1, 0);
  fields->addWidget(edtPassword, 1, 1);
  fields->addWidget(LblHost, 2, 0);
  fields->addWidget(edtHost, 2, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnOk);
  buttons->addWidget(btnCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addLayout(buttons);
  edtUser->setMinimumWidth(200);

  setTabOrder(edtUser, edtPassword);
  setTabOrder(edtPassword, edtHost);
  setTabOrder(edtHost, btnOk);
  setTabOrder(btnOk, btnCancel);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  adjustSize();
  app.CenterOnMain(*this);
}

std::string TfrmLogin::User() const { return FromQ(edtUser->text()); }
std::string TfrmLogin::Password() const { return FromQ(edtPassword->text()); }
std::string TfrmLogin::Host() const { return FromQ(edtHost->text()); }

void TfrmLogin::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (edtUser->isEnabled()) edtUser->setFocus();
}
