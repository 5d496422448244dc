#pragma once
// The run history: every finished run is recorded with its SQL text and run
// figures (and, when the options ask for it, its result as a CSV file); the
// index of runs is read at connect and written at disconnect.

#include "core/SqlInfo.h"
#include "core/StrUtil.h"

class TApp;

// Records a finished run. lines: the edit area as typed (remarks included).
// Returns false when the run's result file could not be written; the error
// has then been reported and the caller ends the run at once.
bool RecordRun(TApp& app, TSqlInfo& info, const TStrings& lines, bool isQuery);
// Reads the history index into the history list.
void ReadHistory(TApp& app);
// Writes the history index.
void WriteHistory(TApp& app);
