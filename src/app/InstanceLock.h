#pragma once
// The single-instance lock: an exclusive flock on a file named after the
// instance name. The kernel drops it when the holder dies, so a crashed
// instance never blocks the next start.

#include <memory>
#include <string>

#include "app/Platform.h"

// Where the lock files live: $XDG_RUNTIME_DIR, else /tmp.
std::string DefaultLockDir();

// Takes the lock "<dir>/<name>.lock". Two holders in one process exclude each
// other as two processes do (each take opens the file anew).
TLockResult TakeInstanceLock(const std::string& dir, const std::string& name,
                             std::unique_ptr<TInstanceLock>& lock);
