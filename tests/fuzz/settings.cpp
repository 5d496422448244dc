// The settings reader on any bytes: it never fails, and what it read survives
// a write and a second read unchanged (the second file equals the first).

#include "FuzzSupport.h"
#include "storage/AtomicFile.h"
#include "storage/Options.h"

namespace {

std::string WriteRead(const TOptionFile& in, TOptionFile& out, std::string& message) {
  static const std::string path = ScratchFile("again_Opt.xml");
  std::string error;
  FUZZ_CHECK(WriteOptionFile(path, in, error));
  std::string bytes;
  FUZZ_CHECK(ReadWholeFile(path, bytes));
  message = ReadOptionFile(path, out);
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = ScratchFile("in_Opt.xml");
  WriteBytes(path, data, size);
  TOptionFile first;
  ReadOptionFile(path, first);

  TOptionFile second, third;
  std::string message;
  const std::string written = WriteRead(first, second, message);
  FUZZ_CHECK(message.empty());
  const std::string again = WriteRead(second, third, message);
  FUZZ_CHECK(message.empty());
  FUZZ_CHECK(written == again);
  return 0;
}
