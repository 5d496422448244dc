#pragma once
// A scripted session for what no real database produces on demand: LONG or
// ROWID columns, server errors with a chosen number (0 included), a failure
// in the middle of a fetch. Tests share the script with the session and may
// change it between calls.

#include <memory>
#include <string>
#include <vector>

#include "core/Session.h"

struct TFakeColumn {
  std::string Name;
  int Type = 1;
  int Size = 0, Precision = 0, Scale = 0;
};

struct TFakeCell {
  TValueKind Kind = TValueKind::Null;
  std::string Text;
  TDateTime Date = 0;
};

inline TFakeCell FakeText(std::string text) { return {TValueKind::Text, std::move(text), 0}; }
inline TFakeCell FakeNull() { return {}; }
inline TFakeCell FakeDate(TDateTime d) { return {TValueKind::DateTime, {}, d}; }

struct TFakeError {
  bool Fail = false;
  int ServerErr = 0;
  std::string Text;
};

struct TFakeScript {
  std::vector<TFakeColumn> Columns;
  std::vector<std::vector<TFakeCell>> Rows;
  int RecordCount = -1;  // -1: the number of Rows
  int ExecRows = 0;

  TFakeError Logon, Exec, Query;
  int FailMoveNextTo = -1;  // MoveNext onto this 0-based row fails with Fetch
  TFakeError Fetch;

  // What the session saw.
  std::vector<std::string> Statements;
  std::string LastHost, LastConnect;
  int ValueReads = 0;
};

std::unique_ptr<TSession> MakeFakeSession(std::shared_ptr<TFakeScript> script);
