// Manual commit through the real window: the mode command, the indicator,
// commit and rollback, and the question before the session ends.

#include <sqlite3.h>

#include <QLabel>

#include "AppFixture.h"
#include "app/SessionEnd.h"
#include "core/Sjis.h"
#include "storage/Options.h"

namespace {

class TransactionTest : public AppTest {
 protected:
  // Connected to the embedded database, T(N) holding 1, in manual mode.
  void SetUpManual() {
    ASSERT_TRUE(StartApp());
    Connect();
    ASSERT_TRUE(Main().IsConnected());
    Run(Q8("CREATE TABLE T (N INTEGER)"));
    Run(Q8("INSERT INTO T VALUES (1)"));
    Actions().Execute(Actions().actAutoCommit);
    ASSERT_FALSE(Actions().actAutoCommit->isChecked());
  }
  // T's value as another program sees it.
  int Seen() {
    sqlite3* db = nullptr;
    int n = -1;
    if (sqlite3_open_v2(Database().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK)
      sqlite3_exec(db, "SELECT N FROM T", [](void* out, int, char** v, char**) {
        *static_cast<int*>(out) = std::atoi(v[0]);
        return 0;
      }, &n, nullptr);
    sqlite3_close(db);
    return n;
  }
  std::vector<QString> Panels() {
    std::vector<QString> texts;
    for (int i = 1; i < Main().StatusBar().PanelCount(); ++i) texts.push_back(Panel(i));
    return texts;
  }
};

const QString kQuestion = Q8("コミットされていない変更があります。コミットしますか？");

TEST_F(TransactionTest, AChangeWaitsForTheCommitCommands) {
  ASSERT_NO_FATAL_FAILURE(SetUpManual());
  EXPECT_FALSE(Actions().Update(Actions().actCommit));
  EXPECT_FALSE(Main().UncommittedShown());
  const int panels = Main().StatusBar().PanelCount();
  std::vector<int> widths;
  for (int i = 0; i < panels; ++i) widths.push_back(Main().StatusBar().PanelRect(i).width());

  const QRect plainText = Main().StatusBar().TextRect(0);
  Run(Q8("UPDATE T SET N = 2"));
  EXPECT_TRUE(Main().UncommittedShown());
  EXPECT_EQ(Seen(), 1);
  // The message keeps to the left of the indicator.
  EXPECT_LE(Main().StatusBar().TextRect(0).right(), Main().lblTransaction->geometry().left());
  EXPECT_EQ(Main().StatusBar().TextRect(0).left(), plainText.left());
  const std::vector<QString> afterUpdate = Panels();
  EXPECT_EQ(Main().StatusBar().PanelCount(), panels);
  for (int i = 0; i < panels; ++i) EXPECT_EQ(Main().StatusBar().PanelRect(i).width(), widths[static_cast<size_t>(i)]);
  EXPECT_EQ(Main().StatusMsg(), SJ("ＳＱＬ処理終了"));

  // F11 and F12 as keys, each a run of its own.
  const struct {
    Qt::Key Key;
    int Seen;
    const char* Message;
  } ends[] = {{Qt::Key_F12, 1, "ロールバックしました"}, {Qt::Key_F11, 3, "コミットしました"}};
  for (const auto& end : ends) {
    SCOPED_TRACE(end.Message);
    Run(Q8("UPDATE T SET N = 3"));
    ASSERT_TRUE(Actions().Update(Actions().actCommit));
    bool enabled = false;
    QAction* command = Actions().ShortcutCommand(QKeySequence(end.Key), enabled);
    ASSERT_TRUE(command && enabled);
    Actions().Execute(command);
    EXPECT_EQ(Seen(), end.Seen);
    EXPECT_FALSE(Main().UncommittedShown());
    EXPECT_EQ(Main().StatusBar().TextRect(0), plainText);
    EXPECT_EQ(Main().StatusMsg(), SJ(end.Message));
    EXPECT_EQ(Panel(1), Q8("完了"));
    EXPECT_FALSE(Actions().Update(Actions().actRollback));
  }
  // A BEGIN typed in auto-commit mode shows as well.
  Actions().Execute(Actions().actAutoCommit);
  Run(Q8("BEGIN"));
  EXPECT_TRUE(Main().UncommittedShown());
  Run(Q8("COMMIT"));
  EXPECT_FALSE(Main().UncommittedShown());
  EXPECT_TRUE(platform.Messages.empty());
}

TEST_F(TransactionTest, DisconnectAsksWhatBecomesOfTheChanges) {
  const struct {
    const char* Name;
    TPlatform::TAnswer Answer;
    bool Connected;
    int Seen;
  } cases[] = {{"はい", TPlatform::TAnswer::Yes, false, 2},
               {"いいえ", TPlatform::TAnswer::No, false, 1},
               {"キャンセル", TPlatform::TAnswer::Cancel, true, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    app_.reset();
    std::remove(Database().c_str());
    std::remove(dir.File("quorrel_Opt.xml").c_str());  // it keeps the manual mode
    ASSERT_NO_FATAL_FAILURE(SetUpManual());
    Run(Q8("UPDATE T SET N = 2"));
    platform.ThreeWayAnswers = {c.Answer};
    platform.Questions.clear();
    Actions().Execute(Actions().actDisConnect);
    ASSERT_EQ(platform.Questions.size(), 1u);
    EXPECT_EQ(platform.Questions[0].Text, kQuestion);
    EXPECT_EQ(Main().IsConnected(), c.Connected);
    EXPECT_EQ(Main().UncommittedShown(), c.Connected);
    EXPECT_EQ(Seen(), c.Seen);
  }
  // Cancelled, the window's close stays too; then はい ends both.
  platform.ThreeWayAnswers = {TPlatform::TAnswer::Cancel, TPlatform::TAnswer::Yes};
  Main().close();
  EXPECT_FALSE(Main().IsClosed());
  Main().close();
  EXPECT_TRUE(Main().IsClosed());
  EXPECT_EQ(Seen(), 2);
}

// The desktop ending the program asks nothing: the changes are rolled back,
// the history records it, and the settings keep the mode.
TEST_F(TransactionTest, SessionEndRollsBackUnasked) {
  ASSERT_NO_FATAL_FAILURE(SetUpManual());
  Run(Q8("UPDATE T SET N = 2"));
  {
    TSessionEnd end(App());
    end.RequestClose();
  }
  EXPECT_TRUE(Main().IsClosed());
  EXPECT_TRUE(platform.Questions.empty());
  EXPECT_EQ(Seen(), 1);
  app_.reset();
  EXPECT_NE(ReadFileBytes(dir.File("quorrel_Log.xml")).find("ROLLBACK"), std::string::npos);
  TOptionFile options;
  EXPECT_EQ(ReadOptionFile(dir.File("quorrel_Opt.xml"), options), "");
  EXPECT_FALSE(options.Options.AutoCommit);
  // The next start comes back in manual mode.
  ASSERT_TRUE(StartApp());
  EXPECT_FALSE(Actions().actAutoCommit->isChecked());
}

}  // namespace
