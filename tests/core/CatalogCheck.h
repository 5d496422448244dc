#pragma once
// What the catalogue tests of every backend share: a small schema with
// Japanese names, and the columns as one line of text for comparison.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Catalog.h"
#include "core/Sjis.h"
#include "core/SqlManager.h"

// EMP, 社員 and the view V_EMP; SQL both SQLite and PostgreSQL take.
inline void CreateCatalogSample(TSqlManager& engine) {
  for (const char* sql : {"CREATE TABLE EMP (EMPNO INTEGER NOT NULL, ENAME VARCHAR(10))",
                          "CREATE TABLE 社員 (番号 INTEGER, 氏名 VARCHAR(20) NOT NULL)",
                          "CREATE VIEW V_EMP AS SELECT ENAME FROM EMP",
                          "INSERT INTO 社員 VALUES (1, '山田')"})
    ASSERT_TRUE(engine.ExecSql(SJ(sql))) << SjisToUtf8(engine.ErrText) << " " << sql;
}

inline const TCatalogTable* FindTable(const TCatalog& catalog, const std::string& schemaUtf8,
                                      const std::string& nameUtf8) {
  for (const TCatalogTable& t : catalog.Tables)
    if (t.Schema == SJ(schemaUtf8) && t.Name == SJ(nameUtf8)) return &t;
  return nullptr;
}

// "name type size null|..." in UTF-8, "null" being NULL or NOT NULL.
inline std::string ColumnsText(const std::vector<TCatalogColumn>& columns) {
  std::string out;
  for (const TCatalogColumn& c : columns) {
    if (!out.empty()) out += "|";
    out += SjisToUtf8(c.Name) + " " + SjisToUtf8(c.Type) + " " + c.Size + (c.Nullable ? " NULL" : " NOT NULL");
  }
  return out;
}

// The SELECT the dialog builds runs as it stands and gives every column.
inline void ExpectSelectRuns(TSqlManager& engine, const TCatalog& catalog, const TCatalogTable& table,
                             const std::vector<TCatalogColumn>& columns, TSqlInfo& info) {
  const std::string sql = SelectStatement(catalog, table, columns);
  ASSERT_TRUE(engine.OpenQuery(sql)) << SjisToUtf8(sql) << ": " << SjisToUtf8(engine.ErrText);
  EXPECT_EQ(info.ColCount(), static_cast<int>(columns.size())) << SjisToUtf8(sql);
  engine.CloseQuery();
}
