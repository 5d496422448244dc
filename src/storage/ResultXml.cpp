#include "storage/ResultXml.h"

#include "core/DateTime.h"
#include "core/Sjis.h"
#include "storage/StorageError.h"

namespace {

std::string Numbered(char prefix, int n) { return prefix + std::to_string(n); }

void Comment(TTinyXml& doc, std::string_view utf8, int level) { doc.AddNode(xnComment, "", SJ(utf8), level); }

// One line of a multi-line text: "Li" ends with a line break, "Dt" does not.
void AddLine(TTinyXml& doc, const char* name, std::string_view line, int level) {
  if (line.empty()) doc.AddNode(xnEmptyTag, name, "", level);
  else doc.AddNode(xnText, name, line, level);
}

void WriteCell(TTinyXml& doc, const std::string& name, const std::string& text) {
  if (text.find_first_of("\r\n") == std::string::npos) {
    doc.AddNode(xnText, name, text, 2);
    return;
  }
  // Any final break counts, not only CR LF: otherwise a lone CR or LF at the
  // end of a one-line cell would be lost.
  const bool endsWithBreak = text.back() == '\r' || text.back() == '\n';
  const TStrings lines = SplitLines(text);
  if (lines.size() == 1 && !endsWithBreak) {
    doc.AddNode(xnText, name, lines[0], 2);
    return;
  }
  doc.AddNode(xnStartTag, name, "", 2);
  for (size_t i = 0; i < lines.size(); ++i)
    AddLine(doc, i + 1 < lines.size() || endsWithBreak ? "Li" : "Dt", lines[i], 3);
  doc.AddNode(xnEndTag, name, "", 2);
}

// The decoded text of the Li/Dt children of `parent`, into `text` (which is
// emptied first, so one buffer serves every cell); after each Li a CR LF.
// With `takeText`, a plain text child ends the walk and stands for the whole
// value when nothing came before it (a one-line cell).
void ReadLines(const TTinyXml& doc, int parent, bool takeText, std::string& text) {
  text.clear();
  for (int child = doc.FirstChild(parent); child != -1; child = doc.NextSibling(child)) {
    const std::string_view name = TTinyXml::TagName(doc.Text(child));
    if (takeText && name.empty()) {
      if (text.empty()) AppendXmlDecoded(text, doc.Text(child));
      break;
    }
    const bool li = name == "Li";
    if (!li && name != "Dt") continue;
    const int content = doc.FirstChild(child);
    if (content != -1) AppendXmlDecoded(text, doc.Text(content));
    if (li) text += "\r\n";
    if (text.size() > kMaxFileCellBytes) throw TDamagedFileError("XML text longer than 256 MiB");
  }
}

TDateTime ParseDate(const std::string& s) {
  TDateTime v = 0;
  if (!TryParseDate(s, v)) throw TConvertError(NotDateMessage(s));
  return v;
}

TDateTime ParseTime(const std::string& s) {
  TDateTime v = 0;
  if (!TryParseTime(s, v)) throw TConvertError(NotTimeMessage(s));
  return v;
}

}  // namespace

void WriteSqlSection(TTinyXml& doc, const TSqlInfo& info, int level) {
  Comment(doc, "ＳＱＬテキスト", level);
  doc.AddNode(xnStartTag, "Sql", "", level);
  for (const std::string& line : info.Sql) AddLine(doc, "Li", line, level + 1);
  doc.AddNode(xnEndTag, "Sql", "", level);
}

void WriteInfoSection(TTinyXml& doc, const TSqlInfo& info, int level) {
  Comment(doc, "実行時情報", level);
  doc.AddNode(xnStartTag, "Info", "", level);
  doc.AddNode(xnText, "Date", FormatDate(info.Date()), level + 1);
  doc.AddNode(xnText, "StartTime", FormatTime(info.StartTime()), level + 1);
  doc.AddNode(xnText, "EndTime", FormatTime(info.EndTime()), level + 1);
  doc.AddNode(xnText, "DiffTime", FormatTime(info.DiffTime()), level + 1);
  doc.AddNode(xnText, "Status", info.Status(), level + 1);
  doc.AddNode(xnText, "RowPos", IntToStr(info.RowPos()), level + 1);
  doc.AddNode(xnText, "RowCount", IntToStr(info.RowCount()), level + 1);
  doc.AddNode(xnText, "ColCount", IntToStr(info.ColCount()), level + 1);
  doc.AddNode(xnEndTag, "Info", "", level);
}

void WriteHeaderSection(TTinyXml& doc, const TSqlInfo& info, int level) {
  Comment(doc, "実行結果列情報", level);
  doc.AddNode(xnStartTag, "Header", "", level);
  std::string line;
  for (int i = 0; i < info.ColCount(); ++i) {
    const std::string n = IntToStr(i + 1);
    line = "<C" + n;
    line += " Type=\"" + info.ColType(i) + "\"";
    line += " Size=\"" + IntToStr(info.ColSize(i)) + "\"";
    line += " Precision=\"" + IntToStr(info.ColPrecision(i)) + "\"";
    line += " Scale=\"" + IntToStr(info.ColScale(i)) + "\">";
    AppendXmlEncoded(line, info.ColName(i));
    line += "</C" + n + ">";
    doc.AddNode(xnText, "", line, level + 1);
  }
  doc.AddNode(xnEndTag, "Header", "", level);
}

