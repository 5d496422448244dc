#pragma once
// TfrmAbout shows the title, the version line and the program's icon.

#include <QDialog>

class QPushButton;
class TApp;

class TfrmAbout : public QDialog {
 public:
  explicit TfrmAbout(TApp& app);
  QPushButton* btnOk;
};
