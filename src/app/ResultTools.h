#pragma once
// The sort and compare commands, and the main window's side of the dialogs
// that rebuild the main result.

#include <memory>

#include "views/ResultHost.h"

class TApp;

// The main window and the desktop as the sort dialog and the compare wizard
// see them.
std::unique_ptr<TResultHost> MakeResultHost(TApp& app);

// actSort: the sort dialog, modally.
void SortExecute(TApp& app);
// actDiff: the compare wizard, modally.
void DiffExecute(TApp& app);
// actRecordView: the current row as a list of names and values, modally.
void RecordViewExecute(TApp& app);