void ReadSqlSection(TSqlInfo& info, const TTinyXml& doc, int sqlIndex) {
  std::string text;
  ReadLines(doc, sqlIndex, false, text);
  info.Sql = SplitLines(text);
}

bool ReadInfoSection(TSqlInfo& info, const TTinyXml& doc, int parent) {
  const int node = doc.FindChild(parent, "Info");
  if (node == -1) return false;
  std::string s;
  auto next = [&](const char* name) {
    s = doc.ChildText(node, name);
    return !s.empty();
  };
  if (!next("Date")) return false;
  info.SetDate(ParseDate(s));
  if (!next("StartTime")) return false;
  info.SetStartTime(ParseTime(s));
  if (!next("EndTime")) return false;
  info.SetEndTime(ParseTime(s));
  if (!next("DiffTime")) return false;
  info.SetDiffTime(ParseTime(s));
  if (!next("Status")) return false;
  info.SetStatus(s);
  if (!next("RowPos")) return false;
  info.SetRowPos(StrToIntOrThrow(s));
  if (!next("RowCount")) return false;
  info.SetRowCount(StrToIntOrThrow(s));
  if (!next("ColCount")) return false;
  const int colCount = StrToIntOrThrow(s);
  // Every column needs an element of its own; a count beyond that comes from
  // a damaged file and would only make the column arrays exhaust memory.
  if (colCount > doc.Count()) throw TXmlError("ColCount " + s + " exceeds the document");
  if (colCount > static_cast<int>(kMaxFileColumns)) throw TDamagedFileError("ColCount " + s + " above 65536");
  info.SetColCount(colCount);
  return true;
}

bool ReadHeaderSection(TSqlInfo& info, TTinyXml& doc, int parent) {
  const int header = doc.FindChild(parent, "Header");
  if (header == -1) return false;
  int i = 0;
  for (int column = doc.FindChild(header, "C1"); column != -1; column = doc.FindNext(column, Numbered('C', i + 1))) {
    const int name = doc.FirstChild(column);
    if (name == -1) return false;
    info.SetColName(i, XmlDecode(doc.Text(name)));
    const std::string_view tag = doc.Text(column);
    doc.SplitTag(tag.substr(1, tag.size() - 2));
    info.SetColType(i, doc.AttributeValue("Type"));
    info.SetColSize(i, StrToIntOrThrow(doc.AttributeValue("Size")));
    info.SetColPrecision(i, StrToIntOrThrow(doc.AttributeValue("Precision")));
    info.SetColScale(i, StrToIntOrThrow(doc.AttributeValue("Scale")));
    info.DefineColumn(i, info.ColTypeCode(i), info.ColSize(i), info.ColPrecision(i), info.ColScale(i));
    if (++i == info.ColCount()) return true;
  }
  return false;
}

void SaveXml(TSqlInfo& info, const std::string& fileName) {
  TTinyXml doc;
  doc.AddNode(xnDeclaration, "", "", 0);
  Comment(doc, "注意！！このファイルを変更しないで下さい。", 0);
  Comment(doc, "実行結果", 0);
  doc.AddNode(xnStartTag, "Result", "", 0);
  WriteSqlSection(doc, info, 1);
  WriteInfoSection(doc, info, 1);
  WriteHeaderSection(doc, info, 1);
  TStrings cellNames;
  for (int c = 1; c <= info.ColCount(); ++c) cellNames.push_back(Numbered('C', c));
  for (int r = 1; r <= info.RowPos(); ++r) {
    const std::string row = Numbered('R', r);
    doc.AddNode(xnStartTag, row, "", 1);
    for (int c = 1; c <= info.ColCount(); ++c) WriteCell(doc, cellNames[static_cast<size_t>(c - 1)], info.GetCell(c, r));
    doc.AddNode(xnEndTag, row, "", 1);
  }
  doc.AddNode(xnEndTag, "Result", "", 0);
  doc.SaveToFile(fileName);
}

void LoadXml(TSqlInfo& info, const std::string& fileName) {
  info.Clear();
  TTinyXml doc;
  doc.LoadFromFile(fileName);
  const int root = doc.FindNext(0, "Result");
  if (root == -1) return;
  const int sql = doc.FindChild(root, "Sql");
  if (sql == -1) return;
  ReadSqlSection(info, doc, sql);
  if (!ReadInfoSection(info, doc, root) || !ReadHeaderSection(info, doc, root)) return;

  TStrings cellNames;
  for (int c = 1; c <= info.ColCount(); ++c) cellNames.push_back(Numbered('C', c));
  const std::string err = "Err";
  std::string text;
  int row = -1;
  for (int k = 1; k <= info.RowPos(); ++k) {
    // Each row and cell is looked for after the previous one, never from the
    // root again, so a large file loads in one pass.
    row = k == 1 ? doc.FindChild(root, "R1") : doc.FindNext(row, Numbered('R', k));
    if (row == -1) {
      info.SetStatus(err);
      break;
    }
    info.AddRow();
    int cell = -1;
    for (int c = 1; c <= info.ColCount(); ++c) {
      const std::string& name = cellNames[static_cast<size_t>(c - 1)];
      cell = c == 1 ? doc.FindChild(row, name) : doc.FindNext(cell, name);
      if (cell == -1) {
        info.SetStatus(err);
        break;
      }
      ReadLines(doc, cell, true, text);
      info.SetCell(c, k, text);
    }
    info.AltRow = !info.AltRow;
  }
}
