#include "core/StrUtil.h"

#include "core/Sjis.h"

#include <algorithm>

std::string LeftStr(std::string_view s, int n) {
  if (n < 0 || static_cast<size_t>(n) > s.size()) return {};
  return std::string(s.substr(0, static_cast<size_t>(n)));
}

std::string RightStr(std::string_view s, int n) {
  if (n < 0 || static_cast<size_t>(n) > s.size()) return {};
  return std::string(s.substr(s.size() - static_cast<size_t>(n)));
}

std::string StripStr(std::string_view s, int l, int r) {
  const int len = static_cast<int>(s.size());
  if (l < 0 || l >= len || r < 0 || r >= len) return {};
  const int a = l + 1, b = len - r;
  const int from = std::min(a, b), to = std::max(a, b);
  return std::string(s.substr(static_cast<size_t>(from - 1), static_cast<size_t>(to - from + 1)));
}

std::string ReplaceAt(std::string_view s, std::string_view oldText, std::string_view newText, int p) {
  std::string out = LeftStr(s, p - 1);
  out.append(newText);
  out += StripStr(s, p + static_cast<int>(oldText.size()) - 1, 0);
  return out;
}

int PosFrom(std::string_view sub, std::string_view s, int start) {
  if (s.empty() || sub.empty() || start < 1 || static_cast<size_t>(start) > s.size()) return 0;
  size_t at = s.find(sub, static_cast<size_t>(start - 1));
  return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
}

void PushStr(TStrStack& stack, std::string_view s) { stack.emplace_back(s); }

std::string PopStr(TStrStack& stack) {
  if (stack.empty()) return {};
  std::string top = std::move(stack.back());
  stack.pop_back();
  return top;
}

TStrings SplitLines(std::string_view text) {
  TStrings lines;
  size_t start = 0, i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.emplace_back(text.substr(start, i - start));
      i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

std::string JoinLines(const TStrings& lines) {
  size_t total = 0;
  for (const auto& l : lines) total += l.size() + 2;
  std::string out;
  out.reserve(total);
  for (const auto& l : lines) {
    out += l;
    out += "\r\n";
  }
  return out;
}

bool TryStrToInt(std::string_view text, int32_t& out) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  bool hex = false;
  if (i < text.size() && text[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= text.size()) return false;
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    v = v * (hex ? 16 : 10) + d;
    // Hex texts stand for the 32 bits as written ($80000018 is a colour).
    if (v > (hex ? 0xFFFFFFFFLL : 0x80000000LL)) return false;
  }
  if (negative) v = -v;
  if (hex) {
    out = static_cast<int32_t>(static_cast<uint32_t>(v));
    return true;
  }
  if (v > INT32_MAX || v < INT32_MIN) return false;
  out = static_cast<int32_t>(v);
  return true;
}

std::string IntToStr(int64_t v) { return std::to_string(v); }

std::string UpperSjis(std::string_view s) {
  std::string u(s);
  for (size_t i = 0; i < u.size();) {
    unsigned char c = static_cast<unsigned char>(u[i]);
    if (IsLeadByte(c) && i + 1 < u.size()) {
      i += 2;
      continue;
    }
    if (c >= 'a' && c <= 'z') u[i] = static_cast<char>(c - 'a' + 'A');
    ++i;
  }
  return u;
}
