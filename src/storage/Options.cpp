#include "storage/Options.h"

#include <cstdio>

#include "core/Sjis.h"
#include "core/StrUtil.h"
#include "storage/StorageError.h"
#include "storage/TinyXml.h"

namespace {

struct TColorName {
  const char* Name;
  TColor Value;
};

const TColorName kColorNames[] = {
    {"clBlack", 0x000000},          {"clMaroon", 0x000080},           {"clGreen", 0x008000},
    {"clOlive", 0x008080},          {"clNavy", 0x800000},             {"clPurple", 0x800080},
    {"clTeal", 0x808000},           {"clGray", 0x808080},             {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},            {"clLime", 0x00FF00},             {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},           {"clFuchsia", 0xFF00FF},          {"clAqua", 0xFFFF00},
    {"clWhite", 0xFFFFFF},          {"clScrollBar", 0x80000000},      {"clBackground", 0x80000001},
    {"clActiveCaption", 0x80000002}, {"clInactiveCaption", 0x80000003}, {"clMenu", 0x80000004},
    {"clWindow", 0x80000005},       {"clWindowFrame", 0x80000006},    {"clMenuText", 0x80000007},
    {"clWindowText", 0x80000008},   {"clCaptionText", 0x80000009},    {"clActiveBorder", 0x8000000A},
    {"clInactiveBorder", 0x8000000B}, {"clAppWorkSpace", 0x8000000C}, {"clHighlight", 0x8000000D},
    {"clHighlightText", 0x8000000E}, {"clBtnFace", 0x8000000F},       {"clBtnShadow", 0x80000010},
    {"clGrayText", 0x80000011},     {"clBtnText", 0x80000012},        {"clInactiveCaptionText", 0x80000013},
    {"clBtnHighlight", 0x80000014}, {"cl3DDkShadow", 0x80000015},     {"cl3DLight", 0x80000016},
    {"clInfoText", 0x80000017},     {"clInfoBk", 0x80000018},         {"clNone", 0x1FFFFFFF},
};
static_assert(sizeof kColorNames / sizeof kColorNames[0] == 42);

// ---- reading ----

class TReader {
 public:
  explicit TReader(const TTinyXml& doc) : doc_(doc) {}

  std::string Text(int parent, const char* name) const { return doc_.ChildText(parent, name); }

  // `value` is an int, or an std::optional<int> that stays empty when absent.
  template <typename T>
  void Int(int parent, const char* name, T& value) const {
    std::string s = Text(parent, name);
    if (!s.empty()) value = StrToIntOrThrow(s);
  }

  void Color(int parent, const char* name, TColor& value) const {
    std::string s = Text(parent, name);
    if (s.empty()) return;
    if (!TryStringToColor(s, value)) throw TConvertError(NotIntegerMessage(s));
  }

  void Window(int form, TWindowBlock& w) const {
    const std::string state = Text(form, "WindowState");
    if (state == "Maximized") {
      w.State = TWindowState::Maximized;
    } else if (state == "Minimized") {
      w.State = TWindowState::Minimized;
    } else if (state == "Normal") {
      w.State = TWindowState::Normal;
      Int(form, "Top", w.Top);
      Int(form, "Left", w.Left);
      Int(form, "Width", w.Width);
      Int(form, "Height", w.Height);
    }
  }

  void Dialog(int form, const char* name, TDialogBlock& d) const {
    const int node = doc_.FindChild(form, name);
    if (node == -1) return;
    d.Present = true;
    d.Path = Text(node, "Path");
    const std::string ext = Text(node, "Extension");
    d.SecondFilter = ext == "TXT" || ext == "XML";
  }

  int Child(int parent, const char* name) const { return doc_.FindChild(parent, name); }

