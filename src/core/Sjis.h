#pragma once
// Shift_JIS (cp932) is the system's text inside; UTF-8 exists only at the edges
// (database drivers, Qt, source literals). Conversions never fail: a character
// cp932 cannot hold, or an invalid input byte, becomes "?".

#include <string>
#include <string_view>

// True for a byte that starts a cp932 double-byte character.
inline bool IsLeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Byte length of the cp932 character that starts at s[i] (1 or 2; 1 for a
// lead byte at the very end, so scanners never step past the string).
inline size_t SjisCharLen(std::string_view s, size_t i) {
  return (IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
}

std::string Utf8ToSjis(std::string_view utf8);
std::string SjisToUtf8(std::string_view sjis);

// True when every character of the UTF-8 text has a cp932 form, so that
// Utf8ToSjis puts no "?" in place of anything (malformed input included).
bool SjisCanHold(std::string_view utf8);

// Appending forms for hot paths that reuse one buffer.
void AppendUtf8AsSjis(std::string& out, std::string_view utf8);
void AppendSjisAsUtf8(std::string& out, std::string_view sjis);

// A UTF-8 source literal as cp932 bytes: SJ("完了").
inline std::string SJ(std::string_view utf8) { return Utf8ToSjis(utf8); }
