#include "storage/ConnectionList.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>

#include "core/Sjis.h"
#include "storage/AtomicFile.h"
#include "storage/TinyXml.h"

namespace {

constexpr std::string_view kRoot = "Connections";

// Only a document that ends with the root's own end tag is whole: a file cut
// short or edited into mismatched tags reads as a shorter list otherwise, and
// the next write would make that loss final.
bool IsComplete(const TTinyXml& doc, int root) {
  const int last = doc.Count() - 1;
  return root != -1 && doc.GetLevel(root) == 0 && last > root && doc.GetLevel(last) == 0 &&
         TTinyXml::NodeType(doc.Text(last)) == xnEndTag && TTinyXml::TagName(doc.Text(last)) == kRoot;
}

std::string SetAside(const std::string& path) {
  for (int n = 1; n < 100; ++n) {
    std::string target = path + ".bad" + (n == 1 ? std::string() : std::to_string(n));
    if (access(target.c_str(), F_OK) == 0) continue;
    return std::rename(path.c_str(), target.c_str()) == 0 ? target : std::string();
  }
  return {};
}

}  // namespace

int TConnectionList::Find(const TConnection& c) const {
  auto it = std::find(items_.begin(), items_.end(), c);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

std::optional<TConnection> TConnectionList::Touch(const TConnection& c) {
  if (int i = Find(c); i != -1) items_.erase(items_.begin() + i);
  items_.insert(items_.begin(), c);
  if (items_.size() <= kMaxCount) return std::nullopt;
  TConnection dropped = std::move(items_.back());
  items_.pop_back();
  return dropped;
}

void TConnectionList::Remove(int index) {
  if (index < 0 || static_cast<size_t>(index) >= items_.size()) return;
  items_.erase(items_.begin() + index);
}

void TConnectionList::Append(const TConnection& c) {
  if (items_.size() < kMaxCount && Find(c) == -1) items_.push_back(c);
}

TConnectionFileResult ReadConnectionFile(const std::string& path, TConnectionList& list) {
  list = TConnectionList();
  if (access(path.c_str(), F_OK) != 0) return {};
  TTinyXml doc;
  bool whole = false;
  try {
    doc.LoadFromFile(path);
    whole = IsComplete(doc, doc.FindNext(0, kRoot));
  } catch (const std::exception&) {
    whole = false;
  }
  if (!whole) {
    std::string aside = SetAside(path);
    if (aside.empty()) return {TConnectionFileState::Ignored, {}};
    return {TConnectionFileState::SetAside, std::move(aside)};
  }
  const int root = doc.FindNext(0, kRoot);
  for (int e = doc.FindChild(root, "Login"); e != -1; e = doc.FindNext(e, "Login"))
    list.Append({doc.ChildText(e, "Connect"), doc.ChildText(e, "User")});
  return {};
}

std::string ConnectionFileBytes(const TConnectionList& list) {
  TTinyXml doc;
  doc.AddNode(xnDeclaration, "", "", 0);
  doc.AddNode(xnComment, "", SJ("注意！！このファイルを変更しないで下さい。"), 0);
  doc.AddNode(xnComment, "", SJ("接続先一覧"), 0);
  doc.AddNode(xnStartTag, kRoot, "", 0);
  for (const TConnection& c : list.Items()) {
    doc.AddNode(xnStartTag, "Login", "", 1);
    doc.AddNode(xnText, "User", c.User, 2);
    doc.AddNode(xnText, "Connect", c.Host, 2);
    doc.AddNode(xnEndTag, "Login", "", 1);
  }
  doc.AddNode(xnEndTag, kRoot, "", 0);
  return doc.Bytes();
}

bool WriteConnectionFile(const std::string& path, const TConnectionList& list, std::string* error) {
  return WriteFileAtomic(path, ConnectionFileBytes(list), kPrivateFileMode, error);
}
