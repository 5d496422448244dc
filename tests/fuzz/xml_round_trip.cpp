// SaveXml then LoadXml over random cells. Column names are fixed: the file
// keeps a name on one line and treats an empty one as the end of the columns.

#include "RoundTrip.h"
#include "storage/ResultXml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = ScratchFile("round.xml");
  CheckRoundTrip(data, size, path, false, SaveXml, LoadXml);
  return 0;
}
