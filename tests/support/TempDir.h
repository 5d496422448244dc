#pragma once
// Test helpers: a temporary directory removed with everything in it, whole
// file reads and writes, and a clock the test sets by hand.

#include <cstdint>
#include <string>

#include "core/DateTime.h"

class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  // The directory, with a trailing "/".
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

// A clock that stands still until the test moves it; installed for its life.
class TFixedClock final : public TClock {
 public:
  TFixedClock();
  ~TFixedClock() override;
  TDateTime Now() override { return now; }
  uint32_t Tick() override { return tick; }
  TDateTime now = 0;
  uint32_t tick = 0;
};
