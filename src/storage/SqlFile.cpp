#include "storage/SqlFile.h"

#include "core/Sjis.h"
#include "storage/AtomicFile.h"

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool HasHighByte(std::string_view bytes) {
  for (char c : bytes)
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  return false;
}

// CR LF, CR and LF each become "\n".
std::string UnifyLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      out += text[i];
      continue;
    }
    out += '\n';
    if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
  }
  return out;
}

// True when the bytes are well-formed cp932: single bytes (ASCII, half-width
// katakana) and lead bytes followed by a trail byte.
bool IsWellFormedSjis(std::string_view bytes) {
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t i = 0; i < bytes.size(); ++i) {
    const unsigned c = s[i];
    if (c < 0x80 || (c >= 0xA1 && c <= 0xDF)) continue;
    if (!IsLeadByte(static_cast<unsigned char>(c)) || i + 1 == bytes.size()) return false;
    const unsigned t = s[++i];
    if (t < 0x40 || t == 0x7F || t > 0xFC) return false;
  }
  return true;
}

// True when no UTF-8 sequence of the (valid UTF-8) bytes is longer than two
// bytes: nothing from U+0800 up, where every kana and kanji lies.
bool OnlyTwoByteSequences(std::string_view bytes) {
  for (unsigned char c : bytes)
    if (c >= 0xE0) return false;
  return true;
}

// Shift_JIS half-width katakana pair up into valid two-byte UTF-8 ("ﾒｲ",
// D2 B2, reads as a Cyrillic letter), but Japanese UTF-8 is made of three-byte
// sequences. Bytes that are valid both ways and hold no such sequence are
// Shift_JIS; read that way and written back they keep their bytes.
bool LooksLikeUtf8(std::string_view bytes) {
  if (!HasHighByte(bytes) || !IsValidUtf8(bytes)) return false;
  return !(OnlyTwoByteSequences(bytes) && IsWellFormedSjis(bytes));
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  for (size_t i = 0; i < n;) {
    const unsigned c = s[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    unsigned lo = 0x80, hi = 0xBF;  // range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      if (c == 0xE0) lo = 0xA0;       // overlong
      else if (c == 0xED) hi = 0x9F;  // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      if (c == 0xF0) lo = 0x90;       // overlong
      else if (c == 0xF4) hi = 0x8F;  // above U+10FFFF
    } else {
      return false;
    }
    if (n - i < len || s[i + 1] < lo || s[i + 1] > hi) return false;
    for (size_t k = 2; k < len; ++k)
      if ((s[i + k] & 0xC0) != 0x80) return false;
    i += len;
  }
  return true;
}

bool ReadSqlFile(const std::string& path, std::string& utf8Text, TSqlEncoding& encoding) {
  utf8Text.clear();
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) return false;
  std::string_view body = bytes;
  if (body.substr(0, kBom.size()) == kBom) {
    encoding = TSqlEncoding::Utf8Bom;
    body.remove_prefix(kBom.size());
    utf8Text = UnifyLineBreaks(body);
  } else if (LooksLikeUtf8(body)) {
    encoding = TSqlEncoding::Utf8;
    utf8Text = UnifyLineBreaks(body);
  } else {
    encoding = TSqlEncoding::Sjis;
    utf8Text = UnifyLineBreaks(SjisToUtf8(body));
  }
  return true;
}

bool WriteSqlFile(const std::string& path, std::string_view utf8Text, TSqlEncoding encoding) {
  std::string bytes;
  bytes.reserve(utf8Text.size() + utf8Text.size() / 16 + kBom.size());
  if (encoding == TSqlEncoding::Utf8Bom) bytes += kBom;
  for (char c : utf8Text) {
    if (c == '\n') bytes += '\r';
    bytes += c;
  }
  if (encoding == TSqlEncoding::Sjis) bytes = Utf8ToSjis(bytes);
  return WriteFileAtomic(path, bytes);
}
