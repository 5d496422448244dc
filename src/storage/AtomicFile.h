#pragma once
// Whole-file reads and writes. Every file the system writes goes through
// WriteFileAtomic, so a crash, a full disk or a failing device never leaves a
// half-written settings, favourites, history, SQL or result file behind.
//
// Paths are native (UTF-8) file-system paths; the bytes are written and read
// exactly as given (cp932 text with CR LF is the caller's business).

#include <functional>
#include <string>
#include <string_view>

// Mode for ordinary files; the process umask applies as usual.
constexpr unsigned kDefaultFileMode = 0666;
// Mode for files that hold secrets (the settings file keeps a password).
constexpr unsigned kPrivateFileMode = 0600;

// Replaces the file at `path` by `bytes`:
//   1. creates a new temporary file next to the target (same directory, so
//      the rename stays on one file system) with `mode` (less the umask);
//   2. writes all bytes and flushes them to the device (fsync);
//   3. renames it over the target, then flushes the directory.
// A temporary file of an earlier write of the same target whose process has
// died (killed before its rename) is removed on the way.
// A target that is a symbolic link is followed: the file it points to is
// replaced and the link stays. A new file gets `mode` less the umask; a
// replaced file keeps its mode, and its owner and group where this process
// may give them (a group it cannot give takes the group permissions with
// it). A private `mode` (no group or other bits) never lets a replaced file
// keep group or other access. A target that exists and is not a regular
// file (a directory, a FIFO, a device) is refused.
// On success returns true. On any failure returns false, removes the
// temporary file, leaves the previous file (or its absence) untouched and,
// when `error` is given, stores a short English diagnostic there (for logs
// only; callers show their own message, e.g. FileCreateMessage).
bool WriteFileAtomic(const std::string& path, std::string_view bytes,
                     unsigned mode = kDefaultFileMode, std::string* error = nullptr);

// WriteFileAtomic for a file written in pieces, so a large file never has to
// be held whole in memory. Nothing replaces the target until Commit; a writer
// destroyed without a successful Commit removes its temporary file and leaves
// the previous file (or its absence) untouched.
class TAtomicWriter {
 public:
  // Creates the temporary file; a failure shows at Write or Commit.
  explicit TAtomicWriter(const std::string& path, unsigned mode = kDefaultFileMode);
  ~TAtomicWriter();
  TAtomicWriter(const TAtomicWriter&) = delete;
  TAtomicWriter& operator=(const TAtomicWriter&) = delete;

  // Appends bytes to the temporary file. After the first failure every
  // further call does nothing and returns false.
  bool Write(std::string_view bytes);
  // Flushes, closes and renames the temporary file over the target; false
  // (with the diagnostic in `error`) when anything on the way failed.
  bool Commit(std::string* error = nullptr);
  // The temporary file, for a library that writes a file only by its name:
  // it has to write this file in place (opened for writing, truncated), so
  // that Commit flushes and renames what it wrote. Empty when the file could
  // not be created.
  const std::string& TempPath() const { return temp_; }

 private:
  bool Fail(const char* what);

  std::string target_, temp_;
  int fd_ = -1;
  long long written_ = 0;
  bool failed_ = false;
  bool committed_ = false;
  std::string error_;
};

// Reads the whole file into `bytes` (replacing its content). Returns false,
// with `bytes` emptied and a diagnostic in `error`, when the file cannot be
// opened or read. Anything but a regular file (a directory, a FIFO, a
// device) counts as unreadable, and is refused without blocking.
bool ReadWholeFile(const std::string& path, std::string& bytes, std::string* error = nullptr);

// Removes from dir the temporary files that writes of earlier processes left
// behind (killed before their rename) and whose process is gone, for the
// targets whose file name `wanted` accepts. Temporaries of live processes,
// and every other file, stay.
void RemoveDeadTemporaries(const std::string& dir, const std::function<bool(std::string_view)>& wanted);

// Test seam: when set to n >= 0, every following WriteFileAtomic behaves as if
// the device filled up after n bytes of the temporary file had been written
// (the write fails with ENOSPC). -1 (the default) turns it off. Not for
// production code.
void SetAtomicWriteFailAfterForTesting(long long bytes);
