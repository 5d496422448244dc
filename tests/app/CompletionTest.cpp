// Name completion in the real window over the embedded database: when the
// popup comes, the keys that take and close it, Japanese names, and an
// input method's composition.

#include <QInputMethodEvent>

#include "AppFixture.h"
#include "Completing.h"
#include "core/Sjis.h"
#include "support/FakeSession.h"

namespace {

class CompletionTest : public AppTest {
 protected:
  void SetUp() override {
    ExecSqlite(Database(),
               "CREATE TABLE EMP (EMPNO INTEGER, ENAME VARCHAR2(10));"
               "CREATE TABLE 社員 (番号 INTEGER, 氏名 VARCHAR(20));"
               "CREATE VIEW V_EMP AS SELECT ENAME FROM EMP;");
    ASSERT_TRUE(StartApp());
    Connect();
    ASSERT_TRUE(Main().IsConnected());
    ASSERT_NE(SqlCompleter(App()), nullptr);
    ed = std::make_unique<TCompleting>(*SqlCompleter(App()), *Main().edtSql);
  }
  void Compose(const QString& preedit, const QString& commit = {}) {
    QInputMethodEvent event(preedit, {});
    if (!commit.isEmpty()) event.setCommitString(commit);
    QApplication::sendEvent(Main().edtSql, &event);
    QApplication::processEvents();
  }
  std::unique_ptr<TCompleting> ed;
};

}  // namespace

TEST_F(CompletionTest, ComesByItselfOrOnRequestAndKeysTakeOrCloseIt) {
  struct Step {
    const char* text;  // "|" the caret; empty: go on from the last step
    const char* typed;
    Qt::Key key;  // 0: none
    Qt::KeyboardModifiers mods;
    QStringList offered;
    const char* after;  // the edit's text at the end
  } steps[] = {
      // Three letters of a word bring it; Escape closes it as typed.
      {"|", "sel", Qt::Key(0), {}, {"SELECT"}, "sel"},
      {"", "", Qt::Key_Escape, {}, {}, "sel"},
      // Two letters do not; Ctrl+J and Ctrl+Space do, and Tab takes.
      {"SELECT * FROM |", "EM", Qt::Key(0), {}, {}, "SELECT * FROM EM"},
      {"", "", Qt::Key_J, Qt::ControlModifier, {"EMP"}, "SELECT * FROM EM"},
      {"", "", Qt::Key_Tab, {}, {}, "SELECT * FROM EMP"},
      {"SELECT * FROM v|", "", Qt::Key_Space, Qt::ControlModifier, {"VALUES", "VIEW", "V_EMP"}, "SELECT * FROM v"},
      {"", "", Qt::Key_Down, {}, {"VALUES", "VIEW", "V_EMP"}, "SELECT * FROM v"},
      {"", "", Qt::Key_Down, {}, {"VALUES", "VIEW", "V_EMP"}, "SELECT * FROM v"},
      {"", "", Qt::Key_Return, {}, {}, "SELECT * FROM V_EMP"},
      // A word typed in full is left alone, so Enter still breaks the line.
      {"SELECT * |", "FROM", Qt::Key(0), {}, {}, "SELECT * FROM"},
      {"", "", Qt::Key_Return, {}, {}, "SELECT * FROM\n"},
      // Typing narrows an open popup; Backspace widens it again.
      {"|", "WHE", Qt::Key(0), {}, {"WHEN", "WHERE"}, "WHE"},
      {"", "R", Qt::Key(0), {}, {"WHERE"}, "WHER"},
      {"", "", Qt::Key_Backspace, {}, {"WHEN", "WHERE"}, "WHE"},
      {"", "", Qt::Key_Enter, {}, {}, "WHEN"},
      // Columns after "alias." and after "table.", in the words' order.
      {"SELECT | FROM EMP e", "e.", Qt::Key(0), {}, {"EMPNO", "ENAME"}, "SELECT e. FROM EMP e"},
      {"", "", Qt::Key_Down, {}, {"EMPNO", "ENAME"}, "SELECT e. FROM EMP e"},
      {"", "", Qt::Key_Tab, {}, {}, "SELECT e.ENAME FROM EMP e"},
      {"SELECT |", "EMP.EMPN", Qt::Key(0), {}, {"EMPNO"}, "SELECT EMP.EMPN"},
      {"", "", Qt::Key_Return, {}, {}, "SELECT EMP.EMPNO"},
      // Japanese names as they are.
      {"SELECT s.| FROM 社員 s", "", Qt::Key_J, Qt::ControlModifier, {"氏名", "番号"}, "SELECT s. FROM 社員 s"},
      {"", "", Qt::Key_Return, {}, {}, "SELECT s.氏名 FROM 社員 s"},
      {"SELECT * FROM 社|", "", Qt::Key_J, Qt::ControlModifier, {"社員"}, "SELECT * FROM 社"},
      {"", "", Qt::Key_Return, {}, {}, "SELECT * FROM 社員"},
      // Nothing inside strings and comments, nor for an unknown table.
      {"SELECT 'EMP|'", "", Qt::Key_J, Qt::ControlModifier, {}, "SELECT 'EMP'"},
      {"-- e.|", "", Qt::Key_J, Qt::ControlModifier, {}, "-- e."},
      {"SELECT x.|", "", Qt::Key_J, Qt::ControlModifier, {}, "SELECT x."},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(std::string(s.text) + s.typed + " " + std::to_string(s.key));
    if (*s.text) ed->SetText(Q8(s.text));
    if (*s.typed) ed->Type(Q8(s.typed));
    if (s.key) ed->Key(s.key, s.mods);
    EXPECT_EQ(ed->Offered(), s.offered);
    EXPECT_EQ(ed->Text(), Q8(s.after));
  }
  EXPECT_TRUE(Main().SqlHasFocus());
  EXPECT_TRUE(platform.Messages.empty());
}

