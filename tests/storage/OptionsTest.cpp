#include "storage/Options.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "Golden.h"
#include "core/Sjis.h"
#include "storage/AtomicFile.h"
#include "support/TempDir.h"

namespace {

TWindowBlock Normal(int top, int left, int width, int height) {
  TWindowBlock w;
  w.State = TWindowState::Normal;
  w.Top = top, w.Left = left, w.Width = width, w.Height = height;
  return w;
}

// The layout the windows have as designed, before any settings file exists.
TOptionLayout DesignedLayout() {
  TOptionLayout l;
  l.MainForm.Window = Normal(100, 120, 800, 600);
  l.MainForm.SqlPanelWidth = 300;
  l.MainForm.OpePanelHeight = 40;
  l.LogForm.Window = Normal(150, 160, 640, 480);
  l.DiffForm.Window = Normal(200, 210, 500, 400);
  l.SortForm.Window = Normal(250, 260, 400, 300);
  return l;
}

// A settings file with only the given sections inside <Option>.
std::string OptionFileWith(const std::string& body) {
  return "<?xml version = \"1.0\" encoding = \"Shift_JIS\" ?>\r\n<Option>\r\n" + body + "</Option>\r\n";
}

std::string Read(const TTempDir& dir, const std::string& bytes, TOptionFile& out) {
  WriteFileBytes(dir.File("opt.xml"), bytes);
  return ReadOptionFile(dir.File("opt.xml"), out);
}

TEST(OptionsTest, FirstEndWritesTheDefaultsPrivately) {
  TTempDir dir;
  TOptionFile file;
  EXPECT_EQ(ReadOptionFile(dir.File("missing.xml"), file), "");
  file.Layout = DesignedLayout();
  std::string message;
  ASSERT_TRUE(WriteOptionFile(dir.File("opt.xml"), file, message));
  EXPECT_EQ(ReadFileBytes(dir.File("opt.xml")), Golden("settings_defaults.xml"));
  struct stat st {};
  stat(dir.File("opt.xml").c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0600u);  // it holds the password
}

TEST(OptionsTest, EverySettingSurvivesAWriteAndRead) {
  TTempDir dir;
  TOptionFile in;
  TOptions& o = in.Options;
  o.User = "scott";
  o.Password = "t&i<g>er\"'";
  o.Connect = SJ("本番DB");
  o.LogOption = 1;
  o.PathOption = 1;
  o.Path = SJ("/home/利用者/log");
  o.MaxLog = 5;
  o.Orientation = 0;
  o.Wordwrap = 30;
  o.FixedRowsForeColor = 0x00C0FFEE;
  o.FixedRowsBackColor = 0x0000FF;
  o.NormalLineForeColor = 0x80000012;
  o.NormalLineBackColor = clNone;
  o.BoldLineForeColor = 0x00000001;
  o.BoldLineBackColor = 0xFFFFFFFF;
  o.MaxRow = 50000;
  in.Layout = DesignedLayout();
  in.Layout.MainForm.Window = {};
  in.Layout.MainForm.Window.State = TWindowState::Maximized;
  in.Layout.MainForm.Window.Top = 5;  // a maximised window keeps no position in the file
  in.Layout.MainForm.SqlDialog = {false, SJ("/data/ＳＱＬ"), true};
  in.Layout.MainForm.ResultDialog = {false, "/r", true};
  in.Layout.LogForm.Window.State = TWindowState::Minimized;
  in.Layout.DiffForm.DiffDialog = {false, "/d", false};
  std::string message;
  ASSERT_TRUE(WriteOptionFile(dir.File("opt.xml"), in, message));
  const std::string bytes = ReadFileBytes(dir.File("opt.xml"));
  EXPECT_NE(bytes.find("<Password>t&amp;i&lt;g&gt;er&quot;&apos;</Password>"), std::string::npos);
  EXPECT_NE(bytes.find("<ForeColor>$00C0FFEE</ForeColor>"), std::string::npos);
  EXPECT_NE(bytes.find("<BackColor>$FFFFFFFF</BackColor>"), std::string::npos);
  EXPECT_NE(bytes.find("<WindowState>Maximized</WindowState>\r\n\t\t<SqlPanel>"), std::string::npos);

  TOptionFile out;
  EXPECT_EQ(ReadOptionFile(dir.File("opt.xml"), out), "");
  const TOptions& r = out.Options;
  EXPECT_EQ(r.User, o.User);
  EXPECT_EQ(r.Password, o.Password);
  EXPECT_EQ(r.Connect, o.Connect);
  EXPECT_EQ(r.LogOption, 1);
  EXPECT_EQ(r.PathOption, 1);
  EXPECT_EQ(r.Path, o.Path);
  EXPECT_EQ(r.MaxLog, 5);  // no range check on reading
  EXPECT_EQ(r.Orientation, 0);
  EXPECT_EQ(r.Wordwrap, 30);
  EXPECT_EQ(r.FixedRowsForeColor, 0x00C0FFEEu);
  EXPECT_EQ(r.FixedRowsBackColor, 0x0000FFu);
  EXPECT_EQ(r.NormalLineForeColor, 0x80000012u);
  EXPECT_EQ(r.NormalLineBackColor, clNone);
  EXPECT_EQ(r.BoldLineForeColor, 1u);
  EXPECT_EQ(r.BoldLineBackColor, 0xFFFFFFFFu);
  EXPECT_EQ(r.MaxRow, 50000);

  const TOptionLayout& l = out.Layout;
  EXPECT_TRUE(l.MainForm.Present);
  EXPECT_EQ(l.MainForm.Window.State, TWindowState::Maximized);
  EXPECT_FALSE(l.MainForm.Window.Top || l.MainForm.Window.Left || l.MainForm.Window.Width || l.MainForm.Window.Height);
  EXPECT_EQ(l.MainForm.SqlPanelWidth, 300);
  EXPECT_EQ(l.MainForm.OpePanelHeight, 40);
  EXPECT_TRUE(l.MainForm.SqlDialog.Present);
  EXPECT_EQ(l.MainForm.SqlDialog.Path, SJ("/data/ＳＱＬ"));
  EXPECT_TRUE(l.MainForm.SqlDialog.SecondFilter);
  EXPECT_TRUE(l.MainForm.ResultDialog.SecondFilter);
  EXPECT_EQ(l.LogForm.Window.State, TWindowState::Minimized);
  EXPECT_EQ(l.DiffForm.Window.Top, 200);
  EXPECT_EQ(l.DiffForm.Window.Height, 400);
  EXPECT_EQ(l.DiffForm.DiffDialog.Path, "/d");
  EXPECT_FALSE(l.DiffForm.DiffDialog.SecondFilter);
  EXPECT_EQ(l.SortForm.Window.Left, 260);
}

TEST(OptionsTest, ReadingRulesOfSingleValues) {
  TTempDir dir;
  TOptionFile f;
  // A user directory that is empty falls back to the executable's directory.
  EXPECT_EQ(Read(dir, OptionFileWith("<Log><PathOption>User</PathOption><Path></Path></Log>\r\n"), f), "");
  EXPECT_EQ(f.Options.PathOption, 0);
  // A Log section without LogOption keeps no history at all.
  EXPECT_EQ(Read(dir, OptionFileWith("<Log><MaxLog>5</MaxLog><Path>/x</Path></Log>\r\n"), f), "");
  EXPECT_EQ(f.Options.LogOption, 2);
  EXPECT_EQ(f.Options.PathOption, 1);
  EXPECT_EQ(f.Options.MaxLog, 5);
  // Empty login values keep the defaults; names of colours ignore case.
  EXPECT_EQ(Read(dir,
                 OptionFileWith("<Login><User></User><Password>p</Password></Login>\r\n"
                                "<Grid><NormalLines><ForeColor>CLRED</ForeColor><BackColor>255</BackColor>"
                                "</NormalLines><FixedRows><Orientation>horizontal</Orientation></FixedRows></Grid>\r\n"),
                 f),
            "");
  EXPECT_EQ(f.Options.User, "");
  EXPECT_EQ(f.Options.Password, "p");
  EXPECT_EQ(f.Options.NormalLineForeColor, 0x0000FFu);
  EXPECT_EQ(f.Options.NormalLineBackColor, 255u);
  EXPECT_EQ(f.Options.Orientation, 1);  // the names of choices do not ignore case
  // A bad row limit falls back silently; so does a missing one.
  EXPECT_EQ(Read(dir, OptionFileWith("<Other><MaxRow>abc</MaxRow></Other>\r\n"), f), "");
  EXPECT_EQ(f.Options.MaxRow, 1000);
  EXPECT_EQ(Read(dir, OptionFileWith("<Other></Other>\r\n"), f), "");
  EXPECT_EQ(f.Options.MaxRow, 1000);
  // Unknown window states change nothing, not even the position.
  EXPECT_EQ(Read(dir, OptionFileWith("<SortForm><WindowState>Big</WindowState><Top>x</Top></SortForm>\r\n"), f), "");
  EXPECT_TRUE(f.Layout.SortForm.Present);
  EXPECT_FALSE(f.Layout.SortForm.Window.State);
  EXPECT_FALSE(f.Layout.SortForm.Window.Top);
}

TEST(OptionsTest, BadIntegerStopsReadingThere) {
  TTempDir dir;
  TOptionFile f;
  const std::string body =
      "<Login><User>u</User></Login>\r\n"
      "<Log><LogOption>Sql</LogOption><MaxLog>20</MaxLog></Log>\r\n"
      "<Grid><FixedRows><Orientation>Horizontal</Orientation><Wordwrap>abc</Wordwrap>"
      "<ForeColor>clRed</ForeColor></FixedRows>"
      "<NormalLines><ForeColor>clRed</ForeColor></NormalLines></Grid>\r\n"
      "<MainForm><WindowState>Maximized</WindowState></MainForm>\r\n"
      "<Other><MaxRow>7</MaxRow></Other>\r\n";
  EXPECT_EQ(Read(dir, OptionFileWith(body), f), SJ("'abc' は整数ではありません"));
  EXPECT_EQ(f.Options.User, "u");
  EXPECT_EQ(f.Options.LogOption, 1);
  EXPECT_EQ(f.Options.MaxLog, 20);
  EXPECT_EQ(f.Options.Orientation, 0);  // read before the bad value
  EXPECT_EQ(f.Options.Wordwrap, 10);
  EXPECT_EQ(f.Options.FixedRowsForeColor, clBlack);
  EXPECT_EQ(f.Options.NormalLineForeColor, clBlack);
  EXPECT_FALSE(f.Layout.MainForm.Present);
  EXPECT_EQ(f.Options.MaxRow, 1000);

  // A colour that is neither a name nor a number stops reading the same way,
  // and so does a bad window position.
  EXPECT_EQ(Read(dir, OptionFileWith("<Grid><BoldLines><ForeColor>$zz</ForeColor></BoldLines></Grid>\r\n"), f),
            SJ("'$zz' は整数ではありません"));
  EXPECT_EQ(Read(dir,
                 OptionFileWith("<LogForm><WindowState>Normal</WindowState><Top>1</Top><Left>x</Left></LogForm>\r\n"
                                "<SortForm><WindowState>Maximized</WindowState></SortForm>\r\n"),
                 f),
            SJ("'x' は整数ではありません"));
  EXPECT_EQ(f.Layout.LogForm.Window.State, TWindowState::Normal);
  EXPECT_EQ(f.Layout.LogForm.Window.Top, 1);
  EXPECT_FALSE(f.Layout.LogForm.Window.Left);
  EXPECT_FALSE(f.Layout.SortForm.Present);
}

TEST(OptionsTest, UnusableFilesLeaveTheDefaults) {
  TTempDir dir;
  TOptionFile f;
  f.Options.User = "stale";
  for (const std::string& bytes : {std::string(), std::string("<?xml version='1.0'?>\r\n<Option/>"),
                                  std::string("\x89PNG\r\n\x1A\n\x00\x00", 10),
                                  std::string("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<Other/>\r\n")}) {
    EXPECT_EQ(Read(dir, bytes, f), "");
    EXPECT_EQ(f.Options.User, "");
    EXPECT_EQ(f.Options.MaxRow, 1000);
    EXPECT_FALSE(f.Layout.MainForm.Present);
  }
}

TEST(OptionsTest, FailedWriteKeepsThePreviousFile) {
  TTempDir dir;
  const std::string path = dir.File("opt.xml");
  WriteFileBytes(path, "previous");
  TOptionFile f;
  std::string message;
  SetAtomicWriteFailAfterForTesting(100);
  EXPECT_FALSE(WriteOptionFile(path, f, message));
  SetAtomicWriteFailAfterForTesting(-1);
  EXPECT_EQ(message, SJ("ファイル ") + path + SJ(" を作成できません"));
  EXPECT_EQ(ReadFileBytes(path), "previous");
}

}  // namespace

namespace {

// The commit mode: a file without its element reads as auto-commit and is
// written back byte for byte without it; one with it round-trips.
TEST(OptionsTest, ManualCommitHasAnElementOfItsOwn) {
  TTempDir dir;
  const std::string defaults = Golden("settings_defaults.xml");
  std::string manual = defaults;
  const std::string maxRow = "<MaxRow>1000</MaxRow>\r\n";
  const size_t at = manual.find(maxRow);
  ASSERT_NE(at, std::string::npos);
  manual.insert(at + maxRow.size(), "\t\t<AutoCommit>Off</AutoCommit>\r\n");
  for (const auto& [bytes, autoCommit] : {std::pair{defaults, true}, std::pair{manual, false}}) {
    SCOPED_TRACE(autoCommit ? "auto-commit" : "manual");
    TOptionFile file;
    EXPECT_EQ(Read(dir, bytes, file), "");
    EXPECT_EQ(file.Options.AutoCommit, autoCommit);
    std::string message;
    ASSERT_TRUE(WriteOptionFile(dir.File("opt.xml"), file, message));
    EXPECT_EQ(ReadFileBytes(dir.File("opt.xml")), bytes);
  }
}

}  // namespace
