#pragma once
// Small scanners for the date and number texts that databases hand over.
// Each consumes what it read from the front of s and returns false, having
// consumed nothing, when the text does not match.

#include <cctype>
#include <string_view>

// Exactly n decimal digits.
inline bool ScanDigits(std::string_view& s, size_t n, int& out) {
  if (s.size() < n) return false;
  int v = 0;
  for (size_t i = 0; i < n; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    v = v * 10 + (s[i] - '0');
  }
  s.remove_prefix(n);
  out = v;
  return true;
}

inline bool ScanChar(std::string_view& s, char c) {
  if (s.empty() || s.front() != c) return false;
  s.remove_prefix(1);
  return true;
}
