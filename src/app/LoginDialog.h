#pragma once
// TfrmLogin asks for the user name, password and host string. Created once;
// the fields are prefilled from the settings at creation and afterwards keep
// what the user last typed. The dialog never writes the settings.

#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class TApp;

class TfrmLogin : public QDialog {
 public:
  // user, password, host: cp932, from the settings.
  TfrmLogin(TApp& app, const std::string& user, const std::string& password, const std::string& host);

  // The fields as typed, cp932.
  std::string User() const;
  std::string Password() const;
  std::string Host() const;

  QLabel* LblUser;
  QLineEdit* edtUser;
  QLabel* LblPassword;
  QLineEdit* edtPassword;
  QLabel* LblHost;
  QLineEdit* edtHost;
  QPushButton* btnOk;
  QPushButton* btnCancel;

 protected:
  void showEvent(QShowEvent* event) override;
};
