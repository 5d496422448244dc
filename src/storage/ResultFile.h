#pragma once
// Result files as the commands use them: the format follows the extension,
// and failures come back as false for the caller to report in its own words.
// File names are native (UTF-8) paths.

#include <string>

#include "core/SqlInfo.h"
#include "storage/ResultCsv.h"

// ".CSV" loads with LoadCsv, ".XML" with LoadXml, in any letter case. Any
// other extension returns false at once and leaves `info` untouched. An error
// inside the load gives false, with whatever the loader had set left in
// `info`. True after a completed load (an empty CSV file included).
bool OpenResultFile(TSqlInfo& info, const std::string& fileName);

// The same choice for SaveCsv/SaveXml. False for another extension (the file
// is not touched) or when the file cannot be written (the previous file stays
// as it was). csvEncoding applies to a CSV file only.
bool SaveResultFile(TSqlInfo& info, const std::string& fileName, TCsvEncoding csvEncoding = TCsvEncoding::Sjis);

// The history CSV file of a run: `logDir` (ending with "/"), the run's Date
// as yyyymmdd, "_", its StartTime as hhmmss, ".csv".
std::string RunFile(const TSqlInfo& info, const std::string& logDir);

// SaveResultFile under RunFile, readable by its owner only: a run's result
// is the user's data.
bool SaveHistoryCsv(TSqlInfo& info, const std::string& logDir);

// Adds the data rows of the run's history CSV file to `info` (columns, counts,
// status and times are those already set from the history index; nothing is
// cleared). False, with nothing changed, when the file cannot be read, is
// empty or is damaged (see TDamagedFileError); true otherwise.
bool LoadHistoryCsv(TSqlInfo& info, const std::string& logDir);
