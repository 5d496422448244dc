#include "storage/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string_view>

namespace {

std::atomic<long long> gFailAfter{-1};

std::string Describe(const char* what, const std::string& path, int err) {
  return std::string(what) + " " + path + ": " + std::strerror(err);
}

void SetError(std::string* error, std::string text) {
  if (error) *error = std::move(text);
}

// The file that really gets replaced: a symbolic link is followed so that the
// link itself survives the rename.
std::string ResolveTarget(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char buf[PATH_MAX];
    if (realpath(path.c_str(), buf)) return buf;
    // A dangling link: write through it to the path it names.
    ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
    if (n > 0) {
      std::string dest(buf, static_cast<size_t>(n));
      if (dest[0] == '/') return dest;
      size_t slash = path.rfind('/');
      return slash == std::string::npos ? dest : path.substr(0, slash + 1) + dest;
    }
  }
  return path;
}

std::string DirOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The temporary files are named "." + base + "." + pid + "." + counter + "."
// + eight hex digits + ".tmp". A process killed between creating one and
// renaming it leaves it behind; the pid tells whether its writer still runs.
bool ParseTempName(std::string_view name, std::string_view& base, long long& pid) {
  constexpr std::string_view suffix = ".tmp";
  if (name.size() < 2 + suffix.size() || name.front() != '.' || name.substr(name.size() - suffix.size()) != suffix)
    return false;
  size_t end = name.size() - suffix.size();
  // The random part, then the counter, then the pid, each after a dot.
  auto field = [&](bool hex, size_t maxDigits) -> std::string_view {
    size_t start = end;
    while (start > 0 && end - start < maxDigits &&
           ((name[start - 1] >= '0' && name[start - 1] <= '9') ||
            (hex && name[start - 1] >= 'a' && name[start - 1] <= 'f')))
      --start;
    if (start == end || start == 0 || name[start - 1] != '.') return {};
    std::string_view digits = name.substr(start, end - start);
    end = start - 1;
    return digits;
  };
  if (field(true, 8).size() != 8 || field(false, 10).empty()) return false;
  const std::string_view pidDigits = field(false, 10);
  if (pidDigits.empty() || end < 2) return false;
  pid = 0;
  for (char c : pidDigits) pid = pid * 10 + (c - '0');
  base = name.substr(1, end - 1);
  return pid > 0 && pid < INT_MAX;
}

