#pragma once
// TfrmOption holds the settings for the whole process: it reads the settings
// file when it is created at start-up (applying the window layout to the
// windows that exist by then) and writes it when it is destroyed at the end.
// The dialog's pages come with the options command; until then it is the
// settings' owner only.

#include <QDialog>

#include "storage/Options.h"

class TApp;

class TfrmOption : public QDialog {
 public:
  explicit TfrmOption(TApp& app);
  // Collects the layout from the windows and writes the settings file; a
  // failure is shown in an error box and the program ends all the same.
  ~TfrmOption() override;

  TOptions& Options() { return file_.Options; }
  // The layout as read; every window's part is collected anew at the end.
  TOptionLayout& Layout() { return file_.Layout; }

 private:
  TApp& app_;
  TOptionFile file_;
};
