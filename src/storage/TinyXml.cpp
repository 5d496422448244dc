#include "storage/TinyXml.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "storage/StorageError.h"

namespace {

const char* const kDeclarationTokens[8] = {"?xml", "version", "=", "\"1.0\"", "encoding", "=", "\"Shift_JIS\"", "?"};

// No file the system writes has such a line; refused before it can hold an
// entry too long to index.
void CheckLineLength(size_t length) {
  if (length > kMaxFileCellBytes) throw TDamagedFileError("XML line longer than 256 MiB");
}

void AppendTabs(std::string& out, int level) {
  if (level > 0) out.append(static_cast<size_t>(level), '\t');
}

}  // namespace

void TTinyXml::Clear() {
  buf_.clear();
  entries_.clear();
  highStarts_.clear();
  brokenLines_.clear();
  lines_ = 0;
  loaded_ = false;
}

void TTinyXml::AddEntry(size_t offset, size_t length, TXmlNodeType type) {
  if (length > kLengthMask) throw TXmlError("XML entry too long");
  PushEntry(offset, static_cast<uint32_t>(length) | static_cast<uint32_t>(type) << kTypeShift);
}

void TTinyXml::PushEntry(size_t offset, uint32_t lengthType) const {
  while ((static_cast<uint64_t>(offset) >> 32) > highStarts_.size())
    highStarts_.push_back(static_cast<uint32_t>(entries_.size()));
  entries_.push_back(TEntry{static_cast<uint32_t>(offset), lengthType, -1});
}

void TTinyXml::IndexLines() const {
  if (entries_.size() == lines_) return;
  entries_.clear();
  highStarts_.clear();
  entries_.reserve(lines_);
  const char* d = buf_.data();
  size_t at = 0;
  auto broken = brokenLines_.begin();
  for (size_t line = 0; line < lines_; ++line) {
    size_t length;
    if (broken != brokenLines_.end() && broken->first == line) {
      length = (broken++)->second;
    } else {
      length = static_cast<size_t>(static_cast<const char*>(std::memchr(d + at, '\r', buf_.size() - at)) - (d + at));
    }
    PushEntry(at, static_cast<uint32_t>(length));
    at += length + 2;
  }
}

void TTinyXml::AddNode(TXmlNodeType kind, std::string_view name, std::string_view text, int level) {
  if (kind == xnInvalid) return;
  const size_t start = buf_.size();
  AppendTabs(buf_, level);
  switch (kind) {
    case xnText:
      if (name.empty()) {
        buf_.append(text);
      } else {
        buf_ += '<';
        buf_.append(name);
        buf_ += '>';
        AppendXmlEncoded(buf_, text);
        buf_ += "</";
        buf_.append(name);
        buf_ += '>';
      }
      break;
    case xnStartTag:
      buf_ += '<';
      buf_.append(name);
      buf_ += '>';
      break;
    case xnEndTag:
      buf_ += "</";
      buf_.append(name);
      buf_ += '>';
      break;
    case xnEmptyTag:
      buf_ += '<';
      buf_.append(name);
      buf_ += "/>";
      break;
    case xnComment:
      buf_ += "<!--";
      buf_.append(text);
      buf_ += "-->";
      break;
    case xnDeclaration:
      buf_ += '<';
      for (int i = 0; i < 8; ++i) {
        if (i > 0) buf_ += ' ';
        buf_ += kDeclarationTokens[i];
      }
      buf_ += '>';
      break;
    case xnInvalid:
      break;
  }
  const size_t length = buf_.size() - start;
  if (length > std::numeric_limits<uint32_t>::max()) {
    buf_.resize(start);
    throw TXmlError("XML entry too long");
  }
  if (std::memchr(buf_.data() + start, '\r', length) || std::memchr(buf_.data() + start, '\n', length))
    brokenLines_.emplace_back(lines_, length);
  ++lines_;
  buf_ += "\r\n";
}

void TTinyXml::SaveToFile(const std::string& fileName, unsigned mode) const {
  if (!WriteFileAtomic(fileName, buf_, mode)) throw TFileError(FileCreateMessage(fileName));
}

void TTinyXml::LoadFromFile(const std::string& fileName) {
  Clear();
  std::string bytes;
  if (!ReadWholeFile(fileName, bytes)) throw TFileError(FileOpenMessage(fileName));
  LoadFromBytes(std::move(bytes));
}