bool WriterIsGone(long long pid) {
  return pid != getpid() && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// Removes the temporaries in dir whose base passes `wanted` and whose writer
// is gone. A live writer's file (another instance) is kept.
template <typename Wanted>
void RemoveDeadTemps(const std::string& dir, Wanted wanted) {
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  while (const dirent* e = readdir(d)) {
    std::string_view base;
    long long pid = 0;
    if (!ParseTempName(e->d_name, base, pid) || !wanted(base) || !WriterIsGone(pid)) continue;
    // Only plain files: a directory or a link of that name is not ours.
    struct stat st;
    if (fstatat(dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
      unlinkat(dirfd(d), e->d_name, 0);
  }
  closedir(d);
}

// The mode a replacement gets: the replaced file's permissions, except that
// a private file never gains group or other access.
mode_t KeptMode(const struct stat& old, unsigned mode) {
  mode_t kept = old.st_mode & 0777;
  if ((mode & 077) == 0) kept &= ~static_cast<mode_t>(077);
  return kept;
}

// Gives the new file the replaced file's owner and mode. Where the owner or
// group cannot be given (another user's file), the permissions those would
// have had are not handed to whoever owns the new file instead.
void KeepOwnerAndMode(int fd, const struct stat& old, unsigned mode) {
  mode_t kept = KeptMode(old, mode);
  struct stat now;
  if (fstat(fd, &now) != 0) return;
  if (now.st_uid != old.st_uid || now.st_gid != old.st_gid) {
    if (fchown(fd, old.st_uid, old.st_gid) != 0) {
      // The group alone may still be ours to give.
      if (now.st_gid != old.st_gid) (void)!fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    }
    if (fstat(fd, &now) != 0) return;
    if (now.st_gid != old.st_gid) kept &= ~static_cast<mode_t>(070);
  }
  // Best effort: a file system without modes (a FAT stick) keeps what it has,
  // and the temporary was made no wider than the result.
  (void)!fchmod(fd, kept);
}

// Creates a fresh temporary file beside `target`; -1 with errno on failure.
// A file that replaces an existing one starts private and then takes that
// file's owner and mode; a new file gets `mode` less the umask.
int CreateTemp(const std::string& target, unsigned mode, std::string& tempPath) {
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  const std::string dir = DirOf(target);
  size_t slash = target.rfind('/');
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  RemoveDeadTemps(dir, [&](std::string_view b) { return b == base; });
  struct stat old;
  const bool replacing = stat(target.c_str(), &old) == 0;
  if (replacing && !S_ISREG(old.st_mode)) {
    // A directory, a FIFO or a device is never replaced by a file.
    errno = S_ISDIR(old.st_mode) ? EISDIR : EINVAL;
    return -1;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%d.%u.%08x", static_cast<int>(getpid()), counter++,
                  static_cast<unsigned>(rd()));
    tempPath = dir + "/." + base + suffix + ".tmp";
    int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                  static_cast<mode_t>(replacing ? (mode & 0600) : mode));
    if (fd >= 0 && replacing) KeepOwnerAndMode(fd, old, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// Writes bytes at offset `done` of the temporary file; the test seam makes
// the device fill up at a given size of the whole file.
bool WriteAll(int fd, std::string_view bytes, long long done) {
  const long long failAfter = gFailAfter.load();
  size_t at = 0;
  while (at < bytes.size()) {
    size_t chunk = bytes.size() - at;
    if (failAfter >= 0) {
      if (done >= failAfter) {
        errno = ENOSPC;
        return false;
      }
      chunk = std::min(chunk, static_cast<size_t>(failAfter - done));
    }
    ssize_t n = write(fd, bytes.data() + at, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    at += static_cast<size_t>(n);
    done += n;
  }
  return true;
}

}  // namespace

TAtomicWriter::TAtomicWriter(const std::string& path, unsigned mode) {
  if (path.empty()) {
    failed_ = true;
    error_ = "empty file name";
    return;
  }
  target_ = ResolveTarget(path);
  fd_ = CreateTemp(target_, mode, temp_);
  if (fd_ < 0) {
    temp_.clear();
    Fail("cannot create a temporary file for");
  }
}

TAtomicWriter::~TAtomicWriter() {
  if (fd_ >= 0) close(fd_);
  if (!committed_ && !temp_.empty()) unlink(temp_.c_str());
}

bool TAtomicWriter::Fail(const char* what) {
  if (!failed_) error_ = Describe(what, target_, errno);
  failed_ = true;
  return false;
}

bool TAtomicWriter::Write(std::string_view bytes) {
  if (failed_) return false;
  if (!WriteAll(fd_, bytes, written_)) return Fail("cannot write");
  written_ += static_cast<long long>(bytes.size());
  return true;
}

bool TAtomicWriter::Commit(std::string* error) {
  const bool ok = [this] {
    if (failed_ || committed_) return !failed_;
    if (fsync(fd_) != 0) return Fail("cannot flush");
    const int rc = close(fd_);
    fd_ = -1;
    if (rc != 0) return Fail("cannot close");
    if (rename(temp_.c_str(), target_.c_str()) != 0) return Fail("cannot replace");
    committed_ = true;
    // The rename itself must reach the device too; failing here leaves the
    // new file in place, so it is not reported.
    int dirFd = open(DirOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
      fsync(dirFd);
      close(dirFd);
    }
    return true;
  }();
  if (!ok) SetError(error, error_);
  return ok;
}

bool WriteFileAtomic(const std::string& path, std::string_view bytes, unsigned mode, std::string* error) {
  TAtomicWriter writer(path, mode);
  writer.Write(bytes);
  return writer.Commit(error);
}

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string* error) {
  bytes.clear();
  // Only a regular file is read: a FIFO or a device would block the window
  // or never end, and opening some devices does something. The first look
  // opens nothing; the second, on what was opened, closes the race.
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    SetError(error, Describe("cannot read", path, S_ISDIR(st.st_mode) ? EISDIR : EINVAL));
    return false;
  }
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    SetError(error, Describe("cannot open", path, errno));
    return false;
  }
  const bool statted = fstat(fd, &st) == 0;
  if (!statted || !S_ISREG(st.st_mode)) {
    int err = !statted ? errno : S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    close(fd);
    SetError(error, Describe("cannot read", path, err));
    return false;
  }
  if (st.st_size > 0) bytes.reserve(static_cast<size_t>(st.st_size));
  char buf[1 << 16];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      close(fd);
      bytes.clear();
      SetError(error, Describe("cannot read", path, err));
      return false;
    }
    if (n == 0) break;
    bytes.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return true;
}

void RemoveDeadTemporaries(const std::string& dir, const std::function<bool(std::string_view)>& wanted) {
  RemoveDeadTemps(dir, wanted);
}

void SetAtomicWriteFailAfterForTesting(long long bytes) { gFailAfter.store(bytes < 0 ? -1 : bytes); }
