// The copies and the table list's SELECT on every backend, through the
// window: what is copied, pasted back into a statement of the same server,
// finds exactly the rows it was copied from, whatever the values hold, and
// names that the server also knows as functions still mean the columns.

#include <QLineEdit>
#include <QPushButton>

#include <functional>

#include "AppFixture.h"
#include "app/TableListDialog.h"
#include "core/Sjis.h"
#include "views/SqlGrid.h"
#include "WindowHosts.h"

namespace {

struct TCopyBackend {
  std::string Name;
  // The host string (with the login in it), or empty with the reason in *why.
  std::function<std::string(TTempDir& dir, std::string* why)> Host;
  char Quote;             // how a name is quoted in this server's DDL
  std::string Backslash;  // one backslash inside a string literal
  // Turns the other way whether a backslash escapes, for this session.
  std::string SwitchEscapes;
};

void PrintTo(const TCopyBackend& b, std::ostream* os) { *os << b.Name; }

class WindowCopies : public AppTest, public testing::WithParamInterface<TCopyBackend> {
 protected:
  void SetUp() override {
    if (const std::string why = StartConnected(GetParam().Host); !why.empty()) GTEST_SKIP() << why;
    ASSERT_FALSE(HasFailure());
  }
  std::string Quoted(const char* name) const { return GetParam().Quote + std::string(name) + GetParam().Quote; }
  void RunOk(const std::string& sqlUtf8) {
    platform.Messages.clear();
    Run(QString::fromStdString(sqlUtf8));
    ASSERT_TRUE(platform.Messages.empty()) << sqlUtf8 << ": " << platform.LastMessage().toStdString();
    ASSERT_EQ(Main().SqlInfo().Status(), SJ("完了")) << sqlUtf8;
  }
  // The command's text for the block of grid cells, in UTF-8.
  std::string Copy(QAction* action, int left, int top, int right, int bottom) {
    Main().Grid().SetSelection({left, top, right, bottom});
    platform.Clipboard.reset();
    Actions().Execute(action);
    return platform.Clipboard.value_or(QString()).toStdString();
  }
  // Column 1 of every row of the last result.
  std::vector<std::string> Keys() {
    std::vector<std::string> keys;
    for (int r = 1; r <= Main().SqlInfo().RowCount(); ++r) keys.push_back(Main().SqlInfo().GetCell(1, r));
    return keys;
  }
};

using TKeys = std::vector<std::string>;

// PostgreSQL as it was before 9.1, when a backslash escaped in any literal.
const char* const kPgEscapes = "SET standard_conforming_strings = off";

TEST_P(WindowCopies, PastedCopiesFindTheRowsTheyCameFrom) {
  const std::string bs = GetParam().Backslash;
  RunOk("CREATE TABLE cq (k INTEGER, v VARCHAR(40), " + Quoted("current_user") + " VARCHAR(20), " +
        Quoted("current_date") + " VARCHAR(20))");
  // A value that closes its literal where a backslash escapes; one that
  // ends in a backslash; two whose second byte in cp932 is a backslash.
  RunOk("INSERT INTO cq VALUES (1, 'x" + bs + "'','') OR 1=1 -- ', 'u1', 'd1')");
  RunOk("INSERT INTO cq VALUES (2, 'plain', 'u2', 'd2')");
  RunOk("INSERT INTO cq VALUES (3, 'a" + bs + "', 'u3', 'd3')");
  RunOk("INSERT INTO cq VALUES (4, '表', 'u4', 'd4')");
  RunOk("INSERT INTO cq VALUES (5, 'ソ', 'u5', 'd5')");
  RunOk("SELECT k, v, " + Quoted("current_user") + ", " + Quoted("current_date") + " FROM cq ORDER BY k");
  ASSERT_EQ(SjisToUtf8(Main().SqlInfo().GetCell(2, 1)), "x\\',') OR 1=1 -- ");
  ASSERT_EQ(SjisToUtf8(Main().SqlInfo().GetCell(2, 3)), "a\\");
  TmodAction& a = Actions();

  struct Case {
    const char* name;
    QAction* action;
    int left, top, right, bottom;
    const char* before;  // the statement the copy is pasted after
    const char* after;
    TKeys keys;
  } cases[] = {
      {"in", a.actInCopy, 2, 1, 2, 3, "SELECT k FROM cq WHERE ", "\nORDER BY k", {"1", "2", "3"}},
      {"where", a.actWhereCopy, 2, 1, 2, 3, "SELECT k FROM cq ", "ORDER BY k", {"1", "2", "3"}},
      {"cell", a.actCellCopy, 2, 1, 2, 1, "SELECT k FROM cq WHERE v = ", "ORDER BY k", {"1"}},
      {"sjis", a.actInCopy, 2, 4, 2, 5, "SELECT k FROM cq WHERE ", "\nORDER BY k", {"4", "5"}},
      // Names the server also reads as functions: the columns, not the login
      // name and today's date.
      {"in-names", a.actInCopy, 3, 2, 4, 3, "SELECT k FROM cq WHERE ", "\nORDER BY k", {"2", "3"}},
      {"where-names", a.actWhereCopy, 3, 4, 4, 5, "SELECT k FROM cq ", "ORDER BY k", {"4", "5"}},
  };
  // The copies follow the session's rules as they are when copying.
  const std::string& other = GetParam().SwitchEscapes;
  for (int pass = 0; pass < (other.empty() ? 1 : 2); ++pass) {
    SCOPED_TRACE(pass);
    if (pass == 1) RunOk(other);
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      RunOk("SELECT k, v, " + Quoted("current_user") + ", " + Quoted("current_date") + " FROM cq ORDER BY k");
      const std::string copied = Copy(c.action, c.left, c.top, c.right, c.bottom);
      const std::string sql = c.before + copied + c.after;
      RunOk(sql);
      EXPECT_EQ(Keys(), c.keys) << sql;
    }
  }
}

