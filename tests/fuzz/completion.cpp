// The completion's reading of any text at any caret: the word it replaces
// holds the caret and lies inside the text, the prefix is the word's part
// before the caret, and a qualifier comes with a member only.

#include "FuzzSupport.h"
#include "core/Completion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The first two bytes place the caret.
  const size_t caret = (static_cast<size_t>(data[0]) << 8 | data[1]) % (size - 1);
  const std::string_view text(reinterpret_cast<const char*>(data) + 2, size - 2);
  const TCompletionContext ctx = CompletionAt(text, caret);
  FUZZ_CHECK(ctx.Start <= caret && caret <= ctx.End && ctx.End <= text.size());
  if (ctx.Kind == TCompletionKind::None) return 0;
  const std::string_view before = text.substr(ctx.Start, caret - ctx.Start);
  FUZZ_CHECK(before == ctx.Prefix || (!before.empty() && before[0] == '"' && before.substr(1) == ctx.Prefix));
  FUZZ_CHECK((ctx.Kind == TCompletionKind::Member) == !ctx.Qualifier.empty());
  FUZZ_CHECK(ctx.Qualifier.size() <= 2);
  for (const TTableName& t : ctx.Tables) FUZZ_CHECK(!t.Parts.empty() && t.Parts.size() <= 2);
  ChangesSchema(text);
  return 0;
}
