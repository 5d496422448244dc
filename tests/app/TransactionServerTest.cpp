// Manual commit through the real window on every backend: what becomes of a
// pending change at disconnect for each answer, the indicator after a typed
// BEGIN and COMMIT, and the rollback when the desktop ends the program, each
// seen from a second connection.

#include <QTimer>

#include <functional>

#include "AppFixture.h"
#include "WindowHosts.h"
#include "app/SessionEnd.h"
#include "core/Sjis.h"
#include "support/EngineProbe.h"
#include "views/SqlGrid.h"
#include "../core/ServerEnv.h"

namespace {

struct TTransactionBackend {
  std::string Name;
  std::function<std::string(TTempDir& dir, std::string* why)> Host;
};

void PrintTo(const TTransactionBackend& b, std::ostream* os) { *os << b.Name; }

class WindowTransaction : public AppTest, public testing::WithParamInterface<TTransactionBackend> {
 protected:
  void SetUp() override {
    std::string why;
    host_ = GetParam().Host(dir, &why);
    if (host_.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(StartApp());
    ConnectAgain();
    Run(QStringLiteral("CREATE TABLE T (N INTEGER)"));
    Run(QStringLiteral("INSERT INTO T VALUES (1)"));
    ASSERT_EQ(Main().SqlInfo().Status(), SJ("完了"));
    ASSERT_TRUE(other_.engine.CreateSession());
    ASSERT_TRUE(other_.engine.Logon("", "", host_)) << other_.ErrUtf8();
  }
  void ConnectAgain() {
    Connect(QString::fromStdString(host_));
    ASSERT_TRUE(Main().IsConnected()) << platform.Messages.size();
  }
  // T's value as the second connection sees it.
  std::string Seen() {
    other_.cells.clear();
    if (!other_.engine.OpenQuery("SELECT N FROM T") || other_.FetchAll() != 1) return "<failed: " + other_.ErrUtf8() + ">";
    return other_.Cell(1, 1);
  }
  // Disconnects, giving answer to the question it must ask.
  void Disconnect(TPlatform::TAnswer answer) {
    platform.Questions.clear();
    platform.ThreeWayAnswers = {answer};
    Actions().Execute(Actions().actDisConnect);
    ASSERT_EQ(platform.Questions.size(), 1u);
    EXPECT_EQ(platform.Questions[0].Text, Q8("コミットされていない変更があります。コミットしますか？"));
  }

  std::string host_;
  TEngineProbe other_;
};

TEST_P(WindowTransaction, PendingChangesEndAsTheUserSays) {
  Actions().Execute(Actions().actAutoCommit);
  ASSERT_FALSE(Actions().actAutoCommit->isChecked());
  Run(QStringLiteral("UPDATE T SET N = 2"));
  EXPECT_TRUE(Main().UncommittedShown());
  EXPECT_EQ(Seen(), "1");

  // キャンセル stays connected with the change pending; いいえ rolls it back.
  ASSERT_NO_FATAL_FAILURE(Disconnect(TPlatform::TAnswer::Cancel));
  EXPECT_TRUE(Main().IsConnected());
  EXPECT_TRUE(Main().UncommittedShown());
  EXPECT_EQ(Seen(), "1");
  ASSERT_NO_FATAL_FAILURE(Disconnect(TPlatform::TAnswer::No));
  EXPECT_FALSE(Main().IsConnected());
  EXPECT_FALSE(Main().UncommittedShown());
  EXPECT_EQ(Seen(), "1");

  // はい commits.
  ASSERT_NO_FATAL_FAILURE(ConnectAgain());
  Run(QStringLiteral("UPDATE T SET N = 3"));
  ASSERT_NO_FATAL_FAILURE(Disconnect(TPlatform::TAnswer::Yes));
  EXPECT_FALSE(Main().IsConnected());
  EXPECT_EQ(Seen(), "3");

  // In auto-commit mode the indicator follows the user's own BEGIN and COMMIT.
  ASSERT_NO_FATAL_FAILURE(ConnectAgain());
  Actions().Execute(Actions().actAutoCommit);
  ASSERT_TRUE(Actions().actAutoCommit->isChecked());
  Run(QStringLiteral("BEGIN"));
  EXPECT_TRUE(Main().UncommittedShown());
  Run(QStringLiteral("UPDATE T SET N = 4"));
  EXPECT_EQ(Seen(), "3");
  Run(QStringLiteral("COMMIT"));
  EXPECT_FALSE(Main().UncommittedShown());
  EXPECT_EQ(Seen(), "4");

  // The desktop's end asks nothing and rolls the change back.
  Actions().Execute(Actions().actAutoCommit);
  Run(QStringLiteral("UPDATE T SET N = 5"));
  EXPECT_TRUE(Main().UncommittedShown());
  platform.Questions.clear();
  {
    TSessionEnd end(App());
    end.RequestClose();
  }
  EXPECT_TRUE(Main().IsClosed());
  EXPECT_TRUE(platform.Questions.empty());
  EXPECT_EQ(Seen(), "4");
  EXPECT_TRUE(platform.Messages.empty()) << platform.LastMessage().toStdString();
  app_.reset();
  EXPECT_NE(ReadFileBytes(dir.File("quorrel_Log.xml")).find("ROLLBACK"), std::string::npos);
}

// 停止 during F11, while a deferred trigger makes the server's COMMIT slow:
// the run is stopped, and the user is told that the changes were rolled
// back, not kept waiting.
class WindowCommitStop : public AppTest {};

TEST_F(WindowCommitStop, TheUserHearsWhatBecameOfTheChanges) {
  std::string why;
  const std::string host = PgHost(dir, &why);
  if (host.empty()) GTEST_SKIP() << why;
  ASSERT_TRUE(StartApp());
  Connect(QString::fromStdString(host));
  for (const char* sql :
       {"CREATE TABLE t (n INTEGER)",
        "CREATE FUNCTION slow() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN PERFORM pg_sleep(30); RETURN NULL; END $$",
        "CREATE CONSTRAINT TRIGGER slow AFTER INSERT ON t DEFERRABLE INITIALLY DEFERRED FOR EACH ROW "
        "EXECUTE FUNCTION slow()"})
    Run(QString::fromUtf8(sql));
  ASSERT_TRUE(platform.Messages.empty()) << platform.LastMessage().toStdString();
  Actions().Execute(Actions().actAutoCommit);
  Run(QStringLiteral("INSERT INTO t VALUES (1)"));
  ASSERT_TRUE(Main().UncommittedShown());

  QTimer::singleShot(300, &Main(), [&] { Actions().Execute(Actions().actStop); });
  Actions().Execute(Actions().actCommit);
  EXPECT_EQ(Main().SqlInfo().Status(), SJ("中断"));
  ASSERT_EQ(platform.Messages.size(), 1u);
  EXPECT_NE(platform.LastMessage().indexOf(Q8("ロールバックされました")), -1) << platform.LastMessage().toStdString();
  EXPECT_FALSE(Main().UncommittedShown());
  EXPECT_FALSE(Main().IsRunning());
  Run(QStringLiteral("SELECT count(*) FROM t"));
  EXPECT_EQ(Main().Grid().Cells(1, 1), "0");
}

INSTANTIATE_TEST_SUITE_P(
    Backends, WindowTransaction,
    testing::Values(TTransactionBackend{"Sqlite", [](TTempDir& dir, std::string*) { return dir.File("shared.db"); }},
                    TTransactionBackend{"Postgres", PgHost}, TTransactionBackend{"OdbcPostgres", OdbcPgHost},
                    TTransactionBackend{"OdbcMariaDb", MariaHost}),
    [](const testing::TestParamInfo<TTransactionBackend>& info) { return info.param.Name; });

}  // namespace
