// The recent connections: their order, bound and file.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "core/Sjis.h"
#include "storage/ConnectionList.h"
#include "support/TempDir.h"

namespace {

std::vector<TConnection> Logins(std::initializer_list<const char*> hostUserPairs) {
  std::vector<TConnection> out;
  for (auto it = hostUserPairs.begin(); it != hostUserPairs.end(); it += 2) out.push_back({*it, *(it + 1)});
  return out;
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

}  // namespace

TEST(ConnectionListTest, MostRecentFirstWithoutDuplicates) {
  struct TCase {
    const char* name;
    std::vector<TConnection> touched;
    std::vector<TConnection> expected;
  } cases[] = {
      {"newest first", Logins({"a.db", "", "b.db", "", "c.db", ""}), Logins({"c.db", "", "b.db", "", "a.db", ""})},
      {"again moves to the top", Logins({"a.db", "u", "b.db", "u", "a.db", "u"}),
       Logins({"a.db", "u", "b.db", "u"})},
      {"same host, other user", Logins({"db", "scott", "db", "system"}), Logins({"db", "system", "db", "scott"})},
      {"bytes compare exactly", Logins({"DB", "Scott", "db", "scott"}), Logins({"db", "scott", "DB", "Scott"})},
      {"the embedded database", Logins({"", "", "x.db", "", "", ""}), Logins({"", "", "x.db", ""})},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TConnectionList list;
    for (const TConnection& t : c.touched) EXPECT_FALSE(list.Touch(t));
    EXPECT_EQ(list.Items(), c.expected);
  }
}

TEST(ConnectionListTest, TwentyAtMostAndRemoval) {
  TConnectionList list;
  for (int i = 1; i <= 20; ++i) EXPECT_FALSE(list.Touch({"h" + std::to_string(i), "u"}));
  // The oldest goes; touching a listed one drops nothing.
  EXPECT_EQ(list.Touch({"h21", "u"}), (TConnection{"h1", "u"}));
  EXPECT_FALSE(list.Touch({"h2", "u"}));
  ASSERT_EQ(list.Items().size(), 20u);
  EXPECT_EQ(list.Items().front(), (TConnection{"h2", "u"}));
  EXPECT_EQ(list.Items().back(), (TConnection{"h3", "u"}));

  list.Remove(0);
  list.Remove(-1);
  list.Remove(19);
  EXPECT_EQ(list.Items().size(), 19u);
  EXPECT_EQ(list.Find({"h2", "u"}), -1);
  EXPECT_EQ(list.Find({"h21", "u"}), 0);
}

TEST(ConnectionListTest, FileRoundTripIsPrivate) {
  TTempDir dir;
  const std::string path = dir.File("q_Con.xml");
  TConnectionList list;
  list.Touch({"postgresql://db/shop?a=1&b=2", "scott"});
  list.Touch({SJ("営業.db"), "<me>"});
  ASSERT_TRUE(WriteConnectionFile(path, list));
  EXPECT_EQ(ReadFileBytes(path),
            SJ("<?xml version = \"1.0\" encoding = \"Shift_JIS\" ?>\r\n"
               "<!--注意！！このファイルを変更しないで下さい。-->\r\n"
               "<!--接続先一覧-->\r\n"
               "<Connections>\r\n"
               "\t<Login>\r\n\t\t<User>&lt;me&gt;</User>\r\n\t\t<Connect>営業.db</Connect>\r\n\t</Login>\r\n"
               "\t<Login>\r\n\t\t<User>scott</User>\r\n\t\t<Connect>postgresql://db/shop?a=1&amp;b=2</Connect>\r\n"
               "\t</Login>\r\n"
               "</Connections>\r\n"));
  struct stat st{};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  TConnectionList back;
  EXPECT_EQ(ReadConnectionFile(path, back).State, TConnectionFileState::Read);
  EXPECT_EQ(back.Items(), list.Items());

  // No file yet is an empty list, and nothing is made.
  EXPECT_EQ(ReadConnectionFile(dir.File("none.xml"), back).State, TConnectionFileState::Read);
  EXPECT_TRUE(back.Items().empty());
  EXPECT_FALSE(Exists(dir.File("none.xml")));
}

TEST(ConnectionListTest, DamagedFilesAreSetAsideWhole) {
  TTempDir dir;
  const std::string path = dir.File("q_Con.xml");
  TConnectionList two;
  two.Touch({"a.db", "u"});
  two.Touch({"b.db", "u"});
  const std::string whole = ConnectionFileBytes(two);
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"no declaration", "<Connections>\r\n</Connections>\r\n"},
      {"cut short", whole.substr(0, whole.size() - 20)},
      {"mismatched tags", SJ("<?xml version = \"1.0\" encoding = \"Shift_JIS\" ?>\r\n<Connections>\r\n\t<Login>\r\n"
                             "\t</Logon>\r\n</Connections>\r\n")},
      {"another file", SJ("<?xml version = \"1.0\" encoding = \"Shift_JIS\" ?>\r\n<Option>\r\n</Option>\r\n")},
      {"binary", std::string("\x00\xff\x81<\x00", 5)},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFileBytes(path, c.bytes);
    TConnectionList list;
    list.Touch({"left", "over"});
    const TConnectionFileResult read = ReadConnectionFile(path, list);
    const std::string aside = path + ".bad" + (++n == 1 ? std::string() : std::to_string(n));
    EXPECT_EQ(read.State, TConnectionFileState::SetAside);
    EXPECT_EQ(read.SetAsideAs, aside);
    EXPECT_TRUE(list.Items().empty());
    EXPECT_FALSE(Exists(path));
    EXPECT_EQ(ReadFileBytes(aside), c.bytes);
  }
}