void TTinyXml::LoadFromBytes(std::string bytes) {
  Clear();
  const size_t n = bytes.size();
  const char* d = bytes.data();
  auto lineEnd = [&](size_t from) {
    while (from < n && d[from] != '\r' && d[from] != '\n') ++from;
    return from;
  };

  // The declaration decides whether the file is ours at all.
  if (n == 0) throw TXmlError("List index out of bounds (0)");
  const size_t firstEnd = lineEnd(0);
  std::string_view first(d, firstEnd);
  if (first.size() < 2 || first.front() != '<' || first.back() != '>') throw TXmlError("XML Header Error");
  SplitTag(first.substr(1, first.size() - 2));
  if (tokens_.size() < 8) throw TXmlError("List index out of bounds (" + std::to_string(tokens_.size()) + ")");
  for (int i = 0; i < 8; ++i)
    if (tokens_[static_cast<size_t>(i)] != kDeclarationTokens[i]) throw TXmlError("XML Header Error");

  buf_ = std::move(bytes);
  d = buf_.data();
  loaded_ = true;
  // A tag token starts at a "<", a text token ends before a "</" or at a line
  // end: that bound sizes the list once, sparing the copies (and the doubled
  // peak) of a list that grows with the file.
  size_t bound = 1;
  for (size_t i = 0; i < n; ++i)
    bound += (d[i] == '<') + (d[i] == '<' && i + 1 < n && d[i + 1] == '/') + (d[i] == '\r') + (d[i] == '\n');
  entries_.reserve(bound);
  try {
    // One pass over the bytes; `p` is where the rest of the current line
    // starts, so a line end met there closes the line.
    // `ls` is where the current line starts; each scan checks the line up to
    // where it stopped, so the last one bounds the whole line.
    for (size_t p = 0, ls = 0; p < n;) {
      const char c = d[p];
      if (c == '\r') {
        p += p + 1 < n && d[p + 1] == '\n' ? 2 : 1;
        ls = p;
      } else if (c == '\n') {
        ls = ++p;
      } else if (c == '<') {
        size_t q = p + 1;
        while (q < n && d[q] != '>' && d[q] != '\r' && d[q] != '\n') ++q;
        CheckLineLength(q + (q < n && d[q] == '>') - ls);
        if (q < n && d[q] == '>') {
          AddEntry(p, q + 1 - p, NodeType(std::string_view(d + p, q + 1 - p)));
          p = q + 1;
        } else {
          AddEntry(p, q - p, xnInvalid);  // a tag left open to the line end
          p = q;
        }
      } else {
        size_t q = p;
        bool gt = false;
        while (q < n && d[q] != '<' && d[q] != '\r' && d[q] != '\n') gt |= d[q++] == '>';
        CheckLineLength(q - ls);
        // Text in front of a tag other than an end tag is indentation or
        // stray text, and is dropped.
        if (q < n && d[q] == '<' && !(q + 1 < n && d[q + 1] == '/')) {
          p = q;
          continue;
        }
        AddEntry(p, q - p, gt ? xnInvalid : xnText);
        p = q;
      }
    }
  } catch (...) {
    Clear();
    throw;
  }
  ComputeLevels();
}

void TTinyXml::ComputeLevels() {
  std::vector<std::string_view> stack;
  for (size_t i = 0; i < entries_.size(); ++i) {
    const TXmlNodeType type = TypeOf(static_cast<int>(i));
    if (type == xnStartTag) {
      entries_[i].Level = static_cast<int32_t>(stack.size());
      stack.push_back(NameAt(static_cast<int>(i)));
    } else if (type == xnEndTag) {
      std::string_view top;
      if (!stack.empty()) {
        top = stack.back();
        stack.pop_back();
      }
      if (top != NameAt(static_cast<int>(i))) return;  // the rest keeps no level
      entries_[i].Level = static_cast<int32_t>(stack.size());
    } else {
      entries_[i].Level = static_cast<int32_t>(stack.size());
    }
  }
}

std::string_view TTinyXml::Text(int index) const {
  if (index < 0 || index >= Count()) return {};
  if (!loaded_) IndexLines();
  const TEntry& e = entries_[static_cast<size_t>(index)];
  uint64_t offset = e.OffsetLow;
  if (!highStarts_.empty()) {
    const auto high = std::upper_bound(highStarts_.begin(), highStarts_.end(), static_cast<uint32_t>(index));
    offset |= static_cast<uint64_t>(high - highStarts_.begin()) << 32;
  }
  // A built line may use the full word: it has no type.
  return std::string_view(buf_.data() + offset, loaded_ ? e.LengthType & kLengthMask : e.LengthType);
}

int TTinyXml::GetLevel(int index) const {
  if (!loaded_ || index < 0 || index >= Count()) return -1;
  return entries_[static_cast<size_t>(index)].Level;
}

int TTinyXml::FirstChild(int index) const {
  if (index < 0 || index + 1 >= Count()) return -1;
  return GetLevel(index + 1) > GetLevel(index) ? index + 1 : -1;
}

int TTinyXml::NextSibling(int index) const {
  if (index < 0 || index >= Count()) return -1;
  const int level = GetLevel(index);
  for (int i = index + 1; i < Count(); ++i) {
    const int l = GetLevel(i);
    if (l < 0 || l < level) return -1;
    if (l == level && TypeOf(i) != xnEndTag) return i;
  }
  return -1;
}

