#include "storage/AtomicFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "support/TempDir.h"

namespace {

struct FailAfter {
  explicit FailAfter(long long n) { SetAtomicWriteFailAfterForTesting(n); }
  ~FailAfter() { SetAtomicWriteFailAfterForTesting(-1); }
};

size_t EntriesIn(const std::string& dir) {
  size_t n = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}

unsigned ModeOf(const std::string& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st.st_mode & 0777;
}

TEST(AtomicFileTest, ReplacesWholeFileAndReadsItBack) {
  TTempDir dir;
  const std::string f = dir.File("a.txt");
  ASSERT_TRUE(WriteFileAtomic(f, "first version, rather long\r\n"));
  ASSERT_TRUE(WriteFileAtomic(f, std::string("x\0y\r\n", 5)));
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(f, bytes));
  EXPECT_EQ(bytes, std::string("x\0y\r\n", 5));
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);  // no temporary left over
}

TEST(AtomicFileTest, PiecesReplaceTheFileOnlyAtCommit) {
  TTempDir dir;
  const std::string f = dir.File("run.csv");
  WriteFileBytes(f, "old\r\n");
  {
    TAtomicWriter w(f);
    ASSERT_TRUE(w.Write("a,\r\n"));
    ASSERT_TRUE(w.Write(std::string(300000, 'b')));
    EXPECT_EQ(ReadFileBytes(f), "old\r\n");  // nothing shows before the commit
    ASSERT_TRUE(w.Commit());
  }
  EXPECT_EQ(ReadFileBytes(f), "a,\r\n" + std::string(300000, 'b'));
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);

  // Abandoned half-way, or failing in a later piece: the old file stays and
  // no temporary is left; a failed writer stays failed.
  { TAtomicWriter w(f); w.Write("new"); }
  EXPECT_EQ(ReadFileBytes(f).size(), 300004u);
  {
    FailAfter fault(10);
    TAtomicWriter w(f);
    EXPECT_TRUE(w.Write("123456"));
    EXPECT_FALSE(w.Write("7890ab"));
    EXPECT_FALSE(w.Write("c"));
    std::string error;
    EXPECT_FALSE(w.Commit(&error));
    EXPECT_NE(error.find("cannot write"), std::string::npos);
  }
  EXPECT_EQ(ReadFileBytes(f).size(), 300004u);
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);
  TAtomicWriter unnamed("");
  EXPECT_FALSE(unnamed.Write("x"));
  EXPECT_FALSE(unnamed.Commit());
}

