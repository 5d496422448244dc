// The two script passes on any text: remark blanking keeps every line's
// length, changes nothing on a second pass, and does not change whether the
// script is a query. The statement splitter gives ordered spans inside the
// text whose claims hold their statements and never overlap but at an end.

#include "FuzzSupport.h"
#include "core/SqlScript.h"
#include "core/StatementSplit.h"

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

  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::vector<TStatementSpan> spans = SplitStatements(text);
  size_t claimed = 0;
  for (size_t i = 0; i < spans.size(); ++i) {
    const TStatementSpan& s = spans[i];
    FUZZ_CHECK(s.Begin < s.End && s.End <= size);
    FUZZ_CHECK(s.ClaimBegin <= s.Begin && s.End <= s.ClaimEnd && s.ClaimEnd <= size);
    FUZZ_CHECK(s.ClaimBegin >= claimed);
    claimed = s.ClaimEnd;
    // Where two statements meet without a blank, the caret there means the
    // first; one byte in, it means the second.
    const int at = StatementAtCaret(spans, s.Begin);
    FUZZ_CHECK(at == static_cast<int>(i) || (i > 0 && at == static_cast<int>(i) - 1 && spans[i - 1].ClaimEnd == s.Begin));
    if (s.End > s.Begin + 1) FUZZ_CHECK(StatementAtCaret(spans, s.Begin + 1) == static_cast<int>(i));
  }
  return 0;
}
