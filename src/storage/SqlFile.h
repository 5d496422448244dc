#pragma once
// SQL files: plain text, Shift_JIS unless the file is plainly UTF-8. A file
// that begins with the UTF-8 byte-order mark, or that is valid UTF-8 and holds
// at least one byte above 0x7F, is read as UTF-8 and written back as UTF-8
// (with the mark if it had one), so a file written by another program is not
// destroyed by opening and saving it. Bytes that are valid UTF-8 only by
// pairing up (no sequence longer than two bytes) and also valid Shift_JIS are
// Shift_JIS: half-width katakana, not Latin or Cyrillic. Everything else is
// Shift_JIS.
//
// The text crosses this interface as UTF-8 with "\n" line breaks: in files,
// CR LF, a lone CR and a lone LF each count as one line break; writing puts
// CR LF between lines. Nothing else is added or removed, so a file read and
// written back unchanged keeps its bytes (line breaks aside).

#include <string>
#include <string_view>

enum class TSqlEncoding { Sjis, Utf8, Utf8Bom };

// Reads the file at the native path into `utf8Text` and tells how it was
// encoded. False, with the text emptied, when the file cannot be read.
bool ReadSqlFile(const std::string& path, std::string& utf8Text, TSqlEncoding& encoding);

// Replaces the file at the native path by `utf8Text` in `encoding` (a
// character Shift_JIS cannot hold becomes "?": callers that must not lose
// one ask SjisCanHold first). False when the file cannot
// be written; the previous file then stays as it was.
bool WriteSqlFile(const std::string& path, std::string_view utf8Text, TSqlEncoding encoding);

// True when `bytes` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool IsValidUtf8(std::string_view bytes);
