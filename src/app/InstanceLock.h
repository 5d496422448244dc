#pragma once
// The single-instance lock: an exclusive flock on a file named after the
// instance name. The kernel drops it when the holder dies, so a crashed
// instance never blocks the next start. The lock lives in a folder that only
// this user may write, so no other user can hold it, plant it or swap it.

#include <memory>
#include <string>

#include "app/Platform.h"

// Where the lock files live: $XDG_RUNTIME_DIR when it is a private folder of
// this user, else /tmp/quorrel-<uid>, made 0700 when missing.
std::string DefaultLockDir();
// DefaultLockDir for the given runtime folder (null or empty when there is
// none) and temporary folder.
std::string LockDirFor(const char* runtimeDir, const std::string& tmpDir);

// Whether dir may hold this user's locks: a directory itself (not a link to
// one), owned by this user, that no other user may write.
bool IsPrivateDir(const std::string& dir);

// Takes the lock "<dir>/<name>.lock". Two holders in one process exclude each
// other as two processes do (each take opens the file anew). Failed when dir
// is no private folder of this user, or the lock file is not a plain file of
// this user's: such a lock proves nothing.
TLockResult TakeInstanceLock(const std::string& dir, const std::string& name,
                             std::unique_ptr<TInstanceLock>& lock);

// Whether another instance of this program, under another name than `name`,
// holds its lock in dir. Locks of other programs there do not count.
bool OtherLockHeld(const std::string& dir, const std::string& name);
