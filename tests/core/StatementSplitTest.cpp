#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Sjis.h"
#include "core/StatementSplit.h"

namespace {

std::vector<std::string> Texts(const std::string& script) {
  std::vector<std::string> texts;
  for (const TStatementSpan& s : SplitStatements(script)) texts.push_back(script.substr(s.Begin, s.End - s.Begin));
  return texts;
}

}  // namespace

TEST(StatementSplit, RealScripts) {
  struct Case {
    const char* name;
    std::string script;
    std::vector<std::string> statements;
  } cases[] = {
      {"plain", "SELECT 1;\nSELECT 2;", {"SELECT 1", "SELECT 2"}},
      {"last without separator", "select 1;\n\nselect 2\n", {"select 1", "select 2"}},
      {"blank lines do not separate", "SELECT *\n\nFROM emp;", {"SELECT *\n\nFROM emp"}},
      {"two on a line", "SELECT 1; SELECT 2;", {"SELECT 1", "SELECT 2"}},
      {"empty statements", ";;\n ; SELECT 1;;", {"SELECT 1"}},
      {"only comments", "-- nothing; here\n/* nor; here */\n", {}},
      {"slash line", "SELECT 1 FROM dual\n/\nSELECT 2 FROM dual\n  /  \n", {"SELECT 1 FROM dual", "SELECT 2 FROM dual"}},
      {"slash inside a line is division", "SELECT 4\n/ 2 FROM dual;", {"SELECT 4\n/ 2 FROM dual"}},
      {"quotes", "SELECT 'a;b', 'it''s;' FROM t; SELECT \"x;y\" FROM u;",
       {"SELECT 'a;b', 'it''s;' FROM t", "SELECT \"x;y\" FROM u"}},
      {"quote holding a slash line", "INSERT INTO t VALUES ('a\n/\nb');\nSELECT 1;",
       {"INSERT INTO t VALUES ('a\n/\nb')", "SELECT 1"}},
      {"comments holding separators", "SELECT 1 -- not; here\n, 2 /* nor;\n/\n here */ FROM t;",
       {"SELECT 1 -- not; here\n, 2 /* nor;\n/\n here */ FROM t"}},
      {"leading comment goes with its statement", "-- the staff\nSELECT * FROM emp;\n/* depts */ SELECT 1;",
       {"-- the staff\nSELECT * FROM emp", "/* depts */ SELECT 1"}},
      {"trailing comment stays with the statement before", "SELECT 1; -- first\nSELECT 2;", {"SELECT 1", "SELECT 2"}},
      {"remark lines", "REM don't; stop\nSELECT 1;\nremark it's\nSELECT 2;",
       {"REM don't; stop\nSELECT 1", "remark it's\nSELECT 2"}},
      {"transaction BEGIN is a statement", "BEGIN;\nUPDATE t SET a = 1;\nCOMMIT;\nBEGIN TRANSACTION;\nEND;",
       {"BEGIN", "UPDATE t SET a = 1", "COMMIT", "BEGIN TRANSACTION", "END"}},
      {"dollar quotes",
       "CREATE FUNCTION f() RETURNS int AS $$\nBEGIN\n  RETURN 1;\nEND;\n$$ LANGUAGE plpgsql;\n"
       "DO $body$ BEGIN PERFORM 1; END $body$;\nSELECT $1, a$b$c FROM t;",
       {"CREATE FUNCTION f() RETURNS int AS $$\nBEGIN\n  RETURN 1;\nEND;\n$$ LANGUAGE plpgsql;",
        "DO $body$ BEGIN PERFORM 1; END $body$", "SELECT $1, a$b$c FROM t"}},
      {"PL/pgSQL nested dollar quotes", "DO $a$ BEGIN EXECUTE $b$ SELECT 1; $b$; END $a$;\nSELECT 2;",
       {"DO $a$ BEGIN EXECUTE $b$ SELECT 1; $b$; END $a$", "SELECT 2"}},
      {"SQLite trigger",
       "CREATE TRIGGER t_log AFTER INSERT ON t\nBEGIN\n  INSERT INTO log VALUES (new.a);\n"
       "  UPDATE n SET c = CASE WHEN c IS NULL THEN 1 ELSE c + 1 END;\nEND;\nINSERT INTO t VALUES (1);",
       {"CREATE TRIGGER t_log AFTER INSERT ON t\nBEGIN\n  INSERT INTO log VALUES (new.a);\n"
        "  UPDATE n SET c = CASE WHEN c IS NULL THEN 1 ELSE c + 1 END;\nEND;",
        "INSERT INTO t VALUES (1)"}},
      {"PL/SQL procedure with declarations",
       "CREATE OR REPLACE PROCEDURE raise_sal (p_id IN NUMBER) AS\n  v NUMBER := 0;\nBEGIN\n"
       "  IF p_id > 0 THEN\n    UPDATE emp SET sal = sal * 1.1 WHERE empno = p_id;\n  END IF;\n"
       "  FOR r IN (SELECT 1 FROM dual) LOOP NULL; END LOOP;\nEND raise_sal;\n/\nSELECT 1 FROM dual;",
       {"CREATE OR REPLACE PROCEDURE raise_sal (p_id IN NUMBER) AS\n  v NUMBER := 0;\nBEGIN\n"
        "  IF p_id > 0 THEN\n    UPDATE emp SET sal = sal * 1.1 WHERE empno = p_id;\n  END IF;\n"
        "  FOR r IN (SELECT 1 FROM dual) LOOP NULL; END LOOP;\nEND raise_sal;",
        "SELECT 1 FROM dual"}},
      {"PL/SQL function, CASE in the declarations",
       "CREATE FUNCTION f RETURN NUMBER IS\n  v NUMBER := CASE WHEN 1 = 1 THEN 1 END;\nBEGIN\n  RETURN v;\nEND;\n"
       "/\n",
       {"CREATE FUNCTION f RETURN NUMBER IS\n  v NUMBER := CASE WHEN 1 = 1 THEN 1 END;\nBEGIN\n  RETURN v;\nEND;"}},
      {"PL/SQL package spec and body",
       "CREATE PACKAGE pk AS\n  PROCEDURE p;\nEND pk;\n/\nCREATE PACKAGE BODY pk AS\n  PROCEDURE p IS\n  BEGIN\n"
       "    NULL;\n  END;\nEND pk;\n/",
       {"CREATE PACKAGE pk AS\n  PROCEDURE p;\nEND pk;",
        "CREATE PACKAGE BODY pk AS\n  PROCEDURE p IS\n  BEGIN\n    NULL;\n  END;\nEND pk;"}},
      {"anonymous blocks", "DECLARE\n  v NUMBER;\nBEGIN\n  v := 1;\nEND;\n/\nBEGIN\n  dbms_output.put_line('x;');\nEND;",
       {"DECLARE\n  v NUMBER;\nBEGIN\n  v := 1;\nEND;", "BEGIN\n  dbms_output.put_line('x;');\nEND;"}},
      {"PL/SQL CASE statement", "BEGIN\n  CASE 1 WHEN 1 THEN NULL; END CASE;\nEND;\nSELECT 1;",
       {"BEGIN\n  CASE 1 WHEN 1 THEN NULL; END CASE;\nEND;", "SELECT 1"}},
      {"Oracle trigger with DECLARE",
       "CREATE TRIGGER trg BEFORE INSERT ON emp FOR EACH ROW\nDECLARE\n  n NUMBER;\nBEGIN\n  :new.sal := 0;\nEND;\n/",
       {"CREATE TRIGGER trg BEFORE INSERT ON emp FOR EACH ROW\nDECLARE\n  n NUMBER;\nBEGIN\n  :new.sal := 0;\nEND;"}},
      {"MariaDB routines",
       "CREATE DEFINER=`root`@`%` PROCEDURE p()\nBEGIN\n  SELECT 1;\n  SELECT 2;\nEND;\n"
       "CREATE FUNCTION f(x INT) RETURNS INT RETURN (SELECT COUNT(*) AS n FROM t WHERE a = x);\nSELECT 3;",
       {"CREATE DEFINER=`root`@`%` PROCEDURE p()\nBEGIN\n  SELECT 1;\n  SELECT 2;\nEND;",
        "CREATE FUNCTION f(x INT) RETURNS INT RETURN (SELECT COUNT(*) AS n FROM t WHERE a = x);", "SELECT 3"}},
      {"PostgreSQL trigger naming its tables",
       "CREATE TRIGGER t AFTER INSERT ON x REFERENCING NEW TABLE AS n FOR EACH STATEMENT EXECUTE FUNCTION f();\n"
       "SELECT 1;",
       {"CREATE TRIGGER t AFTER INSERT ON x REFERENCING NEW TABLE AS n FOR EACH STATEMENT EXECUTE FUNCTION f();",
        "SELECT 1"}},
      {"views and tables are plain", "CREATE VIEW v AS SELECT function FROM t;\nCREATE TABLE begin_end (a int);\nSELECT 1;",
       {"CREATE VIEW v AS SELECT function FROM t", "CREATE TABLE begin_end (a int)", "SELECT 1"}},
      {"Japanese", SJ("SELECT '表；ソ' AS \"名前\" FROM 社員; -- ソ;\nSELECT 能 FROM 表\n/"),
       {SJ("SELECT '表；ソ' AS \"名前\" FROM 社員"), SJ("SELECT 能 FROM 表")}},
      {"CR LF", "SELECT 1;\r\n\r\nSELECT 2\r\n/\r\n", {"SELECT 1", "SELECT 2"}},
      {"unclosed quote runs to the end", "SELECT 'a; SELECT 2;", {"SELECT 'a; SELECT 2;"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Texts(c.script), c.statements);
  }
}

// "^" marks the caret; the expected text is the statement it runs, or empty.
TEST(StatementSplit, CaretAtEveryBoundary) {
  struct Case {
    const char* name;
    std::string script;
    std::string expected;
  } cases[] = {
      {"start of text", "^SELECT 1;\nSELECT 2;", "SELECT 1"},
      {"before the semicolon", "SELECT 1^;\nSELECT 2;", "SELECT 1"},
      {"on the semicolon's right", "SELECT 1;^\nSELECT 2;", "SELECT 1"},
      {"after trailing blanks", "SELECT 1;   ^\nSELECT 2;", "SELECT 1"},
      {"in a trailing comment", "SELECT 1; -- x^y\nSELECT 2;", "SELECT 1"},
      {"start of the next line", "SELECT 1;\n^SELECT 2;", "SELECT 2"},
      {"indentation of the next line", "SELECT 1;\n  ^  SELECT 2;", "SELECT 2"},
      {"blank line between", "SELECT 1;\n^\nSELECT 2;", ""},
      {"blank line of spaces between", "SELECT 1;\n  ^  \nSELECT 2;", ""},
      {"blank line inside a statement", "SELECT *\n^\nFROM t;", "SELECT *\n\nFROM t"},
      {"between two on a line, at the semicolon", "SELECT 1;^ SELECT 2;", "SELECT 1"},
      {"between two on a line, past the blank", "SELECT 1; ^SELECT 2;", "SELECT 2"},
      {"on the slash line", "SELECT 1 FROM dual\n/^\nSELECT 2 FROM dual", "SELECT 1 FROM dual"},
      {"before the slash", "SELECT 1 FROM dual\n^/\nSELECT 2 FROM dual", "SELECT 1 FROM dual"},
      {"on the slash after END;", "BEGIN NULL; END;\n^/\nSELECT 1 FROM dual;", "BEGIN NULL; END;"},
      {"inside a body", "CREATE TRIGGER t AFTER INSERT ON a BEGIN\n  DELETE FROM b;^\nEND;\nSELECT 1;",
       "CREATE TRIGGER t AFTER INSERT ON a BEGIN\n  DELETE FROM b;\nEND;"},
      {"on a leading comment", "SELECT 1;\n-- ^next\nSELECT 2;", "-- next\nSELECT 2"},
      {"after the last statement", "SELECT 1\n\n^", ""},
      {"end of text without separator", "SELECT 1^", "SELECT 1"},
      {"empty text", "^", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string script = c.script;
    const size_t caret = script.find('^');
    script.erase(caret, 1);
    const std::vector<TStatementSpan> spans = SplitStatements(script);
    const int at = StatementAtCaret(spans, caret);
    const std::string got = at < 0 ? "" : script.substr(spans[at].Begin, spans[at].End - spans[at].Begin);
    EXPECT_EQ(got, c.expected);
  }
}
