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
  } else if (HasHighByte(body) && IsValidUtf8(body)) {
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
