// The draft of the edit area's text: written behind the typing, offered back
// after a kill, gone after a normal end.

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "AppFixture.h"
#include "app/DraftKeeper.h"
#include "core/Sjis.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kChildDir = "QUORREL_DRAFT_CHILD_DIR";
const QString kQuestion = QString::fromUtf8("前回終了時に保存されていないＳＱＬがあります。復元しますか？");

ino_t Inode(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

}  // namespace

TEST_F(AppTest, TheDraftFollowsTheTextAndGoesAtANormalEnd) {
  ASSERT_TRUE(StartApp());
  Connect();
  const std::string draft = App().Files().DraftFile;
  EXPECT_EQ(draft, dir.File("quorrel_Draft.sql"));
  App().Draft().SaveNow();
  EXPECT_FALSE(fs::exists(draft));  // nothing typed, nothing kept

  Main().edtSql->setPlainText(Q8("SELECT '社員' FROM T\n-- 表"));
  App().Draft().SaveNow();
  EXPECT_EQ(ReadFileBytes(draft), "-- 0\r\n" + SJ("SELECT '社員' FROM T\r\n-- 表"));
  EXPECT_EQ(fs::status(draft).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  // Unchanged text is not written again.
  const ino_t first = Inode(draft);
  App().Draft().SaveNow();
  EXPECT_EQ(Inode(draft), first);

  // A character Shift_JIS cannot hold keeps the draft in UTF-8.
  Main().edtSql->setPlainText(QString::fromUtf8("SELECT '\U0001F600'"));
  App().Draft().SaveNow();
  EXPECT_EQ(ReadFileBytes(draft), "\xEF\xBB\xBF-- 0\r\nSELECT '\U0001F600'");

  // An emptied edit area has no draft; the normal end removes it.
  Main().edtSql->clear();
  App().Draft().SaveNow();
  EXPECT_FALSE(fs::exists(draft));
  Main().edtSql->setPlainText(QStringLiteral("SELECT 1"));
  App().Draft().SaveNow();
  EXPECT_TRUE(fs::exists(draft));
  app_.reset();
  EXPECT_FALSE(fs::exists(draft));
}

TEST_F(AppTest, ALeftoverDraftIsOfferedOnceAtConnect) {
  struct TCase {
    const char* Name;
    std::string Bytes;
    bool Yes;
    QString Text;           // in the edit area afterwards
    std::string PathFile;   // the file it belongs to afterwards (cp932)
  } cases[] = {
      {"restored with its file", "-- 0 /tmp/q.sql\r\n" + SJ("SELECT '表'\r\nFROM T"), true, Q8("SELECT '表'\nFROM T"),
       "/tmp/q.sql"},
      {"restored in UTF-8", "\xEF\xBB\xBF-- 2\r\nSELECT '\xC3\xA9'", true, Q8("SELECT 'é'"), ""},
      {"a foreign first line stays text", "SELECT 1\r\nFROM T", true, Q8("SELECT 1\nFROM T"), ""},
      {"declined", "-- 0 /tmp/q.sql\r\nSELECT 2", false, QString(), ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string draft = dir.File("quorrel_Draft.sql");
    std::ofstream(draft, std::ios::binary) << c.Bytes;
    platform.Questions.clear();
    platform.YesNoAnswers = {c.Yes};
    ASSERT_TRUE(StartApp());
    // Not connected yet: the draft waits.
    App().Draft().SaveNow();
    EXPECT_EQ(ReadFileBytes(draft), c.Bytes);
    Connect();
    ASSERT_EQ(platform.Questions.size(), 1u);
    EXPECT_EQ(platform.Questions[0].Text, kQuestion);
    EXPECT_TRUE(platform.Questions[0].YesByDefault);  // a hasty Enter keeps the text
    EXPECT_EQ(Main().edtSql->toPlainText(), c.Text);
    EXPECT_EQ(Main().PathFile(), c.PathFile);
    EXPECT_EQ(fs::exists(draft), c.Yes);
    // Asked once: the next connect finds only this process's draft.
    Actions().Execute(Actions().actDisConnect);
    App().Draft().SaveNow();
    Connect();
    EXPECT_EQ(platform.Questions.size(), 1u);
    app_.reset();
    EXPECT_FALSE(fs::exists(draft));
  }
}

TEST_F(AppTest, ACopyUnderAnotherNameKeepsItsOwnDraft) {
  std::ofstream(dir.File("quorrel_Draft.sql"), std::ios::binary) << "-- 0\r\nSELECT 1";
  ASSERT_TRUE(StartApp("other"));
  Connect();
  EXPECT_TRUE(platform.Questions.empty());
  EXPECT_EQ(App().Files().DraftFile, dir.File("other_Draft.sql"));
  app_.reset();
  EXPECT_TRUE(fs::exists(dir.File("quorrel_Draft.sql")));
}

// The child of the next test: the program with typed text, until killed.
TEST_F(AppTest, DraftKillChild) {
  const char* parentDir = std::getenv(kChildDir);
  if (!parentDir) GTEST_SKIP() << "run by TheDraftSurvivesAKill";
  ASSERT_TRUE(StartApp());
  Connect();
  Main().edtSql->setPlainText(Q8("UPDATE 社員 SET 給与 = 給与 * 2"));
  std::ofstream(std::string(parentDir) + "/child") << dir.Path();
  // The timer writes the draft; the parent kills us once it is there.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (std::chrono::steady_clock::now() < deadline) {
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

TEST_F(AppTest, TheDraftSurvivesAKillAndIsOfferedAtTheNextConnect) {
  TTempDir talk;
  const pid_t pid = fork();
  if (pid == 0) {
    setenv(kChildDir, talk.Path().c_str(), 1);
    execl("/proc/self/exe", "child", "--gtest_filter=AppTest.DraftKillChild", static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(pid, 0);
  std::string childDir;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (std::chrono::steady_clock::now() < deadline) {
    childDir = ReadFileBytes(talk.File("child"));
    if (!childDir.empty() && fs::exists(childDir + "/quorrel_Draft.sql")) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_FALSE(childDir.empty());
  const std::string left = childDir + "/quorrel_Draft.sql";
  ASSERT_TRUE(fs::exists(left)) << "no draft within a minute";
  fs::copy_file(left, dir.File("quorrel_Draft.sql"));
  fs::remove_all(childDir);  // the child's own directory outlived it

  platform.YesNoAnswers = {true};
  ASSERT_TRUE(StartApp());
  Connect();
  ASSERT_EQ(platform.Questions.size(), 1u);
  EXPECT_EQ(Main().edtSql->toPlainText(), Q8("UPDATE 社員 SET 給与 = 給与 * 2"));
}
