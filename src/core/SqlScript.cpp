#include "core/SqlScript.h"

namespace {

// u has pat at the 1-based position p, wholly inside u.
bool HasAt(const std::string& u, std::string_view pat, int p) {
  size_t at = static_cast<size_t>(p - 1);
  return at + pat.size() <= u.size() && u.compare(at, pat.size(), pat) == 0;
}

// Walks the lines as both passes do and calls onWord(lineIndex, u, p) at the
// first significant word of each line; onWord returns false to end the scan.
template <class OnWord>
void ScanWords(const TStrings& lines, OnWord onWord) {
  bool inComment = false;
  for (size_t li = 0; li < lines.size(); ++li) {
    const std::string u = UpperSjis(lines[li]);
    const int n = static_cast<int>(u.size());
    int p = 1;
    // The last character of a line is never examined.
    while (p <= n - 1) {
      if (inComment) {
        int close = PosFrom("*/", u, p);
        if (close == 0) break;
        inComment = false;
        p = close + 2;
        continue;
      }
      char c = u[static_cast<size_t>(p - 1)];
      if (c == ' ' || c == '\t') {
        ++p;
        continue;
      }
      if (HasAt(u, "/*", p)) {
        inComment = true;
        ++p;  // the search for "*/" starts at the "*": "/*/" opens and closes
        continue;
      }
      if (!onWord(li, u, p)) return;
      break;
    }
  }
}

}  // namespace

void BlankRemarks(TStrings& lines) {
  ScanWords(lines, [&](size_t li, const std::string& u, int p) {
    if (HasAt(u, "--", p)) return true;
    if (HasAt(u, "REM", p)) {
      std::string blanked = u;
      for (size_t i = static_cast<size_t>(p - 1); i < blanked.size(); ++i) blanked[i] = ' ';
      lines[li] = std::move(blanked);
    }
    return true;
  });
}

bool IsQuery(const TStrings& lines) {
  bool result = false;
  ScanWords(lines, [&](size_t, const std::string& u, int p) {
    if (HasAt(u, "--", p) || HasAt(u, "REM", p)) return true;
    result = HasAt(u, "SELECT", p);
    return false;
  });
  return result;
}
