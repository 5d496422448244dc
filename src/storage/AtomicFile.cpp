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
// + random hex + ".tmp". A process killed between creating one and renaming
// it leaves it behind; the next write of the same file removes those whose
// writer no longer exists. A live writer's file (another instance) is kept.
void RemoveStaleTemps(const std::string& dir, const std::string& base) {
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  const std::string prefix = "." + base + ".";
  const std::string_view suffix = ".tmp";
  while (const dirent* e = readdir(d)) {
    const std::string_view name = e->d_name;
    if (name.size() <= prefix.size() + suffix.size() || name.substr(0, prefix.size()) != prefix ||
        name.substr(name.size() - suffix.size()) != suffix)
      continue;
    size_t at = prefix.size();
    long long pid = 0;
    while (at < name.size() && name[at] >= '0' && name[at] <= '9' && pid < INT_MAX) pid = pid * 10 + (name[at++] - '0');
    if (at == prefix.size() || at >= name.size() || name[at] != '.' || pid <= 0 || pid >= INT_MAX) continue;
    if (pid == getpid() || kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    unlinkat(dirfd(d), e->d_name, 0);
  }
  closedir(d);
}

// Creates a fresh temporary file beside `target`; -1 with errno on failure.
int CreateTemp(const std::string& target, unsigned mode, std::string& tempPath) {
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  const std::string dir = DirOf(target);
  size_t slash = target.rfind('/');
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  RemoveStaleTemps(dir, base);
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%d.%u.%08x", static_cast<int>(getpid()), counter++,
                  static_cast<unsigned>(rd()));
    tempPath = dir + "/." + base + suffix + ".tmp";
    int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(mode));
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
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    SetError(error, Describe("cannot open", path, errno));
    return false;
  }
  struct stat st;
  const bool statted = fstat(fd, &st) == 0;
  if (!statted || S_ISDIR(st.st_mode)) {
    int err = statted ? EISDIR : errno;
    close(fd);
    SetError(error, Describe("cannot read", path, err));
    return false;
  }
  if (S_ISREG(st.st_mode) && st.st_size > 0) bytes.reserve(static_cast<size_t>(st.st_size));
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

void SetAtomicWriteFailAfterForTesting(long long bytes) { gFailAfter.store(bytes < 0 ? -1 : bytes); }
