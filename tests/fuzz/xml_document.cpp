// The XML document on any bytes: loading either succeeds or throws a storage
// error, and afterwards every navigation call on every entry stays inside the
// document and keeps its contract.

#include "FuzzSupport.h"
#include "storage/StorageError.h"
#include "storage/TinyXml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TTinyXml doc;
  try {
    doc.LoadFromBytes(std::string(reinterpret_cast<const char*>(data), size));
  } catch (const TStorageError&) {
    FUZZ_CHECK(doc.Count() == 0);
    return 0;
  }
  const int n = doc.Count();
  FUZZ_CHECK(n > 0);
  FUZZ_CHECK(TTinyXml::NodeType(doc.Text(0)) == xnDeclaration || doc.GetLevel(0) == 0);
  for (int i = -1; i <= n; ++i) {
    const std::string_view text = doc.Text(i);
    const int level = doc.GetLevel(i);
    FUZZ_CHECK(level >= -1);
    if (i < 0 || i >= n) FUZZ_CHECK(text.empty() && level == -1);

    const int child = doc.FirstChild(i);
    FUZZ_CHECK(child == -1 || (child == i + 1 && doc.GetLevel(child) > level));
    const int next = doc.NextSibling(i);
    FUZZ_CHECK(next == -1 || (next > i && next < n && doc.GetLevel(next) == level));
    if (next != -1) FUZZ_CHECK(TTinyXml::NodeType(doc.Text(next)) != xnEndTag);

    const TXmlNodeType type = TTinyXml::NodeType(text);
    FUZZ_CHECK(type >= xnText && type <= xnInvalid);
    const std::string_view name = TTinyXml::TagName(text);
    FUZZ_CHECK(name.size() <= text.size());
    if (!name.empty()) FUZZ_CHECK(text.find(name) != std::string_view::npos);

    // Look for this entry's own name and for the name of its first child.
    const std::string_view childName = TTinyXml::TagName(doc.Text(child));
    const int found = doc.FindChild(i, childName);
    FUZZ_CHECK(found == -1 || (found > i && found < n && doc.GetLevel(found) == doc.GetLevel(child)));
    if (child != -1 && TTinyXml::NodeType(doc.Text(child)) != xnEndTag) FUZZ_CHECK(found != -1);
    const int later = doc.FindNext(i, name);
    FUZZ_CHECK(later == -1 || (later > i && TTinyXml::TagName(doc.Text(later)) == name));
    const std::string value = doc.ChildText(i, childName);
    FUZZ_CHECK(value.size() <= static_cast<size_t>(size));

    if (text.size() >= 2) {
      doc.SplitTag(text.substr(1, text.size() - 2));
      size_t total = 0;
      for (const std::string& t : doc.TagTokens()) {
        FUZZ_CHECK(!t.empty());
        total += t.size();
      }
      FUZZ_CHECK(total <= text.size());
      for (const char* attr : {"Type", "Size", "Precision", "Scale"}) {
        const std::string v = doc.AttributeValue(attr);
        FUZZ_CHECK(v.size() + 2 <= text.size() || v.empty());
      }
    }
    const std::string decoded = XmlDecode(text);
    FUZZ_CHECK(decoded.size() <= text.size());
    FUZZ_CHECK(XmlDecode(XmlEncode(text)) == text);
  }
  return 0;
}
