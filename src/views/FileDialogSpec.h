#pragma once
// The file dialogs' settings, shared by the shell's desktop seam and the
// dialogs of the views that ask for a file through their host.

#include <QString>
#include <QStringList>

// What a file dialog is opened with, and what it leaves behind after OK:
// FilterIndex (1-based) and InitialDir follow the user's choice, as a dialog
// object that stays alive for the whole session would remember them.
struct TFileDialogSpec {
  QString Title;
  QStringList Filters;  // "SQLファイル (*.sql)", ...
  int FilterIndex = 1;
  QString DefaultExt;  // without the dot; added when the name has none
  QString InitialDir;
  bool OverwritePrompt = false;  // save dialogs only
  // Per filter (index - 1), the extension a name without one gets while that
  // filter is chosen, where it is not DefaultExt; an empty or missing entry
  // means DefaultExt.
  QStringList FilterExts{};
};
