#pragma once
// The options store: the user's settings and the window layout kept in the
// settings file (<base name>_Opt.xml next to the executable).
//
// The file is read once at start-up and written once at the end of the
// process. Texts are cp932 bytes, as everywhere in the model; file names given
// to ReadOptionFile/WriteOptionFile are native (UTF-8) paths. Directory texts
// held here (TOptions::Path, TDialogBlock::Path) are cp932; convert them with
// SjisToUtf8 where a file-system call needs them.

#include <cstdint>
#include <optional>
#include <string>

// Colours: 0x00BBGGRR for a plain colour, 0x80000000 + n for system colour n,
// 0x1FFFFFFF for none.
using TColor = uint32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clInfoBk = 0x80000018;
constexpr TColor clNone = 0x1FFFFFFF;

// The settings that other parts of the program read, with their defaults.
struct TOptions {
  std::string User;
  std::string Password;  // kept in the file in plain text
  std::string Connect;
  int LogOption = 0;   // 0 SQL and result, 1 SQL only, 2 no history
  int PathOption = 0;  // 0 the executable's directory, 1 Path
  std::string Path;    // the user's history directory
  int MaxLog = 10;
  int Orientation = 1;  // heading text: 0 horizontal, 1 vertical
  int Wordwrap = 10;
  TColor FixedRowsForeColor = clBlack;
  TColor FixedRowsBackColor = clSilver;
  TColor NormalLineForeColor = clBlack;
  TColor NormalLineBackColor = clWhite;
  TColor BoldLineForeColor = clBlack;
  TColor BoldLineBackColor = clInfoBk;
  int MaxRow = 1000;
  // Kept in an element of its own, written only while off, so a file with
  // the default stays as older versions wrote it (and they ignore it).
  bool AutoCommit = true;
};

enum class TWindowState { Normal, Maximized, Minimized };

// A window's state and its position and outer size, in pixels.
//
// As read: State is empty when "WindowState" is missing or unknown; the
// caller then changes nothing at all (the position is not read either).
// Otherwise the caller sets the state, and for Normal then sets each of Top,
// Left, Width, Height that is present (an absent one keeps the window's
// current value).
// For writing: State says what to write; Top, Left, Width, Height are written
// only for Normal (absent ones are left out of the file). An empty State is
// written as Normal.
struct TWindowBlock {
  std::optional<TWindowState> State;
  std::optional<int> Top, Left, Width, Height;
};

// A file dialog's initial directory and filter choice.
//
// As read: Present is false when the block is missing from the file; the
// caller then leaves the dialog as it is. Otherwise it sets the initial
// directory to Path (possibly empty) and chooses the second filter when
// SecondFilter is set (extension "TXT" or "XML"), else the first.
// For writing: Present is ignored; the block is always written.
struct TDialogBlock {
  bool Present = false;
  std::string Path;
  bool SecondFilter = false;
};

// Each form's section. Present says whether the section was in the file.
// When MainForm was present, the caller gives the save-SQL dialog the open-SQL
// dialog's directory and filter after applying SqlDialog, and likewise the
// save-result dialog from the open-result dialog, whether or not the dialog
// blocks were there.
struct TMainFormLayout {
  bool Present = false;
  TWindowBlock Window;
  std::optional<int> SqlPanelWidth;    // pnlSql
  std::optional<int> OpePanelHeight;   // pnlOperation
  TDialogBlock SqlDialog;     // filters: 1 SQL, 2 TXT
  TDialogBlock ResultDialog;  // filters: 1 CSV, 2 XML
};

struct TFormLayout {
  bool Present = false;
  TWindowBlock Window;
};

struct TDiffFormLayout {
  bool Present = false;
  TWindowBlock Window;
  TDialogBlock DiffDialog;  // filters: 1 CSV, 2 XML
};

// Window geometry and dialog defaults; applied by the desktop layer, which
// also fills it again before the file is written.
struct TOptionLayout {
  TMainFormLayout MainForm;
  TFormLayout LogForm;
  TDiffFormLayout DiffForm;
  TFormLayout SortForm;
};

struct TOptionFile {
  TOptions Options;
  TOptionLayout Layout;
};

// Reads the settings file into `out`, which is first reset to the defaults
// (and every layout block to absent). A missing, unreadable or rejected file
// leaves everything at that and is no error.
//
// The sections are read in the order Login, Log, Grid, MainForm, LogForm,
// DiffForm, SortForm, Other. A text that should be an integer or a colour and
// is neither stops the reading there: what was read so far stays, everything
// after it keeps its default or stays absent, and the message
// ("'%s' は整数ではありません", cp932) is returned for the caller's error box.
// MaxRow is the exception: a bad or missing value gives 1000 silently.
// Returns the empty string when nothing stopped the reading.
std::string ReadOptionFile(const std::string& path, TOptionFile& out);

// Writes the settings file (created readable and writable by its owner only,
// replacing any previous file atomically). On failure returns false, leaves
// the previous file as it was and stores "ファイル %s を作成できません" (cp932,
// with the file name) in `message`.
bool WriteOptionFile(const std::string& path, const TOptionFile& in, std::string& message);

// Colour texts: a name of the colour table (any letter case when read) or an
// integer (decimal, or "$" + hex). ColorToString gives the name when the value
// has one, else "$" + eight upper-case hex digits.
std::string ColorToString(TColor color);
// False when the text is neither a name nor an integer.
bool TryStringToColor(const std::string& text, TColor& color);
