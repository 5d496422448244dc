// The catalogue of an SQLite file, and the names the table list writes.

#include <gtest/gtest.h>

#include "CatalogCheck.h"
#include "support/EngineProbe.h"

TEST(Catalog, SqliteFileListsTablesViewsAndColumns) {
  TEngineProbe probe;
  TSqlManager& engine = probe.engine;
  ASSERT_TRUE(engine.CreateSession());
  ASSERT_TRUE(engine.Logon("", "", probe.dir.File("cat.db")));
  CreateCatalogSample(engine);
  ASSERT_TRUE(engine.ExecSql(SJ("CREATE TABLE \"my table\" (\"select\" TEXT, x NUMERIC(10, 2))")));
  // A finished query's statement is still open, and the run's row limit stays.
  engine.MaxRow = [] { return 1; };
  ASSERT_TRUE(engine.OpenQuery("SELECT * FROM EMP"));

  TDatabase& db = *engine.Database();
  const TCatalog catalog = ReadCatalog(db);
  std::vector<std::string> names;
  for (const TCatalogTable& t : catalog.Tables) names.push_back(SjisToUtf8(t.Schema + "." + t.Name + " " + t.Kind));
  EXPECT_EQ(names, (std::vector<std::string>{"main.EMP TABLE", "main.V_EMP VIEW", "main.my table TABLE",
                                             "main.社員 TABLE"}));

  const TCatalogTable* emp = FindTable(catalog, "main", "EMP");
  const TCatalogTable* shain = FindTable(catalog, "main", "社員");
  const TCatalogTable* spaced = FindTable(catalog, "main", "my table");
  ASSERT_TRUE(emp && shain && spaced);
  EXPECT_EQ(ColumnsText(ReadColumns(db, *emp)), "EMPNO INTEGER  NOT NULL|ENAME VARCHAR(10) 10 NULL");
  EXPECT_EQ(ColumnsText(ReadColumns(db, *shain)), "番号 INTEGER  NULL|氏名 VARCHAR(20) 20 NOT NULL");
  EXPECT_EQ(ColumnsText(ReadColumns(db, *spaced)), "select TEXT  NULL|x NUMERIC(10, 2) 10,2 NULL");

  // The names go into statements quoted where they must be.
  EXPECT_EQ(SjisToUtf8(TableReference(catalog, *shain)), "社員");
  EXPECT_EQ(SjisToUtf8(SelectStatement(catalog, *spaced, ReadColumns(db, *spaced))),
            "SELECT \"select\", x FROM \"my table\"");
  for (const TCatalogTable* t : {emp, shain, spaced, FindTable(catalog, "main", "V_EMP")}) {
    SCOPED_TRACE(SjisToUtf8(t->Name));
    ExpectSelectRuns(engine, catalog, *t, ReadColumns(db, *t), probe.info);
  }
}

TEST(Catalog, NamesAreQuotedWhereTheDatabaseWouldChangeOrRefuseThem) {
  struct Case {
    const char* name;
    TNameFold fold;
    const char* written;
  } cases[] = {
      {"EMP", TNameFold::None, "EMP"},         {"emp_2$", TNameFold::Lower, "emp_2$"},
      {"Emp", TNameFold::Lower, "\"Emp\""},    {"emp", TNameFold::Upper, "\"emp\""},
      {"EMP", TNameFold::Upper, "EMP"},        {"2nd", TNameFold::None, "\"2nd\""},
      {"a b", TNameFold::None, "\"a b\""},     {"say\"hi", TNameFold::None, "\"say\"\"hi\""},
      {"order", TNameFold::None, "\"order\""}, {"", TNameFold::None, "\"\""},
      {"社員", TNameFold::Lower, "社員"},
      // ソ's second byte is a backslash, 表's is "\": neither splits the name.
      {"ソ表", TNameFold::Upper, "ソ表"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SjisToUtf8(QuoteName(SJ(c.name), c.fold)), c.written);
  }

  TCatalog catalog;
  catalog.DefaultSchema = "public";
  catalog.Dialect.Fold = TNameFold::Lower;
  const TCatalogTable mine{"public", "emp", "TABLE", {}}, theirs{"Sales", "Orders", "TABLE", {}};
  EXPECT_EQ(TableReference(catalog, mine), "emp");
  EXPECT_EQ(TableReference(catalog, theirs), "\"Sales\".\"Orders\"");
  EXPECT_EQ(SelectStatement(catalog, theirs, {}), "SELECT * FROM \"Sales\".\"Orders\"");
  EXPECT_EQ(SelectStatement(catalog, mine, {{"id", "integer", "", false}, {"Name", "text", "", true}}),
            "SELECT id, \"Name\" FROM emp");

  std::vector<TCatalogTable> tables{{"pg_catalog", "pg_class", "", ""}, {"public", "b", "", ""},
                                    {"information_schema", "tables", "", ""}, {"app", "z", "", ""},
                                    {"public", "a", "", ""}};
  SortTables(tables);
  std::string order;
  for (const TCatalogTable& t : tables) order += t.Schema + "." + t.Name + " ";
  EXPECT_EQ(order, "app.z public.a public.b information_schema.tables pg_catalog.pg_class ");
}

TEST(Catalog, NamesAndValuesFollowTheServersRules) {
  TSqlDialect maria;
  maria.Quote = '`';
  maria.BackslashEscapes = true;
  TSqlDialect own;
  own.Keywords = TSqlDialect::WordList({"window", "Lateral"});
  struct Case {
    const char* name;
    const TSqlDialect& dialect;
    const char* written;
  } names[] = {
      {"current_user", maria, "`current_user`"}, {"a`b", maria, "`a``b`"},
      // ～'s second byte is a backtick: it is no quote.
      {"～ x", maria, "`～ x`"},
      {"WINDOW", own, "\"WINDOW\""},            {"lateral", own, "\"lateral\""},
      {"current_user", own, "current_user"},   // only the server's own words
  };
  for (const Case& c : names) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SjisToUtf8(QuoteName(SJ(c.name), c.dialect)), c.written);
  }

  const TSqlDialect standard;
  struct Value {
    std::string cp932;
    const TSqlDialect& dialect;
    std::string written;
  } values[] = {
      {"a\\b'c", standard, "'a\\b''c'"},
      {"a\\b'c", maria, "'a\\\\b''c'"},
      {"x\\',') OR 1=1 -- ", maria, "'x\\\\'','') OR 1=1 -- '"},
      // 表's second byte is a backslash and stays single; the one after it
      // is doubled.
      {SJ("表") + "\\", maria, "'" + SJ("表") + "\\\\'"},
      // A lead byte without its trail byte does not hide the quote after it.
      {"\x81'", maria, "'\x81'''"},
  };
  for (const Value& v : values) {
    SCOPED_TRACE(v.written);
    std::string out;
    AppendLiteral(out, v.cp932, v.dialect);
    EXPECT_EQ(out, v.written);
  }

  // SQLite's own keywords: current_date is one, current_user is not.
  TTempDir dir;
  const TSqlDialect sqlite = CreateSession(dir.File("words.db"))->OpenDatabase("", "", 0)->Dialect();
  EXPECT_EQ(QuoteName("current_date", sqlite), "\"current_date\"");
  EXPECT_EQ(QuoteName("current_user", sqlite), "current_user");
  EXPECT_FALSE(sqlite.BackslashEscapes);
}