int TTinyXml::FindChild(int index, std::string_view name) const {
  for (int i = FirstChild(index); i != -1; i = NextSibling(i))
    if (NameAt(i) == name) return i;
  return -1;
}

int TTinyXml::FindNext(int index, std::string_view name) const {
  for (int i = NextSibling(index); i != -1; i = NextSibling(i))
    if (NameAt(i) == name) return i;
  return -1;
}

std::string TTinyXml::ChildText(int index, std::string_view name) const {
  const int child = FirstChild(FindChild(index, name));
  return child == -1 ? std::string() : XmlDecode(Text(child));
}

TXmlNodeType TTinyXml::NodeType(std::string_view t) {
  // Byte tests rather than prefix and suffix compares: every entry of a
  // loaded file passes here.
  const size_t n = t.size();
  if (n < 2 || t[0] != '<' || t[n - 1] != '>')
    return t.find('<') != std::string_view::npos || t.find('>') != std::string_view::npos ? xnInvalid : xnText;
  if (n >= 4 && t[1] == '!' && t[2] == '-' && t[3] == '-' && t[n - 3] == '-' && t[n - 2] == '-') return xnComment;
  if (t[1] == '?' && t[n - 2] == '?') return xnDeclaration;
  const bool endOpen = t[1] == '/', emptyClose = t[n - 2] == '/';
  if (endOpen && !emptyClose) return xnEndTag;
  if (!endOpen && emptyClose) return xnEmptyTag;
  return xnStartTag;
}

std::string_view TTinyXml::TagName(std::string_view t) { return TagNameOf(t, NodeType(t)); }

std::string_view TTinyXml::TagNameOf(std::string_view t, TXmlNodeType type) {
  size_t from, to;
  switch (type) {
    case xnStartTag:
      from = 1, to = t.size() - 1;
      break;
    case xnEndTag:
      from = 2, to = t.size() - 1;
      break;
    case xnEmptyTag:
      from = 1, to = t.size() - 2;
      break;
    default:
      return {};
  }
  const size_t blank = t.find(' ');
  if (blank != std::string_view::npos) to = blank;
  if (to <= from) return {};
  return t.substr(from, to - from);
}

void TTinyXml::SplitTag(std::string_view s) {
  tokens_.clear();
  const size_t n = s.size();
  size_t i = 0;
  for (;;) {
    while (i < n && (s[i] == ' ' || s[i] == '\t')) ++i;
    if (i >= n) break;
    char closer = 0;
    switch (s[i]) {
      case '"': closer = '"'; break;
      case '\'': closer = '\''; break;
      case '<': closer = '>'; break;
      case '[': closer = ']'; break;
      case '(': closer = ')'; break;
      default: break;
    }
    size_t end;
    if (closer) {
      size_t at = s.find(closer, i + 1);
      end = at == std::string_view::npos ? n : at + 1;
    } else {
      end = i + 1;
      // memchr, not strchr: a NUL byte in damaged input is an ordinary byte.
      while (end < n && !std::memchr(" \t\"'<[(=", s[end], 8)) ++end;
    }
    tokens_.emplace_back(s.substr(i, end - i));
    i = end;
  }
}

std::string TTinyXml::AttributeValue(std::string_view name) const {
  for (size_t i = 0; i + 2 < tokens_.size(); ++i) {
    if (tokens_[i] != name) continue;
    if (tokens_[i + 1] != "=") return {};
    const std::string& v = tokens_[i + 2];
    if (v.size() < 2) return {};
    if (v.front() == '"' && v.back() == '"') return v.substr(1, v.size() - 2);
  }
  return {};
}

void AppendXmlEncoded(std::string& out, std::string_view s) {
  size_t from = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const char* entity;
    switch (s[i]) {
      case '&': entity = "&amp;"; break;
      case '<': entity = "&lt;"; break;
      case '>': entity = "&gt;"; break;
      case '\'': entity = "&apos;"; break;
      case '"': entity = "&quot;"; break;
      default: continue;
    }
    out.append(s.substr(from, i - from));
    out += entity;
    from = i + 1;
  }
  out.append(s.substr(from));
}

void AppendXmlDecoded(std::string& out, std::string_view s) {
  static const struct {
    std::string_view Entity;
    char Char;
  } kEntities[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&apos;", '\''}, {"&quot;", '"'}};
  size_t from = 0;
  for (size_t i = s.find('&'); i != std::string_view::npos; i = s.find('&', i)) {
    bool replaced = false;
    for (const auto& e : kEntities) {
      if (s.substr(i, e.Entity.size()) == e.Entity) {
        out.append(s.substr(from, i - from));
        out += e.Char;
        i += e.Entity.size();
        from = i;
        replaced = true;
        break;
      }
    }
    if (!replaced) ++i;
  }
  out.append(s.substr(from));
}

std::string XmlEncode(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  AppendXmlEncoded(out, s);
  return out;
}

std::string XmlDecode(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  AppendXmlDecoded(out, s);
  return out;
}
