// LoadCsv on any bytes: it ends normally or with a storage error, with no
// more columns or cell bytes than the file holds.

#include "FuzzSupport.h"
#include "storage/CellStore.h"
#include "storage/ResultCsv.h"
#include "storage/StorageError.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = ScratchFile("in.csv");
  WriteBytes(path, data, size);
  TSqlInfo info;
  TCellStore cells(info);
  try {
    LoadCsv(info, path);
  } catch (const TStorageError&) {
  }
  FUZZ_CHECK(info.ColCount() >= 0);
  FUZZ_CHECK(static_cast<size_t>(info.ColCount()) <= size);
  FUZZ_CHECK(info.RowPos() >= 0 && static_cast<size_t>(info.RowPos()) <= size);
  for (const auto& [at, text] : cells.cells) {
    FUZZ_CHECK(at.first >= 1);
    FUZZ_CHECK(text.size() <= size * 2);
    // A line break inside a value always comes back as CR LF.
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\r') FUZZ_CHECK(i + 1 < text.size() && text[i + 1] == '\n');
      if (text[i] == '\n') FUZZ_CHECK(i > 0 && text[i - 1] == '\r');
    }
  }
  return 0;
}