TEST_P(WindowCopies, TheTableListsSelectReadsTheColumns) {
  RunOk("CREATE TABLE cq (k INTEGER, " + Quoted("current_user") + " VARCHAR(20), " + Quoted("current_date") +
        " VARCHAR(20))");
  RunOk("INSERT INTO cq VALUES (1, 'u1', 'd1')");
  Actions().Execute(Actions().actNew);
  platform.ModalScript.push_back([](QDialog& dialog) {
    auto& list = static_cast<TfrmTableList&>(dialog);
    list.edtFilter->setText(QStringLiteral("cq"));
    list.btnSelect->click();
    return dialog.result();
  });
  Actions().Execute(Actions().actTableList);
  const std::string sql = Main().edtSql->toPlainText().toStdString();
  Actions().Execute(Actions().actStart);
  ASSERT_TRUE(platform.Messages.empty()) << sql << ": " << platform.LastMessage().toStdString();
  ASSERT_EQ(Main().SqlInfo().ColCount(), 3) << sql;
  EXPECT_EQ(Main().SqlInfo().GetCell(2, 1), "u1") << sql;
  EXPECT_EQ(Main().SqlInfo().GetCell(3, 1), "d1") << sql;
}

INSTANTIATE_TEST_SUITE_P(
    Backends, WindowCopies,
    testing::Values(TCopyBackend{"Sqlite", [](TTempDir& dir, std::string*) { return dir.File("copies.db"); }, '"',
                                 "\\", {}},
                    TCopyBackend{"Postgres", PgHost, '"', "\\",
                                 kPgEscapes},
                    TCopyBackend{"OdbcPostgres", OdbcPgHost, '"',
                                 "\\", kPgEscapes},
                    TCopyBackend{"OdbcMariaDb", MariaHost, '`',
                                 "\\\\", "SET SESSION sql_mode = CONCAT(@@SESSION.sql_mode, ',NO_BACKSLASH_ESCAPES')"}),
    [](const testing::TestParamInfo<TCopyBackend>& info) { return info.param.Name; });

}  // namespace