TEST(AtomicFileTest, FailureHalfWayLeavesOldFileAndNoTemporary) {
  TTempDir dir;
  const std::string f = dir.File("keep.xml");
  WriteFileBytes(f, "old content\r\n");
  std::string big(200000, 'n');
  for (long long cut : {0LL, 1LL, 70000LL}) {
    SCOPED_TRACE(cut);
    FailAfter fault(cut);
    std::string error;
    EXPECT_FALSE(WriteFileAtomic(f, big, kDefaultFileMode, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadFileBytes(f), "old content\r\n");
    EXPECT_EQ(EntriesIn(dir.Path()), 1u);
  }
  // A failed first write leaves no file at all.
  FailAfter fault(3);
  EXPECT_FALSE(WriteFileAtomic(dir.File("new.xml"), "abcdef"));
  EXPECT_FALSE(std::filesystem::exists(dir.File("new.xml")));
}

TEST(AtomicFileTest, UnwritablePlacesFailCleanly) {
  TTempDir dir;
  std::filesystem::create_directory(dir.File("sub"));
  EXPECT_FALSE(WriteFileAtomic(dir.File("missing/x.txt"), "a"));
  EXPECT_FALSE(WriteFileAtomic(dir.File("sub"), "a"));  // a directory is not replaced
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("sub")));
  EXPECT_FALSE(WriteFileAtomic("", "a"));
  std::string bytes = "stale";
  EXPECT_FALSE(ReadWholeFile(dir.File("none"), bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_FALSE(ReadWholeFile(dir.File("sub"), bytes));
}

TEST(AtomicFileTest, PrivateModeAppliesAlsoWhenReplacingAnOpenFile) {
  TTempDir dir;
  const std::string f = dir.File("opt.xml");
  WriteFileBytes(f, "old");
  chmod(f.c_str(), 0644);
  ASSERT_TRUE(WriteFileAtomic(f, "new", kPrivateFileMode));
  EXPECT_EQ(ModeOf(f), 0600u);
}

TEST(AtomicFileTest, SymbolicLinkIsFollowedAndKept) {
  TTempDir dir;
  const std::string real = dir.File("real.txt"), link = dir.File("link.txt");
  WriteFileBytes(real, "old");
  ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
  ASSERT_TRUE(WriteFileAtomic(link, "new"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadFileBytes(real), "new");
}

}  // namespace

namespace {

TEST(AtomicFileTest, TemporariesOfDeadWritersAreRemovedByTheNextWrite) {
  TTempDir dir;
  const pid_t dead = fork();
  if (dead == 0) _exit(0);
  ASSERT_GT(dead, 0);
  waitpid(dead, nullptr, 0);
  const std::string d = std::to_string(dead);
  const std::string stale = dir.File(".a.txt." + d + ".0.1234abcd.tmp");
  const std::string live = dir.File(".a.txt." + std::to_string(getppid()) + ".0.1234abcd.tmp");
  const std::string other = dir.File(".b.txt." + d + ".0.1234abcd.tmp");
  const std::string notOurs = dir.File(".a.txt." + d + ".notes");
  for (const std::string& f : {stale, live, other, notOurs}) WriteFileBytes(f, "half");

  ASSERT_TRUE(WriteFileAtomic(dir.File("a.txt"), "whole"));
  EXPECT_FALSE(std::filesystem::exists(stale));
  EXPECT_TRUE(std::filesystem::exists(live));     // another instance still writing
  EXPECT_TRUE(std::filesystem::exists(other));    // belongs to another file
  EXPECT_TRUE(std::filesystem::exists(notOurs));  // not a temporary of ours
  EXPECT_EQ(ReadFileBytes(dir.File("a.txt")), "whole");
}

}  // namespace

namespace {

struct Umask {
  explicit Umask(mode_t m) : old(umask(m)) {}
  ~Umask() { umask(old); }
  mode_t old;
};

struct stat StatOf(const std::string& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st;
}

TEST(AtomicFileTest, AReplacedFileKeepsItsModeAndANewOneFollowsTheUmask) {
  TTempDir dir;
  Umask mask(022);
  const std::string f = dir.File("q.sql");
  ASSERT_TRUE(WriteFileAtomic(f, "new"));
  EXPECT_EQ(ModeOf(f), 0644u);
  for (unsigned mode : {0600u, 0640u, 0755u, 0444u}) {
    SCOPED_TRACE(mode);
    chmod(f.c_str(), mode);
    ASSERT_TRUE(WriteFileAtomic(f, "again"));
    EXPECT_EQ(ModeOf(f), mode);
  }
  // A private file is created private and never keeps group or other access.
  const std::string opt = dir.File("opt.xml");
  ASSERT_TRUE(WriteFileAtomic(opt, "a", kPrivateFileMode));
  EXPECT_EQ(ModeOf(opt), 0600u);
  chmod(opt.c_str(), 0664);
  ASSERT_TRUE(WriteFileAtomic(opt, "b", kPrivateFileMode));
  EXPECT_EQ(ModeOf(opt), 0600u);
  chmod(opt.c_str(), 0400);
  ASSERT_TRUE(WriteFileAtomic(opt, "c", kPrivateFileMode));
  EXPECT_EQ(ModeOf(opt), 0400u);
  EXPECT_EQ(ReadFileBytes(opt), "c");

  // Written through a pieced writer too (the result files).
  const std::string csv = dir.File("r.csv");
  WriteFileBytes(csv, "old");
  chmod(csv.c_str(), 0600);
  TAtomicWriter w(csv);
  ASSERT_TRUE(w.Write("x"));
  ASSERT_TRUE(w.Commit());
  EXPECT_EQ(ModeOf(csv), 0600u);
}

TEST(AtomicFileTest, AnotherUsersFileKeepsItsOwnerOrLosesTheGroupItCannotKeep) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to make files of other users";
  TTempDir dir;
  chmod(dir.Path().c_str(), 0777);
  // Root may give the owner back.
  const std::string f = dir.File("theirs.sql");
  WriteFileBytes(f, "old");
  ASSERT_EQ(chown(f.c_str(), 65534, 65534), 0);
  chmod(f.c_str(), 0640);
  ASSERT_TRUE(WriteFileAtomic(f, "new"));
  EXPECT_EQ(StatOf(f).st_uid, 65534u);
  EXPECT_EQ(StatOf(f).st_gid, 65534u);
  EXPECT_EQ(ModeOf(f), 0640u);

  // A plain user who may not give the group: the group's access goes.
  const std::string g = dir.File("shared.sql");
  WriteFileBytes(g, "old");
  ASSERT_EQ(chown(g.c_str(), 65534, 0), 0);
  chmod(g.c_str(), 0640);
  const pid_t child = fork();
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    _exit(WriteFileAtomic(g, "new") ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(ReadFileBytes(g), "new");
  EXPECT_NE(StatOf(g).st_gid, 0u);
  EXPECT_EQ(ModeOf(g), 0600u);
}

TEST(AtomicFileTest, OnlyRegularFilesAreReadOrReplaced) {
  TTempDir dir;
  const std::string fifo = dir.File("pipe.sql");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // A read that blocks would hang here: the alarm ends the test instead.
  alarm(20);
  std::string bytes = "stale";
  EXPECT_FALSE(ReadWholeFile(fifo, bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_FALSE(ReadWholeFile("/dev/null", bytes));
  EXPECT_FALSE(ReadWholeFile("/dev/zero", bytes));
  EXPECT_FALSE(ReadWholeFile(dir.Path(), bytes));
  // Through a link to the FIFO as well.
  const std::string link = dir.File("link.sql");
  ASSERT_EQ(symlink(fifo.c_str(), link.c_str()), 0);
  EXPECT_FALSE(ReadWholeFile(link, bytes));
  alarm(0);

  // Saving onto one leaves it what it is.
  EXPECT_FALSE(WriteFileAtomic(fifo, "select 1"));
  EXPECT_TRUE(S_ISFIFO(StatOf(fifo).st_mode));
  EXPECT_FALSE(WriteFileAtomic(link, "select 1"));
  EXPECT_TRUE(S_ISFIFO(StatOf(fifo).st_mode));
  EXPECT_EQ(EntriesIn(dir.Path()), 2u);
}

TEST(AtomicFileTest, DeadWritersTemporariesOfChosenTargetsAreRemoved) {
  TTempDir dir;
  const pid_t dead = fork();
  if (dead == 0) _exit(0);
  ASSERT_GT(dead, 0);
  waitpid(dead, nullptr, 0);
  const std::string d = std::to_string(dead), live = std::to_string(getppid());
  const std::string stale = dir.File(".20010403_090507.csv." + d + ".3.00c0ffee.tmp");
  const std::string running = dir.File(".20010403_090508.csv." + live + ".0.1234abcd.tmp");
  const std::string unwanted = dir.File(".notes.txt." + d + ".0.1234abcd.tmp");
  const std::string shortRandom = dir.File(".20010403_090509.csv." + d + ".0.1234abc.tmp");
  const std::string noBase = dir.File(".." + d + ".0.1234abcd.tmp");
  for (const std::string& f : {stale, running, unwanted, shortRandom, noBase}) WriteFileBytes(f, "half");
  const std::string folder = dir.File(".20010403_090510.csv." + d + ".0.1234abcd.tmp");
  std::filesystem::create_directory(folder);

  RemoveDeadTemporaries(dir.Path(), [](std::string_view base) { return base.ends_with(".csv"); });
  EXPECT_FALSE(std::filesystem::exists(stale));
  for (const std::string& f : {running, unwanted, shortRandom, noBase, folder}) {
    SCOPED_TRACE(f);
    EXPECT_TRUE(std::filesystem::exists(f));
  }
}

}  // namespace
