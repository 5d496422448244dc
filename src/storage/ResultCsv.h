#pragma once
// The CSV result file: the column names and the cell texts, nothing else.
//
// Every record is written as its values joined with "," plus one final ",",
// each line followed by CR LF. A value holding a byte 0-32, a double quote or
// a comma is quoted, with inner quotes doubled; line breaks inside a quoted
// value are written as they are.
//
// Reading: a record ends at the first line break outside a quoted value (a
// final comma is optional, so files of other programs read one record per
// line). Line breaks inside quoted values come back as CR LF. An unquoted
// value runs to the next comma or the end of the record, without the bytes
// 1-32 around it.

#include <string>
#include <string_view>

#include "core/SqlInfo.h"
#include "core/StrUtil.h"
#include "storage/AtomicFile.h"

// The text of a written file: the system's Shift_JIS, or UTF-8 after a
// byte-order mark for the tools of other systems.
enum class TCsvEncoding { Sjis, Utf8 };

// Writes row 0 (the column names, read with GetCell) and rows 1..RowPos,
// replacing the file atomically (`mode` as WriteFileAtomic has it). Throws
// TFileError when it cannot be written.
void SaveCsv(TSqlInfo& info, const std::string& fileName, TCsvEncoding encoding = TCsvEncoding::Sjis,
             unsigned mode = kDefaultFileMode);

// Clears `info` and loads the file: Status "CSV", Date and StartTime the
// file's modification time, RowPos and RowCount the number of data records,
// columns named by the first record (type unknown, length 1), then every data
// record through AddRow/SetCell. An empty file leaves `info` cleared. A file
// that starts with the UTF-8 byte-order mark is read as UTF-8. Throws
// TFileError when the file cannot be read, and TDamagedFileError, with no
// column defined yet, for a record of more than 65,536 values or a value or
// line longer than 256 MiB.
void LoadCsv(TSqlInfo& info, const std::string& fileName);

// One record as written, without the line end.
// quoteFirst: the first value is quoted even where it needs no quotes.
void AppendCsvRecord(std::string& out, const TStrings& values, bool quoteFirst = false);

// Splits data into records one at a time, without copying the file.
class TCsvReader {
 public:
  explicit TCsvReader(std::string_view data) : data_(data) {}
  // Reads the next record into Value(i)/Count(); false at the end. Both
  // throw TDamagedFileError for a record beyond the bounds of
  // StorageError.h.
  bool Next();
  // Passes over the next record; false at the end.
  bool Skip();
  size_t Count() const { return count_; }
  const std::string& Value(size_t i) const { return values_[i]; }

 private:
  template <bool Store>
  bool Read();
  std::string& NewValue();

  std::string_view data_;
  size_t pos_ = 0;
  TStrings values_;  // reused, so a long file does not allocate per value
  size_t count_ = 0;
};

// Adds every remaining record of `reader` to `info` as data rows 1, 2, ...
// through AddRow/SetCell, turning AltRow over after each row.
void AddCsvRows(TSqlInfo& info, TCsvReader& reader);
