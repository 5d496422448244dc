#include "app/InstanceLock.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

namespace {

// What a held lock file of ours says, so that the locks of other programs in
// the runtime folder (a compositor's, say) are told apart.
constexpr std::string_view kLockMark = "quorrel\n";

class TFileLock final : public TInstanceLock {
 public:
  explicit TFileLock(int fd) : fd_(fd) {}
  ~TFileLock() override {
    flock(fd_, LOCK_UN);
    close(fd_);
  }
  TFileLock(const TFileLock&) = delete;
  TFileLock& operator=(const TFileLock&) = delete;

 private:
  int fd_;
};

}  // namespace

bool IsPrivateDir(const std::string& dir) {
  struct stat st;
  return !dir.empty() && lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
         (st.st_mode & 022) == 0;
}

std::string LockDirFor(const char* runtimeDir, const std::string& tmpDir) {
  if (runtimeDir && runtimeDir[0] == '/' && IsPrivateDir(runtimeDir)) return runtimeDir;
  // Without a runtime folder, one of our own in /tmp: in /tmp itself any
  // user could make, hold or replace the lock file.
  std::string dir = tmpDir;
  if (!dir.empty() && dir.back() == '/') dir.pop_back();
  dir += "/quorrel-" + std::to_string(geteuid());
  if (mkdir(dir.c_str(), 0700) != 0 && errno == EEXIST) {
    // Ours from an earlier start: keep it private. Someone else's, or a
    // link, stays as it is and is refused when the lock is taken.
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0 && st.st_uid == geteuid() && (st.st_mode & 077) != 0)
      fchmod(fd, 0700);
    if (fd >= 0) close(fd);
  }
  return dir;
}

std::string DefaultLockDir() { return LockDirFor(std::getenv("XDG_RUNTIME_DIR"), "/tmp"); }

bool OtherLockHeld(const std::string& dir, const std::string& name) {
  DIR* d = opendir(dir.c_str());
  if (!d) return false;
  const std::string own = name + ".lock";
  bool held = false;
  while (const dirent* e = readdir(d)) {
    const std::string_view entry = e->d_name;
    if (entry == own || entry.size() <= 5 || !entry.ends_with(".lock")) continue;
    int fd = openat(dirfd(d), e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    char mark[kLockMark.size()];
    const bool ours = pread(fd, mark, sizeof mark, 0) == static_cast<ssize_t>(sizeof mark) &&
                      std::string_view(mark, sizeof mark) == kLockMark;
    if (ours && flock(fd, LOCK_SH | LOCK_NB) != 0) held = held || errno == EWOULDBLOCK;
    close(fd);
  }
  closedir(d);
  return held;
}

TLockResult TakeInstanceLock(const std::string& dir, const std::string& name,
                             std::unique_ptr<TInstanceLock>& lock) {
  if (!IsPrivateDir(dir)) return TLockResult::Failed;
  std::string path = dir;
  if (!path.empty() && path.back() != '/') path += '/';
  // A name from the executable never holds "/", but keep the file inside dir.
  std::string safe = name;
  for (char& c : safe)
    if (c == '/') c = '_';
  path += safe + ".lock";
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
  if (fd < 0) return TLockResult::Failed;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) {
    close(fd);
    return TLockResult::Failed;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int err = errno;
    close(fd);
    return err == EWOULDBLOCK ? TLockResult::HeldElsewhere : TLockResult::Failed;
  }
  // Without the mark the lock still holds; only other instances' sweeps of
  // a shared history folder no longer see it.
  if (ftruncate(fd, 0) == 0) (void)!pwrite(fd, kLockMark.data(), kLockMark.size(), 0);
  lock = std::make_unique<TFileLock>(fd);
  return TLockResult::Acquired;
}