TEST_F(CompletionTest, AnInputMethodsCompositionIsNeverCovered) {
  ed->SetText(Q8("SELECT s.| FROM 社員 s"));
  ed->Key(Qt::Key_J, Qt::ControlModifier);
  EXPECT_EQ(ed->Offered().size(), 2);
  // The composition closes the popup, and nothing opens it meanwhile.
  Compose(Q8("し"));
  EXPECT_TRUE(ed->Offered().isEmpty());
  ed->Key(Qt::Key_J, Qt::ControlModifier);
  EXPECT_TRUE(ed->Offered().isEmpty());
  // What it commits is typed text: the names that begin with it come.
  Compose({}, Q8("氏"));
  EXPECT_EQ(ed->Offered(), QStringList{Q8("氏名")});
  ed->Key(Qt::Key_Return);
  EXPECT_EQ(ed->Text(), Q8("SELECT s.氏名 FROM 社員 s"));
}

TEST_F(CompletionTest, NoPopupOnceDisconnectedOrWhileTheEditIsDisabled) {
  ed->SetText(QStringLiteral("SELECT * FROM EM|"));
  ed->Key(Qt::Key_J, Qt::ControlModifier);
  EXPECT_EQ(ed->Offered(), QStringList{"EMP"});
  // Under the caret, also once the window has moved.
  QPlainTextEdit& edit = *Main().edtSql;
  auto underCaret = [&] { return edit.viewport()->mapToGlobal(edit.cursorRect().bottomLeft()) + QPoint(0, 2); };
  const QPoint before = underCaret();
  EXPECT_EQ(SqlCompleter(App())->Popup()->pos(), before);
  Main().move(Main().pos() + QPoint(40, 30));
  QApplication::processEvents();
  EXPECT_NE(underCaret(), before);
  EXPECT_EQ(SqlCompleter(App())->Popup()->pos(), underCaret());
  Main().SetIsRunning(true);
  EXPECT_TRUE(ed->Offered().isEmpty());
  Main().SetIsRunning(false);
  Actions().Execute(Actions().actDisConnect);
  ed->Key(Qt::Key_J, Qt::ControlModifier);
  EXPECT_TRUE(ed->Offered().isEmpty());
}

// A driver that answers the catalogue query with fewer columns than asked
// for gives names, not a read past the row.
TEST_F(AppTest, CatalogueRowsNarrowerThanAskedForAreRead) {
  auto script = std::make_shared<TFakeScript>();
  script->Columns = {{"NAME", 1, 20}};
  script->Rows = {{FakeText("T1")}};
  ASSERT_TRUE(StartApp("quorrel", [script] { return MakeFakeSession(script); }));
  Connect();
  ASSERT_EQ(SqlCompleter(App())->Catalog().Tables.size(), 1u);
  EXPECT_EQ(SqlCompleter(App())->Catalog().Tables[0].Name, "T1");
}

TEST_F(CompletionTest, TablesCreatedByAScriptAreOfferedAfterIt) {
  Main().edtSql->setPlainText(QStringLiteral("CREATE TABLE A1 (X1 INTEGER);\nCREATE TABLE A2 (Y2 INTEGER);\nSELECT 1"));
  Actions().Execute(Actions().actRunScript);
  ASSERT_TRUE(platform.Messages.empty()) << platform.LastMessage().toStdString();
  for (const char* alias : {"a", "b"}) {
    ed->SetText(QStringLiteral("SELECT %1.| FROM A1 a JOIN A2 b ON 1 = 1").arg(QLatin1String(alias)));
    ed->Key(Qt::Key_J, Qt::ControlModifier);
    EXPECT_EQ(ed->Offered(), QStringList{*alias == 'a' ? "X1" : "Y2"});
  }
}
