#pragma once
// The run history: every finished run is recorded with its SQL text and run
// figures (and, when the options ask for it, its result as a CSV file); the
// index of runs is read at connect and written at disconnect. The list of
// runs itself is the history dialog's.
//
// Locations follow the options as they stand at each call, never cached.
// They are native (UTF-8) paths.

#include <memory>
#include <string>

#include "core/SqlInfo.h"
#include "core/StrUtil.h"

class TApp;
class TLogHost;

// The history directory, ending with "/": the user's directory when the
// options name one, else the default one (the executable's, or the data
// directory of an installed program).
std::string LogDir(TApp& app);
// The history index: LogDir + BaseName + "_Log.xml".
std::string LogFile(TApp& app);
// The result file of a run: LogDir + yyyymmdd_hhmmss.csv of its date and start.
std::string RunFile(TApp& app, const TSqlInfo& run);

// Records a finished run. lines: the edit area as typed (remarks included).
// Returns false when the run's result file could not be written; the error
// has then been reported and the caller ends the run at once.
bool RecordRun(TApp& app, TSqlInfo& info, const TStrings& lines, bool isQuery);
// Replaces the history list by the runs of the history index. A missing or
// damaged index gives an empty list without a message.
void ReadHistory(TApp& app);
// Writes the history list to the index, keeping the newest MaxLog runs and
// deleting the result files of the runs it drops (a file that a kept run
// still names stays). The list in memory keeps every run. With no runs the
// index on disk is left alone. A failed write is reported; the previous
// index then stays whole, and the result is false.
bool WriteHistory(TApp& app);

// Tidies the history folder at connect, after ReadHistory: removes the
// temporaries of run files and indexes whose writer was killed, and the run
// files (yyyymmdd_hhmmss.csv, nothing else) that no index in the folder
// names, unless another instance runs that may not have indexed its runs yet.
void SweepHistoryDir(TApp& app);

// The history dialog's way into the program.
std::unique_ptr<TLogHost> MakeLogHost(TApp& app);
// The history command: marks the runs the next write drops and opens the
// dialog.
void LogExecute(TApp& app);
