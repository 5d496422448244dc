// The two script passes on any text: remark blanking keeps every line's
// length, changes nothing on a second pass, and does not change whether the
// script is a query.

#include "FuzzSupport.h"
#include "core/SqlScript.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const TStrings lines = SplitLines(std::string_view(reinterpret_cast<const char*>(data), size));
  const bool query = IsQuery(lines);

  TStrings blanked = lines;
  BlankRemarks(blanked);
  FUZZ_CHECK(blanked.size() == lines.size());
  for (size_t i = 0; i < lines.size(); ++i) FUZZ_CHECK(blanked[i].size() == lines[i].size());
  FUZZ_CHECK(IsQuery(blanked) == query);

  TStrings twice = blanked;
  BlankRemarks(twice);
  FUZZ_CHECK(twice == blanked);
  FUZZ_CHECK(SplitLines(JoinLines(lines)) == lines);
  return 0;
}
