#include "app/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

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

std::string DefaultLockDir() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) return runtime;
  return "/tmp";
}

TLockResult TakeInstanceLock(const std::string& dir, const std::string& name,
                             std::unique_ptr<TInstanceLock>& lock) {
  std::string path = dir;
  if (!path.empty() && path.back() != '/') path += '/';
  // A name from the executable never holds "/", but keep the file inside dir.
  std::string safe = name;
  for (char& c : safe)
    if (c == '/') c = '_';
  path += safe + ".lock";
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return TLockResult::Failed;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int err = errno;
    close(fd);
    return err == EWOULDBLOCK ? TLockResult::HeldElsewhere : TLockResult::Failed;
  }
  lock = std::make_unique<TFileLock>(fd);
  return TLockResult::Acquired;
}
