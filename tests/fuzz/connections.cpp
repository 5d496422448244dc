// The list of connections on any bytes: a read either keeps the list, which
// then survives a write and a second read unchanged, or sets the file aside
// whole and starts empty.

#include "FuzzSupport.h"
#include "storage/AtomicFile.h"
#include "storage/ConnectionList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = ScratchFile("in_Con.xml");
  WriteBytes(path, data, size);
  TConnectionList first;
  const TConnectionFileResult read = ReadConnectionFile(path, first);
  if (read.State == TConnectionFileState::SetAside) {
    FUZZ_CHECK(first.Items().empty());
    FUZZ_CHECK(access(path.c_str(), F_OK) != 0);
    std::string aside;
    FUZZ_CHECK(ReadWholeFile(read.SetAsideAs, aside));
    FUZZ_CHECK(aside == std::string(reinterpret_cast<const char*>(data), size));
    std::remove(read.SetAsideAs.c_str());
    return 0;
  }
  FUZZ_CHECK(read.State == TConnectionFileState::Read);
  FUZZ_CHECK(first.Items().size() <= TConnectionList::kMaxCount);
  FUZZ_CHECK(WriteConnectionFile(path, first));
  TConnectionList second;
  FUZZ_CHECK(ReadConnectionFile(path, second).State == TConnectionFileState::Read);
  FUZZ_CHECK(second.Items() == first.Items());
  return 0;
}
