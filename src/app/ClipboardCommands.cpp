#include "app/ClipboardCommands.h"

#include <set>

#include "app/App.h"
#include "app/MainWindow.h"
#include "views/QtText.h"
#include "core/Session.h"
#include "core/SqlInfo.h"
#include "views/SqlGrid.h"

namespace {

// Grid column c shows result column c - 1; outside the columns the name is
// empty.
std::string Name(TSqlInfo& info, int col) { return info.ColName(col - 1); }

// A cp932 trail byte is never a tab, a line break or a double quote either.
void AppendTableValue(std::string& out, std::string_view value) {
  if (value.find_first_of("\t\r\n\"") == std::string_view::npos) {
    out += value;
    return;
  }
  out += '"';
  for (char c : value) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void Copy(TApp& app, std::string (*build)(TSqlInfo&, const TGridSelection&)) {
  TfrmMain& main = app.Main();
  app.Platform().SetClipboardText(ToQ(build(main.SqlInfo(), main.Grid().Selection())));
}

// The texts meant for SQL follow the rules of the server they will be
// pasted into: the one connected now.
void Copy(TApp& app, std::string (*build)(TSqlInfo&, const TGridSelection&, const TSqlDialect&)) {
  TfrmMain& main = app.Main();
  TDatabase* db = main.SqlManager().Database();
  const TSqlDialect dialect = db ? db->Dialect() : TSqlDialect{};
  app.Platform().SetClipboardText(ToQ(build(main.SqlInfo(), main.Grid().Selection(), dialect)));
}

}  // namespace

std::string FixedRowText(TSqlInfo& info, const TGridSelection& sel) {
  std::string text;
  for (int c = sel.Left; c <= sel.Right; ++c) {
    text += Name(info, c);
    if (c < sel.Right) text += ',';
  }
  return text;
}

std::string CellText(TSqlInfo& info, const TGridSelection& sel, const TSqlDialect& dialect) {
  std::string text;
  for (int r = sel.Top; r <= sel.Bottom; ++r) {
    for (int c = sel.Left; c <= sel.Right; ++c) {
      AppendLiteral(text, info.GetCell(c, r), dialect);
      if (c < sel.Right) text += ',';
    }
    text += "\r\n";
  }
  return text;
}

std::string WhereText(TSqlInfo& info, const TGridSelection& sel, const TSqlDialect& dialect) {
  std::string text;
  for (int r = sel.Top; r <= sel.Bottom; ++r) {
    text += r == sel.Top ? "where (" : "or (";
    for (int c = sel.Left; c <= sel.Right; ++c) {
      text += QuoteName(Name(info, c), dialect);
      text += '=';
      AppendLiteral(text, info.GetCell(c, r), dialect);
      text += c < sel.Right ? " and " : ")";
    }
    text += "\r\n";
  }
  return text;
}

void FixedRowCopyExecute(TApp& app) { Copy(app, FixedRowText); }
void CellCopyExecute(TApp& app) { Copy(app, CellText); }
void WhereCopyExecute(TApp& app) { Copy(app, WhereText); }

std::string TableText(TSqlInfo& info, const TGridSelection& sel) {
  std::string text;
  for (int r = sel.Top - 1; r <= sel.Bottom; ++r) {
    for (int c = sel.Left; c <= sel.Right; ++c) {
      AppendTableValue(text, r < sel.Top ? Name(info, c) : info.GetCell(c, r));
      if (c < sel.Right) text += '\t';
    }
    text += "\r\n";
  }
  return text;
}

std::string InText(TSqlInfo& info, const TGridSelection& sel, const TSqlDialect& dialect) {
  std::string text;
  for (int c = sel.Left; c <= sel.Right; ++c) {
    if (c > sel.Left) text += " and ";
    text += QuoteName(Name(info, c), dialect);
    text += " IN (";
    std::set<std::string> seen;
    bool first = true;
    for (int r = sel.Top; r <= sel.Bottom; ++r) {
      std::string value = info.GetCell(c, r);
      if (!seen.insert(value).second) continue;
      if (!first) text += ',';
      first = false;
      AppendLiteral(text, value, dialect);
    }
    text += ')';
  }
  return text;
}

void TableCopyExecute(TApp& app) { Copy(app, TableText); }
void InCopyExecute(TApp& app) { Copy(app, InText); }