 private:
  const TTinyXml& doc_;
};

// A form's section: marks the form present and reads its window block.
// Returns the section's entry, -1 when it is absent.
template <typename TForm>
int ReadForm(const TReader& r, int root, const char* name, TForm& form) {
  const int node = r.Child(root, name);
  if (node == -1) return -1;
  form.Present = true;
  r.Window(node, form.Window);
  return node;
}

void ReadSections(const TReader& r, int root, TOptionFile& out) {
  TOptions& o = out.Options;
  TOptionLayout& lay = out.Layout;

  if (int login = r.Child(root, "Login"); login != -1) {
    for (auto [name, field] : {std::pair{"User", &o.User}, {"Password", &o.Password}, {"Connect", &o.Connect}}) {
      std::string s = r.Text(login, name);
      if (!s.empty()) *field = s;
    }
  }

  if (int log = r.Child(root, "Log"); log != -1) {
    const std::string logOption = r.Text(log, "LogOption");
    o.LogOption = logOption == "SqlResult" ? 0 : logOption == "Sql" ? 1 : 2;
    o.PathOption = r.Text(log, "PathOption") == "SameAsExe" ? 0 : 1;
    o.Path = r.Text(log, "Path");
    if (o.Path.empty()) o.PathOption = 0;
    r.Int(log, "MaxLog", o.MaxLog);
  }

  if (int grid = r.Child(root, "Grid"); grid != -1) {
    if (int fixed = r.Child(grid, "FixedRows"); fixed != -1) {
      o.Orientation = r.Text(fixed, "Orientation") == "Horizontal" ? 0 : 1;
      r.Int(fixed, "Wordwrap", o.Wordwrap);
      r.Color(fixed, "ForeColor", o.FixedRowsForeColor);
      r.Color(fixed, "BackColor", o.FixedRowsBackColor);
    }
    if (int normal = r.Child(grid, "NormalLines"); normal != -1) {
      r.Color(normal, "ForeColor", o.NormalLineForeColor);
      r.Color(normal, "BackColor", o.NormalLineBackColor);
    }
    if (int bold = r.Child(grid, "BoldLines"); bold != -1) {
      r.Color(bold, "ForeColor", o.BoldLineForeColor);
      r.Color(bold, "BackColor", o.BoldLineBackColor);
    }
  }

  if (int main = ReadForm(r, root, "MainForm", lay.MainForm); main != -1) {
    if (int p = r.Child(main, "SqlPanel"); p != -1) r.Int(p, "Width", lay.MainForm.SqlPanelWidth);
    if (int p = r.Child(main, "OpePanel"); p != -1) r.Int(p, "Height", lay.MainForm.OpePanelHeight);
    r.Dialog(main, "SqlDialog", lay.MainForm.SqlDialog);
    r.Dialog(main, "ResultDialog", lay.MainForm.ResultDialog);
  }

  ReadForm(r, root, "LogForm", lay.LogForm);
  if (int form = ReadForm(r, root, "DiffForm", lay.DiffForm); form != -1)
    r.Dialog(form, "DiffDialog", lay.DiffForm.DiffDialog);
  ReadForm(r, root, "SortForm", lay.SortForm);

  // A bad row limit must never stop a query from running: it falls back.
  if (int other = r.Child(root, "Other"); other != -1) {
    int32_t v = 0;
    o.MaxRow = TryStrToInt(r.Text(other, "MaxRow"), v) ? v : 1000;
    o.AutoCommit = r.Text(other, "AutoCommit") != "Off";
  }
}

// ---- writing ----

void Comment(TTinyXml& doc, std::string_view utf8, int level) { doc.AddNode(xnComment, "", SJ(utf8), level); }
void Value(TTinyXml& doc, const char* name, std::string_view text, int level) {
  doc.AddNode(xnText, name, text, level);
}
void Value(TTinyXml& doc, const char* name, int value, int level) { Value(doc, name, IntToStr(value), level); }

void WriteWindow(TTinyXml& doc, const TWindowBlock& w) {
  Comment(doc, "ウィンドウ位置とサイズ", 2);
  const TWindowState state = w.State.value_or(TWindowState::Normal);
  Value(doc, "WindowState",
        state == TWindowState::Maximized ? "Maximized" : state == TWindowState::Minimized ? "Minimized" : "Normal", 2);
  if (state != TWindowState::Normal) return;
  for (auto [name, v] : {std::pair{"Top", &w.Top}, {"Left", &w.Left}, {"Width", &w.Width}, {"Height", &w.Height}})
    if (*v) Value(doc, name, **v, 2);
}

void WriteDialog(TTinyXml& doc, const char* name, const TDialogBlock& d, const char* first, const char* second) {
  Comment(doc, "ダイアログ情報", 2);
  doc.AddNode(xnStartTag, name, "", 2);
  Value(doc, "Path", d.Path, 3);
  Value(doc, "Extension", d.SecondFilter ? second : first, 3);
  doc.AddNode(xnEndTag, name, "", 2);
}

void WritePanel(TTinyXml& doc, const char* panel, const char* name, const std::optional<int>& v) {
  doc.AddNode(xnStartTag, panel, "", 2);
  if (v) Value(doc, name, *v, 3);
  doc.AddNode(xnEndTag, panel, "", 2);
}

void WriteColors(TTinyXml& doc, TColor fore, TColor back) {
  Value(doc, "ForeColor", ColorToString(fore), 3);
  Value(doc, "BackColor", ColorToString(back), 3);
}

void BuildDocument(TTinyXml& doc, const TOptionFile& in) {
  const TOptions& o = in.Options;
  const TOptionLayout& lay = in.Layout;

  doc.AddNode(xnDeclaration, "", "", 0);
  Comment(doc, "注意！！このファイルを変更しないで下さい。", 0);
  Comment(doc, "オプション", 0);
  doc.AddNode(xnStartTag, "Option", "", 0);

  Comment(doc, "データベース接続", 1);
  doc.AddNode(xnStartTag, "Login", "", 1);
  Value(doc, "User", o.User, 2);
  Value(doc, "Password", o.Password, 2);
  Value(doc, "Connect", o.Connect, 2);
  doc.AddNode(xnEndTag, "Login", "", 1);

  Comment(doc, "履歴", 1);
  doc.AddNode(xnStartTag, "Log", "", 1);
  Value(doc, "LogOption", o.LogOption == 0 ? "SqlResult" : o.LogOption == 1 ? "Sql" : "None", 2);
  Value(doc, "PathOption", o.PathOption == 0 ? "SameAsExe" : "User", 2);
  Value(doc, "Path", o.Path, 2);
  Value(doc, "MaxLog", o.MaxLog, 2);
  doc.AddNode(xnEndTag, "Log", "", 1);

  Comment(doc, "結果表示領域", 1);
  doc.AddNode(xnStartTag, "Grid", "", 1);
  doc.AddNode(xnStartTag, "FixedRows", "", 2);
  Value(doc, "Orientation", o.Orientation == 0 ? "Horizontal" : "Vertical", 3);
  Value(doc, "Wordwrap", o.Wordwrap, 3);
  WriteColors(doc, o.FixedRowsForeColor, o.FixedRowsBackColor);
  doc.AddNode(xnEndTag, "FixedRows", "", 2);
  doc.AddNode(xnStartTag, "NormalLines", "", 2);
  WriteColors(doc, o.NormalLineForeColor, o.NormalLineBackColor);
  doc.AddNode(xnEndTag, "NormalLines", "", 2);
  doc.AddNode(xnStartTag, "BoldLines", "", 2);
  WriteColors(doc, o.BoldLineForeColor, o.BoldLineBackColor);
  doc.AddNode(xnEndTag, "BoldLines", "", 2);
  doc.AddNode(xnEndTag, "Grid", "", 1);

  Comment(doc, "メインフォーム", 1);
  doc.AddNode(xnStartTag, "MainForm", "", 1);
  WriteWindow(doc, lay.MainForm.Window);
  WritePanel(doc, "SqlPanel", "Width", lay.MainForm.SqlPanelWidth);
  WritePanel(doc, "OpePanel", "Height", lay.MainForm.OpePanelHeight);
  WriteDialog(doc, "SqlDialog", lay.MainForm.SqlDialog, "SQL", "TXT");
  WriteDialog(doc, "ResultDialog", lay.MainForm.ResultDialog, "CSV", "XML");
  doc.AddNode(xnEndTag, "MainForm", "", 1);

  Comment(doc, "履歴フォーム", 1);
  doc.AddNode(xnStartTag, "LogForm", "", 1);
  WriteWindow(doc, lay.LogForm.Window);
  doc.AddNode(xnEndTag, "LogForm", "", 1);

  Comment(doc, "比較フォーム", 1);
  doc.AddNode(xnStartTag, "DiffForm", "", 1);
  WriteWindow(doc, lay.DiffForm.Window);
  WriteDialog(doc, "DiffDialog", lay.DiffForm.DiffDialog, "CSV", "XML");
  doc.AddNode(xnEndTag, "DiffForm", "", 1);

  Comment(doc, "並べ替えフォーム", 1);
  doc.AddNode(xnStartTag, "SortForm", "", 1);
  WriteWindow(doc, lay.SortForm.Window);
  doc.AddNode(xnEndTag, "SortForm", "", 1);

  Comment(doc, "その他オプション", 1);
  doc.AddNode(xnStartTag, "Other", "", 1);
  Value(doc, "MaxRow", o.MaxRow, 2);
  if (!o.AutoCommit) Value(doc, "AutoCommit", "Off", 2);
  doc.AddNode(xnEndTag, "Other", "", 1);

  doc.AddNode(xnEndTag, "Option", "", 0);
}

}  // namespace

