// LoadXml on any bytes: it ends normally or with a storage error, never with
// more columns or cells than the file could describe.

#include "FuzzSupport.h"
#include "storage/CellStore.h"
#include "storage/ResultXml.h"
#include "storage/StorageError.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = ScratchFile("in.xml");
  WriteBytes(path, data, size);
  TSqlInfo info;
  TCellStore cells(info);
  try {
    LoadXml(info, path);
  } catch (const TStorageError&) {
  }
  FUZZ_CHECK(info.ColCount() >= 0);
  FUZZ_CHECK(static_cast<size_t>(info.ColCount()) <= size);
  for (const auto& [at, text] : cells.cells) {
    FUZZ_CHECK(at.first >= 1 && at.first <= info.ColCount());
    FUZZ_CHECK(at.second >= 0);
    FUZZ_CHECK(text.size() <= size * 2);  // at most one CR per LF added
  }
  return 0;
}
