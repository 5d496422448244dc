#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "core/FileLocations.h"
#include "core/Session.h"
#include "support/TempDir.h"

namespace {

TLocationEnv ReadOnly(std::string xdg, std::string home) { return {false, std::move(xdg), std::move(home)}; }

mode_t ModeOf(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

int CountRows(TSession& session, const std::string& sql) {
  auto db = session.OpenDatabase("", "", 0);
  auto rows = db->CreateDynaset(sql, 0);
  return rows->RecordCount();
}

}  // namespace

TEST(FileLocations, AWritableFolderKeepsEverythingBesideTheExecutable) {
  // The environment only matters for a folder the user cannot write.
  TFileLocations loc = MakeFileLocations("/opt/tools/quorrel", {true, "/home/u/data", "/home/u"});
  EXPECT_EQ(loc.ExeDir, "/opt/tools/");
  EXPECT_EQ(loc.BaseName, "quorrel");
  EXPECT_EQ(loc.BasePath, "/opt/tools/quorrel");
  EXPECT_EQ(loc.OptionFile, "/opt/tools/quorrel_Opt.xml");
  EXPECT_EQ(loc.FreqFile, "/opt/tools/quorrel_Frq.xml");
  EXPECT_EQ(loc.ConnectionFile, "/opt/tools/quorrel_Con.xml");
  EXPECT_EQ(loc.HelpFile, "/opt/tools/quorrel.html");
  EXPECT_EQ(loc.InstanceName, "quorrel");
  EXPECT_EQ(loc.DefaultDatabase, "/opt/tools/quorrel.db");
  EXPECT_EQ(loc.DefaultLogDir, "/opt/tools/");
  EXPECT_EQ(loc.DataDir, "");
  EXPECT_EQ(loc.DatabaseTemplate, "");

  // A renamed copy has files and a lock of its own.
  TFileLocations copy = MakeFileLocations("/media/usb/abc", {true, "", "/home/u"});
  EXPECT_EQ(copy.OptionFile, "/media/usb/abc_Opt.xml");
  EXPECT_EQ(copy.DefaultDatabase, "/media/usb/abc.db");
  EXPECT_EQ(copy.HelpFile, "/media/usb/abc.html");
  EXPECT_EQ(copy.InstanceName, "abc");
  EXPECT_EQ(copy.DatabaseTemplate, "/media/usb/quorrel.db");

  TFileLocations ab = MakeFileLocations("/x/a.b.exe");  // only the last extension goes
  EXPECT_EQ(ab.BaseName, "a.b");
  EXPECT_EQ(ab.OptionFile, "/x/a.b_Opt.xml");
  EXPECT_EQ(MakeFileLocations("/x/a.b").BaseName, "a");
  EXPECT_EQ(MakeFileLocations("/x/.hidden").BaseName, ".hidden");
}

TEST(FileLocations, AnInstalledProgramWritesIntoTheUserDataDirectory) {
  struct Case {
    const char* name;
    TLocationEnv env;
    const char* dataDir;
  } cases[] = {
      {"xdg", ReadOnly("/home/u/xdg", "/home/u"), "/home/u/xdg/quorrel/"},
      {"xdg-slash", ReadOnly("/home/u/xdg/", "/home/u"), "/home/u/xdg/quorrel/"},
      {"xdg-unset", ReadOnly("", "/home/u"), "/home/u/.local/share/quorrel/"},
      // A relative XDG_DATA_HOME is invalid and is ignored.
      {"xdg-relative", ReadOnly("xdg", "/home/u/"), "/home/u/.local/share/quorrel/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TFileLocations loc = MakeFileLocations("/usr/bin/quorrel", c.env);
    const std::string data = c.dataDir;
    EXPECT_EQ(loc.DataDir, data);
    EXPECT_EQ(loc.OptionFile, data + "quorrel_Opt.xml");
    EXPECT_EQ(loc.FreqFile, data + "quorrel_Frq.xml");
    EXPECT_EQ(loc.ConnectionFile, data + "quorrel_Con.xml");
    EXPECT_EQ(loc.DefaultDatabase, data + "quorrel.db");
    EXPECT_EQ(loc.DefaultLogDir, data);
    EXPECT_EQ(loc.ExeDir, "/usr/bin/");
    EXPECT_EQ(loc.InstanceName, "quorrel");
    EXPECT_EQ(loc.HelpFile, "/usr/share/quorrel/quorrel.html");
    EXPECT_EQ(loc.DatabaseTemplate, "/usr/share/quorrel/quorrel.db");
  }

  // A renamed copy keeps its own files and lock; the shared files are the package's.
  TFileLocations abc = MakeFileLocations("/opt/q/bin/abc.x", ReadOnly("", "/home/u"));
  EXPECT_EQ(abc.OptionFile, "/home/u/.local/share/quorrel/abc_Opt.xml");
  EXPECT_EQ(abc.FreqFile, "/home/u/.local/share/quorrel/abc_Frq.xml");
  EXPECT_EQ(abc.DefaultDatabase, "/home/u/.local/share/quorrel/abc.db");
  EXPECT_EQ(abc.InstanceName, "abc");
  EXPECT_EQ(abc.HelpFile, "/opt/q/share/quorrel/quorrel.html");
  EXPECT_EQ(abc.DatabaseTemplate, "/opt/q/share/quorrel/quorrel.db");

  // No home at all: nowhere else to go.
  TFileLocations homeless = MakeFileLocations("/usr/bin/quorrel", ReadOnly("", ""));
  EXPECT_EQ(homeless.OptionFile, "/usr/bin/quorrel_Opt.xml");
  EXPECT_EQ(homeless.DataDir, "");
}

TEST(FileLocations, TheDataDirectoryIsMadePrivateWithItsParents) {
  TTempDir dir;
  TFileLocations loc = MakeFileLocations("/usr/bin/quorrel", ReadOnly(dir.File("xdg/deeper"), dir.Path()));
  ASSERT_TRUE(MakeDataDir(loc));
  EXPECT_EQ(ModeOf(dir.File("xdg")), 0700u);
  EXPECT_EQ(ModeOf(loc.DataDir), 0700u);
  // An existing one is left as the user set it.
  chmod(loc.DataDir.c_str(), 0750);
  EXPECT_TRUE(MakeDataDir(loc));
  EXPECT_EQ(ModeOf(loc.DataDir), 0750u);

  // A file in the way is refused, and stays.
  WriteFileBytes(dir.File("file"), "keep");
  EXPECT_FALSE(MakeDataDir(MakeFileLocations("/usr/bin/quorrel", ReadOnly(dir.File("file"), ""))));
  EXPECT_EQ(ReadFileBytes(dir.File("file")), "keep");
  EXPECT_TRUE(MakeDataDir(MakeFileLocations(dir.File("quorrel"))));  // beside the executable: nothing to make
}

TEST(FileLocations, TheEmbeddedDatabaseStartsAsACopyOfTheTemplate) {
  TTempDir dir;
  const std::string templ = dir.File("template.db"), db = dir.File("mine.db");
  {
    auto maker = CreateSession(templ);
    auto t = maker->OpenDatabase("", "", 0);
    t->ExecuteSql("CREATE TABLE EMP (N INTEGER)");
    t->ExecuteSql("INSERT INTO EMP VALUES (1), (2)");
  }
  const std::string original = ReadFileBytes(templ);

  auto session = CreateSession(db, templ);
  EXPECT_EQ(CountRows(*session, "SELECT * FROM EMP"), 2);
  EXPECT_EQ(ModeOf(db), 0600u);
  // The copy is the user's: later connects keep its changes, the template stays.
  session->OpenDatabase("", "", 0)->ExecuteSql("INSERT INTO EMP VALUES (3)");
  EXPECT_EQ(CountRows(*session, "SELECT * FROM EMP"), 3);
  EXPECT_EQ(ReadFileBytes(templ), original);
  // An explicit file is never filled from the template.
  auto other = session->OpenDatabase(dir.File("other.db"), "", 0);
  EXPECT_EQ(other->CreateDynaset("SELECT * FROM sqlite_master", 0)->RecordCount(), 0);

  // Without a template the database is created empty, as beside the executable.
  auto bare = CreateSession(dir.File("bare.db"), dir.File("missing.db"));
  EXPECT_EQ(CountRows(*bare, "SELECT * FROM sqlite_master"), 0);

  // A place that cannot take the copy gives a clear error.
  WriteFileBytes(dir.File("plain"), "keep");
  auto blocked = CreateSession(dir.File("plain/q.db"), templ);
  EXPECT_THROW(blocked->OpenDatabase("", "", 0), std::exception);
  EXPECT_NE(blocked->LastServerErr(), 0);
  EXPECT_FALSE(blocked->LastServerErrText().empty());
  EXPECT_EQ(ReadFileBytes(dir.File("plain")), "keep");
}

// The template may be the database of an instance that is writing to it: the
// copy holds what was committed, never half a transaction.
TEST(FileLocations, ATemplateInTheMiddleOfAWriteIsCopiedWholeOrNotAtAll) {
  TTempDir dir;
  const std::string templ = dir.File("quorrel.db");
  auto writer = CreateSession(templ)->OpenDatabase("", "", 0);
  writer->ExecuteSql("CREATE TABLE EMP (N INTEGER, NOTE TEXT)");
  writer->ExecuteSql("INSERT INTO EMP VALUES (1, 'one'), (2, 'two')");
  // A small cache makes the writer put its uncommitted pages into the file
  // itself, with the journal beside it to undo them.
  writer->ExecuteSql("PRAGMA cache_size = 2");
  writer->ExecuteSql("BEGIN");
  writer->ExecuteSql(
      "WITH RECURSIVE s(n) AS (SELECT 3 UNION ALL SELECT n + 1 FROM s WHERE n < 20000)"
      " INSERT INTO EMP SELECT n, printf('%0200d', n) FROM s");

  // While the writer holds the file, no copy is made, and nothing is left.
  auto early = CreateSession(dir.File("early.db"), templ);
  EXPECT_THROW(early->OpenDatabase("", "", 0), std::exception);
  EXPECT_NE(access(dir.File("early.db").c_str(), F_OK), 0);

  // Once it has let go (here, by giving the transaction up), the copy holds
  // the committed rows and is sound.
  writer->ExecuteSql("ROLLBACK");
  auto later = CreateSession(dir.File("later.db"), templ);
  EXPECT_EQ(CountRows(*later, "SELECT * FROM EMP"), 2);
  auto check = later->OpenDatabase("", "", 0)->CreateDynaset("PRAGMA integrity_check", 0);
  ASSERT_FALSE(check->Eof());
  EXPECT_EQ(check->Field(0).Value().Text, "ok");
  EXPECT_EQ(ModeOf(dir.File("later.db")), 0600u);
}
