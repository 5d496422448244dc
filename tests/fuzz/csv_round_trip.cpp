// SaveCsv then LoadCsv over random column names and cells.

#include "RoundTrip.h"
#include "storage/ResultCsv.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = ScratchFile("round.csv");
  CheckRoundTrip(
      data, size, path, true, [](TSqlInfo& info, const std::string& file) { SaveCsv(info, file); }, LoadCsv);
  return 0;
}
