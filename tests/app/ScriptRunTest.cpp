// Running one statement of many, and whole scripts, through the real window
// on the embedded database and the private PostgreSQL server.

#include <QTest>
#include <QTextCursor>
#include <QTimer>

#include <filesystem>
#include <functional>

#include "AppFixture.h"
#include "WindowHosts.h"
#include "app/HistoryStore.h"
#include "core/Sjis.h"
#include "views/SqlGrid.h"

namespace {

struct TScriptBackend {
  std::string Name;
  std::function<std::string(TTempDir& dir, std::string* why)> Host;
  std::string SlowQuery;
};

void PrintTo(const TScriptBackend& b, std::ostream* os) { *os << b.Name; }

class WindowScript : public AppTest, public testing::WithParamInterface<TScriptBackend> {
 protected:
  void SetUp() override {
    std::string why;
    const std::string host = GetParam().Host(dir, &why);
    if (host.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(StartApp());
    Connect(QString::fromStdString(host));
    ASSERT_TRUE(Main().IsConnected()) << platform.Messages.size();
    Run(QStringLiteral("CREATE TABLE T (N INTEGER)"));
    Run(QStringLiteral("INSERT INTO T VALUES (1)"));
    ASSERT_EQ(Main().SqlInfo().Status(), SJ("完了"));
  }

  // Puts text into the edit area with the caret where "^" stands.
  void Edit(const QString& text) {
    QString plain = text;
    const qsizetype caret = plain.indexOf(QLatin1Char('^'));
    plain.remove(caret, 1);
    Main().edtSql->setPlainText(plain);
    QTextCursor cursor = Main().edtSql->textCursor();
    cursor.setPosition(static_cast<int>(caret));
    Main().edtSql->setTextCursor(cursor);
  }

  QString Selected() { return Main().edtSql->textCursor().selectedText(); }

  std::string LastHistorySql() {
    const TfrmLog& log = App().LogDialog();
    const TSqlInfo* run = log.RunAt(log.RunCount());
    return run ? JoinLines(run->Sql) : std::string();
  }

  // The rows of T in order, as one text: "1,2".
  std::string Rows() {
    Run(QStringLiteral("SELECT N FROM T ORDER BY N"));
    std::string rows;
    for (int r = 1; r <= Main().SqlInfo().RowPos(); ++r) rows += (r > 1 ? "," : "") + Main().Grid().Cells(1, r);
    return rows;
  }
};

TEST_P(WindowScript, TheCaretRunsItsStatementOnly) {
  Edit(QStringLiteral("UPDATE T SET N = 2;\n\nSELECT N * 10\n  FROM T^;\n\nUPDATE T SET N = 3;\n"));
  // Ctrl+Enter, through the window's key preview.
  QTest::keyClick(Main().edtSql, Qt::Key_Return, Qt::ControlModifier);
  EXPECT_TRUE(platform.Messages.empty());
  EXPECT_EQ(Main().SqlInfo().Status(), SJ("完了"));
  EXPECT_EQ(Main().Grid().Cells(1, 1), "10");
  EXPECT_EQ(Selected(), QString(QStringLiteral("SELECT N * 10")) + QChar::ParagraphSeparator + QStringLiteral("  FROM T"));
  EXPECT_EQ(LastHistorySql(), "SELECT N * 10\r\n  FROM T\r\n");

  // Between two statements nothing runs.
  Edit(QStringLiteral("UPDATE T SET N = 2;\n^\nUPDATE T SET N = 3;"));
  const int runs = App().LogDialog().RunCount();
  Actions().Execute(Actions().actRunCaret);
  EXPECT_EQ(Main().StatusMsg(), SJ("カーソル位置に実行するＳＱＬがありません"));
  EXPECT_EQ(App().LogDialog().RunCount(), runs);

  // A selection runs exactly as it stands.
  Edit(QStringLiteral("UPDATE T SET N = 5 WHERE N = 1; UPDATE T SET N = 6;^"));
  QTextCursor cursor = Main().edtSql->textCursor();
  cursor.setPosition(0);
  cursor.setPosition(30, QTextCursor::KeepAnchor);
  Main().edtSql->setTextCursor(cursor);
  Actions().Execute(Actions().actRunCaret);
  EXPECT_EQ(LastHistorySql(), "UPDATE T SET N = 5 WHERE N = 1\r\n");
  EXPECT_EQ(Rows(), "5");
}

TEST_P(WindowScript, AScriptEndsAtItsFirstFailure) {
  Edit(QStringLiteral("INSERT INTO T VALUES (2);\n-- \xe5\xa4\xb1\xe6\x95\x97\xe3\x81\x99\xe3\x82\x8b\nSELECT COUNT(*) FROM T;\n"
                      "INSERT INTO T VALUES (3);\nSELECT * FROM no_such_table;\nINSERT INTO T VALUES (4);^"));
  QTest::keyClick(Main().edtSql, Qt::Key_F9);
  ASSERT_EQ(platform.Messages.size(), 1u);
  EXPECT_TRUE(platform.Messages[0].Text.startsWith(Q8("4文目でエラーが発生しました\n"))) << platform.Messages[0].Text.toStdString();
  EXPECT_EQ(Main().StatusMsg(), SJ("4文目でエラーが発生しました"));
  EXPECT_EQ(Selected(), QStringLiteral("SELECT * FROM no_such_table"));
  EXPECT_EQ(LastHistorySql(), "INSERT INTO T VALUES (3)\r\n");
  EXPECT_EQ(Rows(), "1,2,3");

  platform.Messages.clear();
  Edit(QStringLiteral("INSERT INTO T VALUES (5);\nSELECT N FROM T WHERE N = 5;\n^"));
  Actions().Execute(Actions().actRunScript);
  EXPECT_TRUE(platform.Messages.empty());
  EXPECT_EQ(Main().StatusMsg(), SJ("2文を実行しました"));
  EXPECT_EQ(Main().Grid().Cells(1, 1), "5");  // the last result stays
}

TEST_P(WindowScript, EveryQueryOfAScriptKeepsItsOwnResultFile) {
  Edit(QStringLiteral("SELECT 1 AS A FROM T;\nSELECT 2 AS B FROM T;\nSELECT 3 AS C FROM T;"));
  Actions().Execute(Actions().actRunScript);
  ASSERT_EQ(Main().StatusMsg(), SJ("3文を実行しました"));
  const TfrmLog& log = App().LogDialog();
  ASSERT_GE(log.RunCount(), 3);
  std::set<std::string> files;
  for (int i = log.RunCount() - 2; i <= log.RunCount(); ++i) {
    const std::string file = RunFile(App(), *log.RunAt(i));
    EXPECT_TRUE(std::filesystem::exists(file)) << file;
    files.insert(file);
  }
  EXPECT_EQ(files.size(), 3u);
}

TEST_P(WindowScript, StopDuringTheSecondStatementEndsTheScript) {
  Edit(QString::fromStdString("INSERT INTO T VALUES (2);\n" + GetParam().SlowQuery + ";\nINSERT INTO T VALUES (3);"));
  bool stopped = false;
  QTimer::singleShot(300, &Main(), [&] {
    stopped = Actions().actStop->isEnabled();
    Actions().Execute(Actions().actStop);
  });
  Actions().Execute(Actions().actRunScript);
  ASSERT_TRUE(stopped) << "the script ended before the stop";
  EXPECT_TRUE(platform.Messages.empty());
  EXPECT_EQ(Main().StatusMsg(), SJ("強制終了しました"));
  EXPECT_EQ(Selected(), QString::fromStdString(GetParam().SlowQuery));
  EXPECT_FALSE(Main().IsRunning());
  EXPECT_EQ(Rows(), "1,2");
}

INSTANTIATE_TEST_SUITE_P(
    Backends, WindowScript,
    testing::Values(
        TScriptBackend{"Sqlite", [](TTempDir& dir, std::string*) { return dir.File("script.db"); },
                       "SELECT count(*) FROM (WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s "
                       "WHERE n < 2000000000) SELECT n FROM s)"},
        TScriptBackend{"Postgres", PgHost, "SELECT pg_sleep(30)"}),
    [](const testing::TestParamInfo<TScriptBackend>& info) { return info.param.Name; });

}  // namespace
