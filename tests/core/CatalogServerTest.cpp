// The table list's catalogue on the servers: PostgreSQL itself with a second
// schema, and PostgreSQL and SQLite through their ODBC drivers.

#include <gtest/gtest.h>

#include "CatalogCheck.h"
#include "ServerEnv.h"

namespace {

class CatalogServer : public TServerSessionTest {
 protected:
  // A second schema with names PostgreSQL keeps only in quotes.
  void CreatePgSample() {
    ASSERT_TRUE(server->Admin("DROP SCHEMA IF EXISTS \"Sales\" CASCADE; DROP SCHEMA IF EXISTS hidden CASCADE; "
                              "CREATE SCHEMA \"Sales\" AUTHORIZATION quser; CREATE SCHEMA hidden; "
                              "CREATE TABLE hidden.secret (n integer)"))
        << server->Error();
    CreateCatalogSample(engine);
    ASSERT_TRUE(engine.ExecSql(SJ("CREATE TABLE \"Sales\".\"Orders\" (\"Id\" integer PRIMARY KEY, 金額 numeric(10,2), "
                                  "memo char(4))")));
  }
};

class CatalogOdbc : public CatalogServer {
 protected:
  std::string MissingDrivers() override { return PrepareOdbc(server); }
};

}  // namespace

TEST_F(CatalogServer, PostgresListsEverySchemaItMayUseSystemOnesLast) {
  ASSERT_TRUE(engine.Logon(TPgServer::User(), TPgServer::Password(), server->Uri())) << Text();
  CreatePgSample();
  TDatabase& db = *engine.Database();
  const TCatalog catalog = ReadCatalog(db);
  EXPECT_EQ(catalog.DefaultSchema, "public");

  const TCatalogTable* orders = FindTable(catalog, "Sales", "Orders");
  const TCatalogTable* shain = FindTable(catalog, "public", "社員");
  const TCatalogTable* view = FindTable(catalog, "public", "v_emp");
  ASSERT_TRUE(orders && shain && view && FindTable(catalog, "public", "emp"));
  EXPECT_EQ(view->Kind, "VIEW");
  EXPECT_EQ(shain->Kind, "TABLE");
  // A schema the user may not use is left out; the system schemas come last.
  EXPECT_EQ(FindTable(catalog, "hidden", "secret"), nullptr);
  ASSERT_NE(FindTable(catalog, "pg_catalog", "pg_class"), nullptr);
  ASSERT_NE(FindTable(catalog, "information_schema", "tables"), nullptr);
  bool system = false;
  for (const TCatalogTable& t : catalog.Tables) {
    const bool isSystem = t.Schema == "pg_catalog" || t.Schema == "information_schema";
    EXPECT_TRUE(isSystem || !system) << t.Schema << "." << t.Name;
    system = system || isSystem;
  }

  EXPECT_EQ(ColumnsText(ReadColumns(db, *orders)), "Id integer  NOT NULL|金額 numeric 10,2 NULL|memo character 4 NULL");
  EXPECT_EQ(ColumnsText(ReadColumns(db, *shain)), "番号 integer  NULL|氏名 character varying 20 NOT NULL");
  EXPECT_EQ(SjisToUtf8(SelectStatement(catalog, *orders, ReadColumns(db, *orders))),
            "SELECT \"Id\", 金額, memo FROM \"Sales\".\"Orders\"");
  for (const TCatalogTable* t : {orders, shain, view}) {
    SCOPED_TRACE(SjisToUtf8(t->Name));
    ExpectSelectRuns(engine, catalog, *t, ReadColumns(db, *t), info);
  }
  // A key that is not an oid of this program's own reading goes nowhere.
  TCatalogTable forged = *orders;
  forged.Key = "0 OR true";
  EXPECT_TRUE(ReadColumns(db, forged).empty());
}

TEST_F(CatalogOdbc, PostgresThroughOdbcUsesTheDriversCatalogue) {
  ASSERT_TRUE(engine.Logon(TPgServer::User(), TPgServer::Password(), kOdbcPgDsn)) << Text();
  CreatePgSample();
  // The run before left its statement open.
  ASSERT_TRUE(engine.OpenQuery("SELECT * FROM generate_series(1, 5000)")) << Text();
  TDatabase& db = *engine.Database();
  const TCatalog catalog = ReadCatalog(db);
  const TCatalogTable* orders = FindTable(catalog, "Sales", "Orders");
  const TCatalogTable* shain = FindTable(catalog, "public", "社員");
  ASSERT_TRUE(orders && shain && FindTable(catalog, "public", "v_emp")) << catalog.Tables.size();
  EXPECT_EQ(FindTable(catalog, "public", "v_emp")->Kind, "VIEW");
  EXPECT_EQ(ColumnsText(ReadColumns(db, *shain)), "番号 int4 10 NULL|氏名 varchar 20 NOT NULL");
  const std::vector<TCatalogColumn> columns = ReadColumns(db, *orders);
  EXPECT_EQ(ColumnsText(columns), "Id int4 10 NOT NULL|金額 numeric 10,2 NULL|memo bpchar 4 NULL");
  for (const TCatalogTable* t : {orders, shain}) {
    SCOPED_TRACE(SjisToUtf8(t->Name));
    ExpectSelectRuns(engine, catalog, *t, ReadColumns(db, *t), info);
  }
}

TEST_F(CatalogOdbc, SqliteThroughOdbcUsesTheDriversCatalogue) {
  ASSERT_TRUE(engine.Logon("", "", "odbc:DRIVER=" + std::string(kOdbcSqliteDriver) + ";Database=" + dir.File("c.db")))
      << Text();
  CreateCatalogSample(engine);
  ASSERT_TRUE(engine.ExecSql("CREATE TABLE EMP_X (A TEXT)"));
  TDatabase& db = *engine.Database();
  const TCatalog catalog = ReadCatalog(db);
  std::string names;
  for (const TCatalogTable& t : catalog.Tables) names += SjisToUtf8(t.Schema + "." + t.Name + " " + t.Kind) + "|";
  EXPECT_EQ(names, ".EMP TABLE|.EMP_X TABLE|.V_EMP VIEW|.社員 TABLE|");
  const TCatalogTable* emp = FindTable(catalog, "", "EMP");
  const TCatalogTable* shain = FindTable(catalog, "", "社員");
  ASSERT_TRUE(emp && shain);
  // "_" in EMP_X would match any letter: only EMP's own columns come.
  EXPECT_EQ(ColumnsText(ReadColumns(db, *emp)), "EMPNO INTEGER 9 NOT NULL|ENAME VARCHAR(10) 10 NULL");
  EXPECT_EQ(ColumnsText(ReadColumns(db, *shain)), "番号 INTEGER 9 NULL|氏名 VARCHAR(20) 20 NOT NULL");
  for (const TCatalogTable* t : {emp, shain}) {
    SCOPED_TRACE(SjisToUtf8(t->Name));
    ExpectSelectRuns(engine, catalog, *t, ReadColumns(db, *t), info);
  }
}
