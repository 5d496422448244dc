#include "storage/TinyXml.h"

#include <cstring>
#include <limits>

#include "storage/StorageError.h"

namespace {

const char* const kDeclarationTokens[8] = {"?xml", "version", "=", "\"1.0\"", "encoding", "=", "\"Shift_JIS\"", "?"};

bool StartsWith(std::string_view s, std::string_view p) { return s.size() >= p.size() && s.substr(0, p.size()) == p; }
bool EndsWith(std::string_view s, std::string_view p) {
  return s.size() >= p.size() && s.substr(s.size() - p.size()) == p;
}

void AppendTabs(std::string& out, int level) {
  if (level > 0) out.append(static_cast<size_t>(level), '\t');
}

}  // namespace

void TTinyXml::Clear() {
  buf_.clear();
  entries_.clear();
  types_.clear();
}

void TTinyXml::AddEntry(size_t offset, size_t length) {
  if (length > std::numeric_limits<uint32_t>::max()) throw TXmlError("XML entry too long");
  entries_.push_back(TEntry{offset, static_cast<uint32_t>(length), -1});
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
  AddEntry(start, buf_.size() - start);
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
  auto nextLine = [&](size_t end) {
    if (end < n && d[end] == '\r' && end + 1 < n && d[end + 1] == '\n') return end + 2;
    return end + 1;
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
  try {
    for (size_t ls = 0; ls < n;) {
      const size_t le = lineEnd(ls);
      size_t p = ls;
      while (p < le) {
        const void* hit = std::memchr(d + p, '<', le - p);
        size_t lt = hit ? static_cast<size_t>(static_cast<const char*>(hit) - d) : le;
        size_t end;
        if (lt == le) {
          end = le;  // text without any tag: a continuation line
        } else if (lt == p) {
          const void* gt = lt + 1 < le ? std::memchr(d + lt + 1, '>', le - lt - 1) : nullptr;
          end = gt ? static_cast<size_t>(static_cast<const char*>(gt) - d) + 1 : le;
        } else if (lt + 1 < le && d[lt + 1] == '/') {
          end = lt;  // element text followed by its end tag
        } else {
          p = lt;  // indentation or stray text in front of a tag
          continue;
        }
        AddEntry(p, end - p);
        p = end;
      }
      if (le >= n) break;
      ls = nextLine(le);
    }
  } catch (...) {
    Clear();
    throw;
  }
  types_.resize(entries_.size());
  for (size_t i = 0; i < entries_.size(); ++i) types_[i] = static_cast<uint8_t>(NodeType(Text(static_cast<int>(i))));
  ComputeLevels();
}

void TTinyXml::ComputeLevels() {
  std::vector<std::string_view> stack;
  for (size_t i = 0; i < entries_.size(); ++i) {
    const TXmlNodeType type = static_cast<TXmlNodeType>(types_[i]);
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
  const TEntry& e = entries_[static_cast<size_t>(index)];
  return std::string_view(buf_.data() + e.Offset, e.Length);
}

int TTinyXml::GetLevel(int index) const {
  if (index < 0 || index >= Count()) return -1;
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
  if (!StartsWith(t, "<") || !EndsWith(t, ">"))
    // Two plain searches: find_first_of tests every byte against the set
    // one call at a time, and every cell of a result file passes here.
    return t.find('<') != std::string_view::npos || t.find('>') != std::string_view::npos ? xnInvalid : xnText;
  if (StartsWith(t, "<!--") && EndsWith(t, "-->")) return xnComment;
  if (StartsWith(t, "<?") && EndsWith(t, "?>")) return xnDeclaration;
  const bool endOpen = StartsWith(t, "</"), emptyClose = EndsWith(t, "/>");
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
