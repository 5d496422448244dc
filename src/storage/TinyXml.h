#pragma once
// TTinyXml: the small XML reader and writer behind the settings, favourites,
// history index and XML result files. It is no general XML parser but a list
// of entries (one per tag or piece of text) with nesting levels.
//
// A document is used either for writing (AddNode ..., SaveToFile) or for
// reading (LoadFromFile, then navigation by entry index), never both. Texts
// are cp932 bytes and are never converted; names compare exactly, byte by
// byte. An index of -1 stands for "no entry" everywhere.
//
// Navigation is a forward scan over the entries and never recurses, so deep or
// huge files cost time in proportion to what is scanned and no stack. Callers
// that walk numbered elements (R1, R2, ...) go from the previous element with
// FindNext, never from the parent again, and so stay linear.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/StrUtil.h"
#include "storage/AtomicFile.h"

enum TXmlNodeType : int {
  xnText,
  xnStartTag,
  xnEndTag,
  xnEmptyTag,
  xnComment,
  xnDeclaration,
  xnInvalid,
};

class TTinyXml {
 public:
  TTinyXml() = default;
  TTinyXml(const TTinyXml&) = delete;
  TTinyXml& operator=(const TTinyXml&) = delete;

  // Removes every entry and level.
  void Clear();

  // Writing. Appends one line: `level` tabs, then by kind
  //   xnText + name   <name>XmlEncode(text)</name>
  //   xnText, no name text as given (a line the caller composed)
  //   xnStartTag      <name>        xnEndTag   </name>
  //   xnEmptyTag      <name/>       xnComment  <!--text-->
  //   xnDeclaration   <?xml version = "1.0" encoding = "Shift_JIS" ?>
  // A negative level counts as 0; xnInvalid appends nothing.
  void AddNode(TXmlNodeType kind, std::string_view name, std::string_view text, int level);

  // Writes every line followed by CR LF, replacing the file atomically with
  // `mode` for a new file. Throws TFileError ("ファイル %s を作成できません")
  // when the file cannot be written; the previous file is then untouched.
  void SaveToFile(const std::string& fileName, unsigned mode = kDefaultFileMode) const;
  // The bytes SaveToFile writes.
  const std::string& Bytes() const { return buf_; }

  // Reading. Replaces the entries by the tokens of the file and computes their
  // levels. Throws TFileError when the file cannot be read, TDamagedFileError
  // for a line longer than 256 MiB, and TXmlError when
  // it is empty or its first line is not an accepted declaration ("XML Header
  // Error"); the document is then empty. A mismatched end tag is no error: it
  // and every later entry get no level.
  void LoadFromFile(const std::string& fileName);
  // The same on bytes already in memory.
  void LoadFromBytes(std::string bytes);

  int Count() const { return static_cast<int>(loaded_ ? entries_.size() : lines_); }
  // The entry's text as stored (text entries still entity-encoded). The view
  // stays valid until the document changes. Empty for an index out of range.
  std::string_view Text(int index) const;
  // The level, or -1 (none, or out of range).
  int GetLevel(int index) const;

  // index + 1 when that entry is deeper than `index`, else -1.
  int FirstChild(int index) const;
  // The next entry at the same level that is not an end tag, passing over
  // deeper entries; -1 at a shallower entry, an entry without a level, or the
  // end of the list.
  int NextSibling(int index) const;
  // The first child / the first later sibling whose TagName is `name`.
  int FindChild(int index, std::string_view name) const;
  int FindNext(int index, std::string_view name) const;
  // The decoded text of the first child of FindChild(index, name); empty when
  // there is no such element or it has no content.
  std::string ChildText(int index, std::string_view name) const;

  static TXmlNodeType NodeType(std::string_view text);
  // The element name of a start, end or empty-element tag (a view into
  // `text`), ending at the first blank; empty for every other kind.
  static std::string_view TagName(std::string_view text);

  // Splits the inside of a tag into tokens and keeps them for AttributeValue.
  void SplitTag(std::string_view text);
  const TStrings& TagTokens() const { return tokens_; }
  // The double-quoted value of attribute `name` among the kept tokens, without
  // its quotes and undecoded; empty when absent or not double-quoted.
  std::string AttributeValue(std::string_view name) const;

 private:
  // Twelve bytes, as a large file has tens of millions of entries: the low
  // half of the offset (the high half comes from highStarts_); the length,
  // which in a loaded document shares its word with the node type.
  struct TEntry {
    uint32_t OffsetLow;
    uint32_t LengthType;
    int32_t Level;
  };
  static constexpr unsigned kTypeShift = 29;
  static constexpr uint32_t kLengthMask = (1u << kTypeShift) - 1;

  void AddEntry(size_t offset, size_t length, TXmlNodeType type);
  // A built document keeps no index of its lines (saving never needs one);
  // Text() builds it on first use.
  void IndexLines() const;
  void ComputeLevels();
  void PushEntry(size_t offset, uint32_t lengthType) const;
  TXmlNodeType TypeOf(int index) const {
    return static_cast<TXmlNodeType>(entries_[static_cast<size_t>(index)].LengthType >> kTypeShift);
  }
  static std::string_view TagNameOf(std::string_view text, TXmlNodeType type);
  // TagName of a loaded entry, from the type found when it was loaded.
  std::string_view NameAt(int index) const { return TagNameOf(Text(index), TypeOf(index)); }

  std::string buf_;  // built: the output lines with CR LF; loaded: the file
  mutable std::vector<TEntry> entries_;  // built documents: filled by IndexLines
  // Offsets only grow, so the entries whose offset passes 4 GiB, 8 GiB, ...
  // are marked by the index of the first of them.
  mutable std::vector<uint32_t> highStarts_;
  size_t lines_ = 0;  // lines added to a built document
  // Built lines that hold a line break of their own, as (line, length): the
  // only ones whose end IndexLines cannot find from the bytes.
  std::vector<std::pair<size_t, size_t>> brokenLines_;
  bool loaded_ = false;
  TStrings tokens_;
};

// The five special characters as entity references and back. Decoding knows
// only &amp; &lt; &gt; &apos; &quot; and keeps any other "&" as it is.
std::string XmlEncode(std::string_view s);
std::string XmlDecode(std::string_view s);
void AppendXmlEncoded(std::string& out, std::string_view s);
void AppendXmlDecoded(std::string& out, std::string_view s);
