#pragma once
// Errors of the persistence layer. The file formats never talk to the user;
// what the format descriptions call "an error that reaches the caller" is one
// of these exceptions. Messages are cp932, because some of them end up in an
// error box as they stand ("'abc' は整数ではありません").

#include <cstddef>
#include <stdexcept>
#include <string>

class TStorageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file that cannot be opened, read, created or written.
class TFileError : public TStorageError {
 public:
  using TStorageError::TStorageError;
};

// A document that is rejected as a whole: "XML Header Error", an empty file,
// a value that no sane file can hold.
class TXmlError : public TStorageError {
 public:
  using TStorageError::TStorageError;
};

// A result file that asks for more than any real result holds: more columns,
// or a longer cell or line, than the bounds below. Refused before memory is
// spent on it.
class TDamagedFileError : public TStorageError {
 public:
  using TStorageError::TStorageError;
};
constexpr size_t kMaxFileColumns = 65536;
constexpr size_t kMaxFileCellBytes = size_t{256} << 20;  // also any one line

// A text that should be an integer, a date or a time and is not.
class TConvertError : public TStorageError {
 public:
  using TStorageError::TStorageError;
};

// The messages, cp932. Each takes the text (a file name, or the bad value)
// that stands for %s; a file name given as a native path is converted.
std::string FileCreateMessage(const std::string& nativePath);  // ファイル %s を作成できません
std::string FileOpenMessage(const std::string& nativePath);    // ファイル %s を開けません
std::string NotIntegerMessage(const std::string& sjisText);    // '%s' は整数ではありません
std::string NotDateMessage(const std::string& sjisText);       // '%s' は正しい日付ではありません
std::string NotTimeMessage(const std::string& sjisText);       // '%s' は正しい時刻ではありません

// Integer conversion of a stored text (decimal, or "$" + hex); throws
// TConvertError with NotIntegerMessage.
int StrToIntOrThrow(const std::string& sjisText);
