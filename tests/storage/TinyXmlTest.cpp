#include "storage/TinyXml.h"

#include <gtest/gtest.h>

#include "Golden.h"
#include "core/Sjis.h"
#include "storage/StorageError.h"
#include "support/TempDir.h"

namespace {

const std::string kDecl = "<?xml version = \"1.0\" encoding = \"Shift_JIS\" ?>\r\n";

std::vector<std::string> Entries(const TTinyXml& doc) {
  std::vector<std::string> v;
  for (int i = 0; i < doc.Count(); ++i) v.emplace_back(doc.Text(i));
  return v;
}

std::vector<int> Levels(const TTinyXml& doc) {
  std::vector<int> v;
  for (int i = 0; i < doc.Count(); ++i) v.push_back(doc.GetLevel(i));
  return v;
}

std::string LoadError(const std::string& bytes) {
  TTinyXml doc;
  try {
    doc.LoadFromBytes(bytes);
  } catch (const TXmlError& e) {
    EXPECT_EQ(doc.Count(), 0);
    return e.what();
  }
  return "loaded";
}

TEST(TinyXmlTest, WritesTheSettingsExampleByteForByte) {
  TTinyXml doc;
  doc.AddNode(xnDeclaration, "", "", 0);
  doc.AddNode(xnComment, "", SJ("注意！！このファイルを変更しないで下さい。"), 0);
  doc.AddNode(xnComment, "", SJ("オプション"), 0);
  doc.AddNode(xnStartTag, "Option", "", 0);
  doc.AddNode(xnComment, "", SJ("データベース接続"), 1);
  doc.AddNode(xnStartTag, "Login", "", 1);
  doc.AddNode(xnText, "User", "abc", 2);
  doc.AddNode(xnEndTag, "Login", "", 1);
  doc.AddNode(xnEndTag, "Option", "", 0);
  TTempDir dir;
  doc.SaveToFile(dir.File("opt.xml"));
  EXPECT_EQ(ReadFileBytes(dir.File("opt.xml")), Golden("settings_example.xml"));

  TTinyXml in;
  in.LoadFromFile(GoldenPath("settings_example.xml"));
  int root = in.FindNext(0, "Option");
  ASSERT_NE(root, -1);
  EXPECT_EQ(in.ChildText(in.FindChild(root, "Login"), "User"), "abc");
  EXPECT_EQ(in.GetLevel(root), 0);
}

// A built document finds its lines from the bytes only when asked; a line that
// holds a break of its own must still come back whole, and the lines after it.
TEST(TinyXmlTest, BuiltLinesReadBackWholeAroundEmbeddedBreaks) {
  TTinyXml doc;
  doc.AddNode(xnStartTag, "a", "", 0);
  doc.AddNode(xnText, "b", "x\r\ny\rz\n", 1);
  doc.AddNode(xnComment, "", "", 0);
  doc.AddNode(xnText, "", "\n", 2);
  doc.AddNode(xnEndTag, "a", "", 0);
  EXPECT_EQ(Entries(doc), (std::vector<std::string>{"<a>", "\t<b>x\r\ny\rz\n</b>", "<!---->", "\t\t\n", "</a>"}));
  EXPECT_EQ(Levels(doc), (std::vector<int>{-1, -1, -1, -1, -1}));
  doc.AddNode(xnEmptyTag, "c", "", 0);
  EXPECT_EQ(doc.Count(), 6);
  EXPECT_EQ(doc.Text(5), "<c/>");
  EXPECT_EQ(doc.Bytes(), "<a>\r\n\t<b>x\r\ny\rz\n</b>\r\n<!---->\r\n\t\t\n\r\n</a>\r\n<c/>\r\n");
}

TEST(TinyXmlTest, DeclarationCheck) {
  struct Case {
    const char* name;
    std::string bytes;
    bool ok;
  } cases[] = {
      {"compact", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<a/>\r\n", true},
      {"spaced", kDecl, true},
      {"trailing attribute after ?", "<?xml version=\"1.0\" encoding=\"Shift_JIS\" ? x>", true},
      {"leading blank", " " + kDecl, false},
      {"trailing blank", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?> \r\n", false},
      {"byte-order mark", "\xEF\xBB\xBF" + kDecl, false},
      {"single quotes", "<?xml version='1.0' encoding=\"Shift_JIS\"?>", false},
      {"utf-8", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>", false},
      {"lower-case encoding", "<?xml version=\"1.0\" encoding=\"shift_jis\"?>", false},
      {"standalone", "<?xml version=\"1.0\" encoding=\"Shift_JIS\" standalone=\"yes\"?>", false},
      {"element on the same line", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><a/>", false},
      {"empty first line", "\r\n" + kDecl, false},
      {"binary", std::string("\x00\xFF<\x81>\x01", 6), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string result = LoadError(c.bytes);
    if (c.ok) EXPECT_EQ(result, "loaded");
    else EXPECT_EQ(result, "XML Header Error");
  }
  // Too short to hold the declaration at all, and no line at all.
  EXPECT_NE(LoadError("<?xml?>"), "loaded");
  EXPECT_NE(LoadError(""), "loaded");

  TTinyXml only;
  only.LoadFromBytes(kDecl);
  EXPECT_EQ(only.Count(), 1);
  EXPECT_EQ(only.FindNext(0, "Option"), -1);

  TTinyXml missing;
  EXPECT_THROW(missing.LoadFromFile("/nonexistent/file.xml"), TFileError);
}

TEST(TinyXmlTest, LineSplittingIntoEntries) {
  TTinyXml doc;
  doc.LoadFromBytes(kDecl +
                    "<a><b>x</b></a>\r\n"
                    "\t\t<User>abc</User>\n"
                    "\t\tcontinued text\r"
                    "\r\n"
                    "junk<c/>tail  \r\n"
                    "<open");
  EXPECT_EQ(Entries(doc),
            (std::vector<std::string>{kDecl.substr(0, kDecl.size() - 2), "<a>", "<b>", "x", "</b>", "</a>", "<User>", "abc",
                                      "</User>", "\t\tcontinued text", "<c/>", "tail  ", "<open"}));
  EXPECT_EQ(Levels(doc), (std::vector<int>{0, 0, 1, 2, 1, 0, 0, 1, 0, 0, 0, 0, 0}));
}

TEST(TinyXmlTest, NavigationOverContentAndEmptyElements) {
  TTinyXml doc;
  doc.LoadFromBytes(kDecl +
                    "<r>\r\n"
                    "\t<!--c-->\r\n"
                    "\t<a></a>\r\n"
                    "\t<e/>\r\n"
                    "\t<Info>\r\n"
                    "\t\t<x>1</x>\r\n"
                    "\t\t<y>line1\r\nline2</y>\r\n"
                    "\t</Info>\r\n"
                    "\t<s>a &amp;lt; &#65;</s>\r\n"
                    "</r>\r\n");
  int r = doc.FindNext(0, "r");
  ASSERT_EQ(r, 1);
  EXPECT_EQ(doc.FirstChild(r), 2);  // the comment is a child like any other
  EXPECT_EQ(doc.NextSibling(2), 3);
  int a = doc.FindChild(r, "a");
  EXPECT_EQ(doc.FirstChild(a), -1);
  EXPECT_EQ(doc.NextSibling(a), a + 2);  // passes over </a>
  EXPECT_EQ(doc.ChildText(r, "a"), "");
  EXPECT_EQ(doc.FirstChild(doc.FindChild(r, "e")), -1);
  EXPECT_EQ(doc.ChildText(r, "e"), "");
  int info = doc.FindChild(r, "Info");
  EXPECT_EQ(doc.ChildText(info, "x"), "1");
  EXPECT_EQ(doc.ChildText(info, "y"), "line1");  // multi-line values give their first line
  EXPECT_EQ(doc.FindChild(r, "info"), -1);
  EXPECT_EQ(doc.FindChild(info, "s"), -1);  // not a child of Info
  EXPECT_EQ(doc.FindNext(info, "s"), info + 10);
  EXPECT_EQ(doc.ChildText(r, "s"), "a &lt; &#65;");
  EXPECT_EQ(doc.FindNext(info, "Info"), -1);
  EXPECT_EQ(doc.NextSibling(doc.Count() - 1), -1);
  for (int bad : {-1, doc.Count(), 1 << 30}) {
    EXPECT_EQ(doc.FirstChild(bad), -1);
    EXPECT_EQ(doc.NextSibling(bad), -1);
    EXPECT_EQ(doc.GetLevel(bad), -1);
    EXPECT_EQ(doc.Text(bad), "");
  }
}

TEST(TinyXmlTest, MismatchedEndTagCutsOffTheRest) {
  TTinyXml doc;
  doc.LoadFromBytes(kDecl + "<r>\r\n<p>1</p>\r\n<a><b>x</c></a>\r\n<q>2</q>\r\n</r>\r\n");
  EXPECT_EQ(Levels(doc), (std::vector<int>{0, 0, 1, 2, 1, 1, 2, 3, -1, -1, -1, -1, -1, -1}));
  int r = doc.FindNext(0, "r");
  EXPECT_EQ(doc.ChildText(r, "p"), "1");  // the part before the mismatch stays readable
  EXPECT_EQ(doc.FindChild(r, "q"), -1);
  EXPECT_EQ(doc.NextSibling(doc.Count() - 2), -1);

  // Unclosed elements are no error either.
  TTinyXml open;
  open.LoadFromBytes(kDecl + "<r>\r\n<p>1</p>\r\n<q>");
  EXPECT_EQ(open.ChildText(open.FindNext(0, "r"), "p"), "1");
}

TEST(TinyXmlTest, DeepAndWideDocumentsNeedNoStack) {
  const int depth = 200000;
  std::string bytes = kDecl;
  for (int i = 0; i < depth; ++i) bytes += "<d>";
  bytes += "x";
  for (int i = 0; i < depth; ++i) bytes += "</d>";
  bytes += "\r\n";
  TTinyXml doc;
  doc.LoadFromBytes(bytes);
  EXPECT_EQ(doc.GetLevel(depth), depth - 1);
  EXPECT_EQ(doc.GetLevel(depth + 1), depth);  // the text
  EXPECT_EQ(doc.FindNext(1, "d"), -1);
  EXPECT_EQ(doc.FindChild(1, "nothing"), -1);
}

TEST(TinyXmlTest, NodeTypesAndNames) {
  struct Case {
    const char* text;
    TXmlNodeType type;
    const char* name;
  } cases[] = {
      {"abc", xnText, ""},
      {"", xnText, ""},
      {"a>b", xnInvalid, ""},
      {"<a", xnInvalid, ""},
      {"<!--x-->", xnComment, ""},
      {"<!-->", xnComment, ""},
      {"<?xml ?>", xnDeclaration, ""},
      {"</Info>", xnEndTag, "Info"},
      {"<Li/>", xnEmptyTag, "Li"},
      {"<C3 Type=\"1\">", xnStartTag, "C3"},
      {"<A\tB>", xnStartTag, "A\tB"},  // only a blank ends a name
      {"<>", xnStartTag, ""},
      {"</>", xnStartTag, "/"},
      {"<a />", xnEmptyTag, "a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(TTinyXml::NodeType(c.text), c.type);
    EXPECT_EQ(TTinyXml::TagName(c.text), c.name);
  }
}

TEST(TinyXmlTest, TagTokensAndAttributes) {
  TTinyXml doc;
  doc.SplitTag("C1 Type=\"NUMBER\" Size=\"22\"");
  EXPECT_EQ(doc.TagTokens(), (TStrings{"C1", "Type", "=", "\"NUMBER\"", "Size", "=", "\"22\""}));
  EXPECT_EQ(doc.AttributeValue("Type"), "NUMBER");
  EXPECT_EQ(doc.AttributeValue("Size"), "22");
  EXPECT_EQ(doc.AttributeValue("Scale"), "");
  EXPECT_EQ(doc.AttributeValue("type"), "");

  doc.SplitTag("  a=(x y) [p q] <r s> b)c 'open");
  EXPECT_EQ(doc.TagTokens(), (TStrings{"a", "=", "(x y)", "[p q]", "<r s>", "b)c", "'open"}));

  // A NUL byte from a damaged file is an ordinary byte of its token.
  doc.SplitTag(std::string("a\0b=\"1\"", 7));
  EXPECT_EQ(doc.TagTokens(), (TStrings{std::string("a\0b", 3), "=", "\"1\""}));

  doc.SplitTag("C1 Size='3' Scale=\"1\"");
  EXPECT_EQ(doc.AttributeValue("Size"), "");
  EXPECT_EQ(doc.AttributeValue("Scale"), "1");
  doc.SplitTag("C1 Size \"3\" Scale=\"1\"");
  EXPECT_EQ(doc.AttributeValue("Size"), "");  // no "=": the search ends
  doc.SplitTag("C1 Size=\"\" Scale=\"\"\"");
  EXPECT_EQ(doc.AttributeValue("Size"), "");
  doc.SplitTag("C1 Size=");
  EXPECT_EQ(doc.AttributeValue("Size"), "");
}

TEST(TinyXmlTest, EntityEncodingRoundTrip) {
  EXPECT_EQ(XmlEncode("a<b & 'c'"), "a&lt;b &amp; &apos;c&apos;");
  EXPECT_EQ(XmlDecode("a&lt;b &amp; &apos;c&apos;"), "a<b & 'c'");
  EXPECT_EQ(XmlEncode("&amp;\">"), "&amp;amp;&quot;&gt;");
  EXPECT_EQ(XmlDecode("&amp;lt;"), "&lt;");
  EXPECT_EQ(XmlDecode("&#65; & &AMP; &lt &quot;"), "&#65; & &AMP; &lt \"");
  const std::string sjis = SJ("表示「<予定>」&ソ");  // 0x95 0x5C: a second byte that looks like '\'
  EXPECT_EQ(XmlDecode(XmlEncode(sjis)), sjis);
}

TEST(TinyXmlTest, SaveFailureLeavesOldFile) {
  TTempDir dir;
  TTinyXml doc;
  doc.AddNode(xnDeclaration, "", "", 0);
  EXPECT_THROW(doc.SaveToFile(dir.File("no/such/dir.xml")), TFileError);
  try {
    doc.SaveToFile(dir.Path());  // a directory
    ADD_FAILURE();
  } catch (const TFileError& e) {
    EXPECT_NE(std::string(e.what()).find(SJ("を作成できません")), std::string::npos);
  }
}

}  // namespace
