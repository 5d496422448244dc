// The word at the caret, its qualifier and the statement's tables, the
// catalogue table a qualifier means, and the prefix lists.

#include <gtest/gtest.h>

#include "core/Completion.h"
#include "core/Sjis.h"

namespace {

std::string Joined(const std::vector<TNamePart>& parts) {
  std::string out;
  for (const TNamePart& p : parts) out += (out.empty() ? "" : ".") + (p.Quoted ? "\"" + p.Text + "\"" : p.Text);
  return out;
}

// "schema.table alias, ..." in UTF-8.
std::string TablesText(const std::vector<TTableName>& tables) {
  std::string out;
  for (const TTableName& t : tables) {
    if (!out.empty()) out += ", ";
    out += Joined(t.Parts);
    if (!t.Alias.Text.empty()) out += " " + Joined({t.Alias});
  }
  return SjisToUtf8(out);
}

}  // namespace

TEST(Completion, FindsTheWordItsQualifierAndTheStatementsTables) {
  // "|" marks the caret. kind: '-' none, 'w' word, 'm' member.
  struct Case {
    const char* name;
    const char* text;
    char kind;
    const char* prefix;
    const char* qualifier;
    const char* replaced;  // what the completion replaces
    const char* tables;
  } cases[] = {
      {"table prefix", "SELECT * FROM EM|", 'w', "EM", "", "EM", "EM"},
      {"word in the middle", "SELECT EM|PNO FROM EMP", 'w', "EM", "", "EMPNO", "EMP"},
      {"nothing typed yet", "SELECT | FROM EMP e, DEPT", 'w', "", "", "", "EMP e, DEPT"},
      {"alias before its FROM", "SELECT e.| FROM emp e", 'm', "", "e", "", "emp e"},
      {"member prefix", "SELECT e.EN| FROM emp AS e WHERE 1 = 1", 'm', "EN", "e", "EN", "emp e"},
      {"schema and table", "SELECT s.t.| FROM s.t", 'm', "", "s.t", "", "s.t"},
      {"joins", "SELECT d.| FROM emp e JOIN dept d ON d.x = e.x", 'm', "", "d", "", "emp e, dept d"},
      {"subquery", "SELECT q.| FROM (SELECT a FROM t1 x) q, t2", 'm', "", "q", "", "t2, t1 x"},
      {"other statements", "SELECT * FROM a b;\nSELECT b.| FROM bb b; SELECT * FROM c", 'm', "", "b", "", "bb b"},
      {"update and insert", "UPDATE emp SET x = (SELECT 1 FROM dual);\nINSERT INTO log (a) VALUES (x.|)", 'm', "", "x",
       "", "log"},
      {"quoted prefix", "SELECT \"My T|", 'w', "My T", "", "\"My T", ""},
      {"quoted qualifier", "SELECT \"My \"\"T\"\"\".| FROM \"My \"\"T\"\"\"", 'm', "", "\"My \"T\"\"", "",
       "\"My \"T\"\""},
      {"japanese", "SELECT 社.氏| FROM 社員 社", 'm', "氏", "社", "氏", "社員 社"},
      // ソ and 表 end in a backslash byte: neither splits the name.
      {"trail bytes", "SELECT ソ表.| FROM ソ表", 'm', "", "ソ表", "", "ソ表"},
      {"full-width space", "SELECT\u3000EM|", 'w', "EM", "", "EM", ""},
      {"in a string", "SELECT 'e.|' FROM emp e", '-', "", "", "", ""},
      {"in a line comment", "SELECT 1 -- e.|\nFROM emp e", '-', "", "", "", ""},
      {"in a block comment", "SELECT /* e.| */ 1", '-', "", "", "", ""},
      {"unclosed string", "SELECT 'EMP|", '-', "", "", "", ""},
      {"dollar body", "CREATE FUNCTION f() AS $b$ SELECT e.| $b$", '-', "", "", "", ""},
      {"in a closed quoted name", "SELECT \"EM|P\" FROM x", '-', "", "", "", ""},
      {"after a number", "SELECT 1.|", '-', "", "", "", ""},
      {"after a parenthesis", "SELECT f(x).| FROM t", '-', "", "", "", ""},
      {"after a closed string", "SELECT 'a'|", 'w', "", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = SJ(c.text);
    const size_t caret = text.find('|');
    text.erase(caret, 1);
    const TCompletionContext ctx = CompletionAt(text, caret);
    const char kind = ctx.Kind == TCompletionKind::None ? '-' : ctx.Kind == TCompletionKind::Word ? 'w' : 'm';
    EXPECT_EQ(kind, c.kind);
    if (kind == '-') continue;
    EXPECT_EQ(SjisToUtf8(ctx.Prefix), c.prefix);
    EXPECT_EQ(SjisToUtf8(Joined(ctx.Qualifier)), c.qualifier);
    EXPECT_EQ(SjisToUtf8(text.substr(ctx.Start, ctx.End - ctx.Start)), c.replaced);
    EXPECT_EQ(TablesText(ctx.Tables), c.tables);
  }
}

TEST(Completion, ResolvesAliasesTablesAndSchemas) {
  TCatalog catalog;
  catalog.DefaultSchema = "public";
  catalog.Dialect.Fold = TNameFold::Lower;
  catalog.Tables = {{"other", "emp", "TABLE", "1"}, {"public", "emp", "TABLE", "2"}, {"public", "Emp", "TABLE", "3"},
                    {"public", SJ("社員"), "TABLE", "4"}, {"other", "only", "VIEW", "5"}};
  const std::vector<TTableName> from = {{{{"other", false}, {"emp", false}}, {"o", false}},
                                        {{{SJ("社員"), false}}, {SJ("社"), false}}};
  struct Case {
    std::vector<TNamePart> qualifier;
    int table;
  } cases[] = {
      {{{"o", false}}, 0},            // an alias of the statement
      {{{"O", false}}, 0},            // unquoted: case does not matter
      {{{"O", true}}, -1},             // quoted: no such name
      {{{"EMP", false}}, 1},          // the default schema's table first
      {{{"Emp", true}}, 2},           // quoted: exactly
      {{{"other", false}, {"EMP", false}}, 0},
      {{{SJ("社"), false}}, 3},
      {{{SJ("社員"), false}}, 3},
      {{{"only", false}}, 4},         // in another schema when only there
      {{{"none", false}}, -1},
      {{}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(SjisToUtf8(Joined(c.qualifier)));
    EXPECT_EQ(ResolveTable(catalog, c.qualifier, from), c.table);
  }
  EXPECT_TRUE(IsCatalogSchema(catalog, {"OTHER", false}));
  EXPECT_FALSE(IsCatalogSchema(catalog, {"OTHER", true}));
  EXPECT_FALSE(IsCatalogSchema(catalog, {"emp", false}));
}

TEST(Completion, NameListsMatchPrefixesWithoutCase) {
  TNameList list;
  for (const char* name : {"emp_history", "EMP", "Employee", "DEPT", "社員名", "社員", "SELECT", "em"})
    list.Add("[" + SJ(name) + "]", SJ(name), TCandidateKind::Table);
  list.Sort();
  auto match = [&](const char* prefix) {
    std::string out;
    for (const TCandidate* c : list.Match(SJ(prefix))) out += SjisToUtf8(c->Text);
    return out;
  };
  EXPECT_EQ(match("em"), "[em][EMP][Employee][emp_history]");
  EXPECT_EQ(match("EMP_"), "[emp_history]");
  EXPECT_EQ(match("社員"), "[社員][社員名]");
  EXPECT_EQ(match("x"), "");
  EXPECT_EQ(list.Match("").size(), 8u);
}

TEST(Completion, TellsStatementsThatChangeTheSchema) {
  struct Case {
    const char* statement;
    bool changes;
  } cases[] = {
      {"CREATE TABLE t (a INT)", true}, {"  /* note */ drop view v", true}, {"-- why\nAlter table t add b", true},
      {"RENAME a TO b", true},          {"SELECT * FROM created", false}, {"INSERT INTO t VALUES ('CREATE')", false},
      {"", false},                      {"CREATED_AT", false},
  };
  for (const Case& c : cases) EXPECT_EQ(ChangesSchema(c.statement), c.changes) << c.statement;
}
