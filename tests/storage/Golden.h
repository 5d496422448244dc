#pragma once
// Reference files of the storage formats, kept byte for byte in golden/.

#include <string>

#include "support/TempDir.h"

inline std::string GoldenPath(const std::string& name) { return std::string(STORAGE_GOLDEN_DIR) + name; }
inline std::string Golden(const std::string& name) { return ReadFileBytes(GoldenPath(name)); }