std::string ColorToString(TColor color) {
  for (const auto& c : kColorNames)
    if (c.Value == color) return c.Name;
  char buf[16];
  std::snprintf(buf, sizeof buf, "$%08X", static_cast<unsigned>(color));
  return buf;
}

bool TryStringToColor(const std::string& text, TColor& color) {
  const std::string upper = UpperSjis(text);
  for (const auto& c : kColorNames) {
    if (UpperSjis(c.Name) == upper) {
      color = c.Value;
      return true;
    }
  }
  int32_t v = 0;
  if (!TryStrToInt(text, v)) return false;
  color = static_cast<TColor>(v);
  return true;
}

std::string ReadOptionFile(const std::string& path, TOptionFile& out) {
  out = TOptionFile{};
  TTinyXml doc;
  try {
    doc.LoadFromFile(path);
  } catch (const std::exception&) {
    return {};  // no settings yet, or not ours: the defaults stand
  }
  const int root = doc.FindNext(0, "Option");
  if (root == -1) return {};
  try {
    ReadSections(TReader(doc), root, out);
  } catch (const TConvertError& e) {
    return e.what();
  }
  return {};
}

bool WriteOptionFile(const std::string& path, const TOptionFile& in, std::string& message) {
  TTinyXml doc;
  BuildDocument(doc, in);
  try {
    doc.SaveToFile(path, kPrivateFileMode);
  } catch (const TStorageError& e) {
    message = e.what();
    return false;
  }
  message.clear();
  return true;
}
