#pragma once
// The XML result file, and the three sections ("Sql", "Info", "Header") that
// the favourites file and the history index embed as well.
//
// The result set keeps no cells: SaveXml reads them with GetCell and LoadXml
// hands them over with AddRow/SetCell, so the owner's handlers see the rows
// arrive exactly as during a run.

#include <string>

#include "core/SqlInfo.h"
#include "storage/TinyXml.h"

// Writes the whole result file, replacing it atomically. Throws TFileError
// when the file cannot be written (the previous file is then untouched).
// A cell that ends with a line break (CR LF, CR or LF) is written as lines,
// so the break comes back as CR LF.
void SaveXml(TSqlInfo& info, const std::string& fileName);

// Clears `info` and loads a result file. A missing root, "Sql", or an
// incomplete "Info" or "Header" ends the load early without error; a missing
// row or cell element sets Status to "Err". Throws TFileError (unreadable),
// TXmlError (rejected declaration, or a column count no file can hold),
// TDamagedFileError (more than 65,536 columns, a line or a cell longer than
// 256 MiB; no column is defined then) and TConvertError (bad date, time or
// integer); `info` keeps what was read.
void LoadXml(TSqlInfo& info, const std::string& fileName);

// Section writers: append the section (its comment first) at `level`.
void WriteSqlSection(TTinyXml& doc, const TSqlInfo& info, int level);
void WriteInfoSection(TTinyXml& doc, const TSqlInfo& info, int level);
void WriteHeaderSection(TTinyXml& doc, const TSqlInfo& info, int level);

// `sqlIndex` is the entry of the "Sql" start tag; replaces info.Sql.
void ReadSqlSection(TSqlInfo& info, const TTinyXml& doc, int sqlIndex);
// `parent` is the element holding the section ("Result", or a history "Row").
// True when the section was complete; values are stored as they are read.
// Throw TConvertError for a value that is not a date, time or integer.
// ReadInfoSection throws TXmlError for a column count larger than the
// document could describe. ReadHeaderSection splits tags with `doc`'s tag
// tokens, hence the non-const document.
bool ReadInfoSection(TSqlInfo& info, const TTinyXml& doc, int parent);
bool ReadHeaderSection(TSqlInfo& info, TTinyXml& doc, int parent);
