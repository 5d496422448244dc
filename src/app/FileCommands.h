#pragma once
// The effects of the SQL file commands (open, save, save as) and the result
// file commands (import, export). Their enable rules live with the command
// table; each effect assumes its rule held when it was executed. Failures are
// reported through the command module's ReportError and leave the files on
// disk as they were.

#include <QString>
#include <string>

#include "storage/SqlFile.h"

class TApp;

// The SQL file the edit area was last read from or written to: its native
// path (the caption's cp932 path may not name it exactly) and the encoding it
// is kept in. It applies only while the main window's PathFile is SjisPath.
struct TSqlFileMemo {
  QString NativePath;
  std::string SjisPath;
  TSqlEncoding Encoding = TSqlEncoding::Sjis;
};

void OpenExecute(TApp& app);
void SaveExecute(TApp& app);
void SaveAsExecute(TApp& app);
void ImportExecute(TApp& app);
void ExportExecute(TApp& app);
