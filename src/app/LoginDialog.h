#pragma once
// TfrmLogin asks for the user name, password and host string. Created once;
// the fields are prefilled from the settings at creation and afterwards keep
// what the user last typed. The dialog never writes the settings.
//
// The host string is also a list of the recent connections (host and user,
// from their own file, read when the dialog is first asked for). Choosing
// one fills both fields; its password comes from the desktop's keyring when
// one keeps it, from the settings when it is the settings' own login, and
// is otherwise left for the user to type.

#include <QDialog>
#include <string>

#include "storage/ConnectionList.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStandardItemModel;
class TApp;

class TfrmLogin : public QDialog {
 public:
  // user, password, host: cp932, from the settings.
  TfrmLogin(TApp& app, const std::string& user, const std::string& password, const std::string& host);

  // Shows the dialog modally and returns its result. The first time, reads
  // the list of connections; a damaged list is set aside with a message and
  // the dialog opens all the same.
  int Ask();
  // After a successful login with the fields as they stand: the connection
  // goes to the top of the list, which is saved, and its password to the
  // keyring. A list that cannot be saved is reported; the login stands.
  void Remember();

  // The fields as typed, cp932.
  std::string User() const;
  std::string Password() const;
  std::string Host() const;

  const TConnectionList& Connections() const { return list_; }

  QLabel* LblUser;
  QLineEdit* edtUser;
  QLabel* LblPassword;
  QLineEdit* edtPassword;
  QLabel* LblHost;
  QComboBox* cmbHost;
  QLineEdit* edtHost;  // the line cmbHost is typed into
  QPushButton* btnRemove;  // takes the fields' connection off the list
  QPushButton* btnOk;
  QPushButton* btnCancel;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ReadList();
  void SaveList();
  void FillHosts();
  void Choose(int index);
  void RemoveAt(int index);
  void UpdateRemove();

  TApp& app_;
  // The settings' login: its password may be proposed again for it.
  const TConnection settingsLogin_;
  const std::string settingsPassword_;
  TConnectionList list_;
  bool listRead_ = false;
  QStandardItemModel* hosts_;
  // Counts the choices and the user's edits, so that a keyring answer that
  // arrives after either is dropped.
  int choice_ = 0;
};
