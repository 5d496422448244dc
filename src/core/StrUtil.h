#pragma once
// Byte-string helpers. Positions are 1-based byte positions and know nothing
// of double-byte characters, exactly as the file formats expect.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using TStrings = std::vector<std::string>;

std::string LeftStr(std::string_view s, int n);
std::string RightStr(std::string_view s, int n);
std::string StripStr(std::string_view s, int l, int r);
std::string ReplaceAt(std::string_view s, std::string_view oldText, std::string_view newText, int p);
int PosFrom(std::string_view sub, std::string_view s, int start);

using TStrStack = std::vector<std::string>;
void PushStr(TStrStack& stack, std::string_view s);
std::string PopStr(TStrStack& stack);

// Splits at CR LF, lone CR or lone LF. A final line break adds no empty line.
TStrings SplitLines(std::string_view text);
// Every line followed by CR LF, the last one too.
std::string JoinLines(const TStrings& lines);

// Integer conversion as the settings and result files use it: optional
// blanks in front, an optional sign, decimal digits or "$" + hex digits,
// within 32 bits. Returns false for anything else.
bool TryStrToInt(std::string_view text, int32_t& out);
std::string IntToStr(int64_t v);

// ASCII letters a-z to A-Z, double-byte characters untouched.
std::string UpperSjis(std::string_view s);
