// The SQL and result file commands on real files, with the file dialogs
// answered by the fake desktop.

#include <QDir>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>

#include "AppFixture.h"
#include "app/OptionDialog.h"
#include "core/Sjis.h"
#include "storage/AtomicFile.h"
#include "storage/Options.h"
#include "views/SqlGrid.h"

namespace {

namespace fs = std::filesystem;

const char kReadError[] = "ＳＱＬファイル読込み時にエラーが発生しました。";
const char kWriteError[] = "ＳＱＬファイル書込み時にエラーが発生しました。";
const char kImportError[] = "実行結果ファイル読込み時にエラーが発生しました。";
const char kExportError[] = "実行結果ファイル書込み時にエラーが発生しました。";

class FileCommandTest : public AppTest {
 protected:
  void SetUp() override {
    MakeSeriesTable(Database(), 5);
    ASSERT_TRUE(StartApp());
    Connect();
    ASSERT_TRUE(Main().IsConnected());
  }
  void Answer(const std::string& path, int filter = 0) {
    platform.FileAnswers.push_back(QString::fromStdString(path));
    if (filter) platform.FilterAnswers.push_back(filter);
  }
  void Execute(QAction* action) { Actions().Execute(action); }
  // The edit area's text as typed (the plain form turns no-break spaces
  // into blanks).
  QString Text() {
    return Main().edtSql->document()->toRawText().replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
  }
  QString Caption() { return Main().windowTitle(); }
  std::string SubDir(const std::string& name) {
    fs::create_directories(dir.File(name));
    return dir.File(name) + "/";
  }
  // Entries of the temporary directory (files the commands may have written).
  std::vector<std::string> Listing() {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir.Path())) names.push_back(e.path().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

}  // namespace

TEST_F(FileCommandTest, CancellingAnyDialogChangesNothing) {
  Main().edtSql->setPlainText(QStringLiteral("SELECT * FROM T"));
  Run(QStringLiteral("SELECT * FROM T"));
  ASSERT_EQ(Main().SqlInfo().RowCount(), 5);
  const auto before = Listing();
  for (QAction* action : {Actions().actOpen, Actions().actSave, Actions().actSaveAs, Actions().actImport,
                          Actions().actExport}) {
    SCOPED_TRACE(action->objectName().toStdString());
    platform.FileAnswers.push_back(std::nullopt);
    const size_t dialogs = platform.FileDialogLog.size();
    Execute(action);
    EXPECT_EQ(platform.FileDialogLog.size(), dialogs + 1);
    EXPECT_EQ(Text(), QStringLiteral("SELECT * FROM T"));
    EXPECT_EQ(Main().SqlInfo().RowCount(), 5);
    EXPECT_EQ(Caption(), QStringLiteral("Quorrel"));
    EXPECT_FALSE(Main().IsProcessing());
  }
  EXPECT_EQ(Listing(), before);
  EXPECT_TRUE(platform.Messages.empty());
}

TEST_F(FileCommandTest, OpenSaveAndNewFollowFileCaptionAndDialogs) {
  const std::string a = SubDir("a"), b = SubDir("b");
  WriteFileBytes(a + "q.sql", "SELECT *\nFROM T\n");
  RecordStatus();
  Answer(a + "q.sql", 2);
  Execute(Actions().actOpen);
  EXPECT_EQ(Text(), QStringLiteral("SELECT *\nFROM T\n"));
  EXPECT_EQ(Caption(), QString::fromStdString("Quorrel - " + a + "q.sql"));
  EXPECT_EQ(status, (std::vector<QString>{Q8("ＳＱＬを読込み中..."), Q8("ＳＱＬを読込みました")}));
  EXPECT_TRUE(Main().SqlHasFocus());
  EXPECT_EQ(platform.FileDialogLog.back().Title, Q8("ＳＱＬ文を開く"));

  // Save writes CR LF to the same file and moves no dialog.
  Main().edtSql->appendPlainText(QStringLiteral("WHERE N = 1"));
  Execute(Actions().actSave);
  EXPECT_EQ(ReadFileBytes(a + "q.sql"), "SELECT *\r\nFROM T\r\n\r\nWHERE N = 1");
  EXPECT_EQ(status.back(), Q8("ＳＱＬを書込みました"));

  // Save as starts where the file was opened, with the filter used for it,
  // and adds the default extension.
  Answer(b + "x");
  Execute(Actions().actSaveAs);
  const TFileDialogSpec& asked = platform.FileDialogLog.back();
  EXPECT_EQ(asked.Title, Q8("ＳＱＬ文に名前を付けて保存"));
  EXPECT_EQ(asked.InitialDir.toStdString() + "/", a);
  EXPECT_EQ(asked.FilterIndex, 2);
  EXPECT_TRUE(asked.OverwritePrompt);
  EXPECT_EQ(ReadFileBytes(b + "x.SQL"), "SELECT *\r\nFROM T\r\n\r\nWHERE N = 1");
  EXPECT_EQ(Caption(), QString::fromStdString("Quorrel - " + b + "x.SQL"));
  EXPECT_EQ(Actions().OpenSqlDialog.InitialDir.toStdString() + "/", b);

  Execute(Actions().actNew);
  EXPECT_EQ(Caption(), QStringLiteral("Quorrel"));
  EXPECT_TRUE(Text().isEmpty());
  EXPECT_TRUE(platform.Messages.empty());
}

TEST_F(FileCommandTest, ExportAndImportResultFiles) {
  const std::string r = SubDir("r");
  Run(QStringLiteral("SELECT * FROM T"));
  ASSERT_EQ(Main().SqlInfo().RowCount(), 5);
  // The file carries the edit area's text of now.
  Main().edtSql->setPlainText(QStringLiteral("SELECT *\nFROM T"));
  Answer(r + "y");
  Execute(Actions().actExport);
  EXPECT_EQ(platform.FileDialogLog.back().Title, Q8("実行結果に名前を付けて保存"));
  ASSERT_TRUE(fs::exists(r + "y.CSV"));
  Answer(r + "z.xml", 2);
  Execute(Actions().actExport);
  ASSERT_TRUE(fs::exists(r + "z.xml"));
  EXPECT_EQ(Actions().OpenResultDialog.FilterIndex, 2);
  EXPECT_EQ(Actions().OpenResultDialog.InitialDir.toStdString() + "/", r);

  // Another extension: the error, and nothing written.
  Answer(r + "t.txt");
  Execute(Actions().actExport);
  EXPECT_EQ(platform.LastMessage(), Q8(kExportError));
  EXPECT_EQ(Main().StatusMsg(), SJ("エラーが発生しました"));
  EXPECT_FALSE(fs::exists(r + "t.txt"));

  for (const char* name : {"y.CSV", "z.xml"}) {
    SCOPED_TRACE(name);
    Execute(Actions().actNew);
    Answer(r + name);
    Execute(Actions().actImport);
    EXPECT_EQ(Main().SqlInfo().RowCount(), 5);
    EXPECT_EQ(Main().SqlInfo().ColCount(), 3);
    EXPECT_EQ(Main().SqlInfo().GetCell(2, 5), "name5");
    EXPECT_EQ(Main().Grid().Cells(2, 5), "name5");
    // A CSV file keeps no SQL text.
    EXPECT_EQ(Text(), name[0] == 'y' ? QString() : QStringLiteral("SELECT *\nFROM T"));
    EXPECT_EQ(Main().StatusMsg(), SJ("実行結果を読込みました"));
    EXPECT_EQ(Caption(), QStringLiteral("Quorrel"));
    EXPECT_TRUE(Main().Grid().hasFocus());
  }
  EXPECT_EQ(platform.Messages.size(), 1u);

  // After an import, save asks for a name.
  const size_t dialogs = platform.FileDialogLog.size();
  platform.FileAnswers.push_back(std::nullopt);
  Execute(Actions().actSave);
  ASSERT_EQ(platform.FileDialogLog.size(), dialogs + 1);
  EXPECT_EQ(platform.FileDialogLog.back().Title, Q8("ＳＱＬ文に名前を付けて保存"));

  // A window without a result exports the empty result.
  Execute(Actions().actNew);
  for (const char* name : {"empty.csv", "empty.xml"}) {
    Answer(r + name);
    Execute(Actions().actExport);
    EXPECT_TRUE(fs::exists(r + name)) << name;
  }
  EXPECT_EQ(platform.Messages.size(), 1u);
}

TEST_F(FileCommandTest, Utf8ExportReadsBackInTheImportAndInPython) {
  const std::string r = SubDir("r");
  Run(Q8("SELECT '山田' AS 氏名, 'a,b' AS X, 'say \"hi\"' AS Y "
         "UNION ALL SELECT 'two' || char(13, 10) || 'lines', '', '①'"));
  ASSERT_EQ(Main().SqlInfo().RowCount(), 2);
  const TFileDialogSpec& save = Actions().SaveResultDialog;
  ASSERT_EQ(save.Filters.size(), 4);
  EXPECT_EQ(save.Filters[TmodAction::kUtf8CsvFilter - 1], Q8("CSV UTF-8 ファイル (*.CSV *.csv)"));
  EXPECT_EQ(save.FilterIndex, 1);
  Answer(r + "u", TmodAction::kUtf8CsvFilter);
  Execute(Actions().actExport);
  ASSERT_TRUE(platform.Messages.empty()) << platform.LastMessage().toStdString();
  EXPECT_EQ(ReadFileBytes(r + "u.CSV"),
            "\xEF\xBB\xBF氏名,X,Y,\r\n山田,\"a,b\",\"say \"\"hi\"\"\",\r\n\"two\r\nlines\",,①,\r\n");

  // Python's csv module, reading as spreadsheets and Linux tools do.
  const std::string out = dir.File("py.txt");
  const std::string command =
      "python3 -c \"import csv,sys; rows=list(csv.reader(open(sys.argv[1], encoding='utf-8-sig', newline=''))); "
      "open(sys.argv[2], 'w', encoding='utf-8').write(repr(rows))\" '" + r + "u.CSV' '" + out + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  EXPECT_EQ(ReadFileBytes(out), "[['氏名', 'X', 'Y', ''], ['山田', 'a,b', 'say \"hi\"', ''], "
                                "['two\\r\\nlines', '', '①', '']]");

  Execute(Actions().actNew);
  Answer(r + "u.CSV");
  Execute(Actions().actImport);
  TSqlInfo& info = Main().SqlInfo();
  ASSERT_EQ(info.ColCount(), 3);
  EXPECT_EQ(info.ColName(0), SJ("氏名"));
  EXPECT_EQ(info.GetCell(1, 1), SJ("山田"));
  EXPECT_EQ(info.GetCell(3, 1), "say \"hi\"");
  EXPECT_EQ(info.GetCell(1, 2), "two\r\nlines");
  EXPECT_EQ(info.GetCell(3, 2), SJ("①"));
  EXPECT_TRUE(platform.Messages.empty());

  // Both CSV filters are kept as "CSV"; the Shift_JIS one is the default.
  app_->Finish();
  EXPECT_NE(ReadFileBytes(dir.File("quorrel_Opt.xml")).find("<ResultDialog>\r\n\t\t\t<Path>" +
                                                           r.substr(0, r.size() - 1) + "</Path>\r\n\t\t\t<Extension>CSV"),
            std::string::npos);
}

TEST_F(FileCommandTest, FailuresReportAndKeepTheFiles) {
  // A file that is not there: the window was cleared, no file is named.
  Main().edtSql->setPlainText(QStringLiteral("SELECT 1"));
  Answer(dir.File("missing.sql"));
  Execute(Actions().actOpen);
  EXPECT_EQ(platform.LastMessage(), Q8(kReadError));
  EXPECT_EQ(Main().StatusMsg(), SJ("エラーが発生しました"));
  EXPECT_TRUE(Text().isEmpty());
  EXPECT_EQ(Caption(), QStringLiteral("Quorrel"));
  EXPECT_FALSE(Main().IsProcessing());

  // Save as into a directory that does not exist: name and text stay.
  const std::string a = SubDir("a");
  WriteFileBytes(a + "q.sql", "SELECT 2\r\n");
  Answer(a + "q.sql");
  Execute(Actions().actOpen);
  const QString caption = Caption();
  Answer(dir.File("gone/x.sql"));
  Execute(Actions().actSaveAs);
  EXPECT_EQ(platform.LastMessage(), Q8(kWriteError));
  EXPECT_EQ(Caption(), caption);
  EXPECT_EQ(Text(), QStringLiteral("SELECT 2\n"));

  // A full disk: the error, and the file as it was.
  Main().edtSql->setPlainText(QStringLiteral("SELECT 3"));
  SetAtomicWriteFailAfterForTesting(2);
  Execute(Actions().actSave);
  SetAtomicWriteFailAfterForTesting(-1);
  EXPECT_EQ(platform.LastMessage(), Q8(kWriteError));
  EXPECT_EQ(ReadFileBytes(a + "q.sql"), "SELECT 2\r\n");

  // The file's directory vanished before save: the error, nothing else.
  fs::remove_all(a);
  platform.Messages.clear();
  Execute(Actions().actSave);
  EXPECT_EQ(platform.LastMessage(), Q8(kWriteError));
  EXPECT_EQ(Caption(), caption);

  // Damaged result files and another extension.
  WriteFileBytes(dir.File("bad.xml"), "<?xml version = \"1.0\" ?>\r\n<Result><Info>\r\n");
  WriteFileBytes(dir.File("r.txt"), "\"A\"\r\n");
  for (const char* name : {"bad.xml", "r.txt", "missing.csv"}) {
    SCOPED_TRACE(name);
    platform.Messages.clear();
    Answer(dir.File(name));
    Execute(Actions().actImport);
    EXPECT_EQ(platform.LastMessage(), Q8(kImportError));
    EXPECT_EQ(Caption(), QStringLiteral("Quorrel"));
    EXPECT_FALSE(Main().IsProcessing());
  }
  EXPECT_EQ(ReadFileBytes(dir.File("bad.xml")), "<?xml version = \"1.0\" ?>\r\n<Result><Info>\r\n");
}

TEST_F(FileCommandTest, FilesKeepTheirEncoding) {
  const std::string kanji = "東京都の顧客";  // UTF-8 in this source
  struct TCase {
    const char* Name;
    std::string Bytes;
    QString Shown;
  };
  const TCase cases[] = {
      {"utf8 with mark", "\xEF\xBB\xBF" "SELECT '" + kanji + "'\r\nFROM T\r\n",
       QString::fromStdString("SELECT '" + kanji + "'\nFROM T\n")},
      {"utf8 without mark", "-- " + kanji + "\r\nSELECT 1", QString::fromStdString("-- " + kanji + "\nSELECT 1")},
      {"utf8 outside shift_jis", "SELECT '\xC3\xA9\xE2\x82\xAC\xC2\xA0x'", QString::fromUtf8("SELECT 'é€\u00A0x'")},
      {"shift_jis", SJ("SELECT '" + kanji + "'\r\n"), QString::fromStdString("SELECT '" + kanji + "'\n")},
      {"ascii", "SELECT 1\r\n\r\n", QStringLiteral("SELECT 1\n\n")},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string path = dir.File("e.sql");
    WriteFileBytes(path, c.Bytes);
    Answer(path);
    Execute(Actions().actOpen);
    EXPECT_EQ(Text(), c.Shown);
    Execute(Actions().actSave);
    EXPECT_EQ(ReadFileBytes(path), c.Bytes);
  }
  EXPECT_TRUE(platform.Messages.empty());

  // An edited UTF-8 text stays UTF-8, also under a new name.
  WriteFileBytes(dir.File("u.sql"), "-- " + kanji);
  Answer(dir.File("u.sql"));
  Execute(Actions().actOpen);
  Main().edtSql->appendPlainText(QString::fromUtf8("ü"));
  Answer(dir.File("v.sql"));
  Execute(Actions().actSaveAs);
  EXPECT_EQ(ReadFileBytes(dir.File("v.sql")), "-- " + kanji + "\r\n\xC3\xBC");
  // A new text is Shift_JIS.
  Execute(Actions().actNew);
  Main().edtSql->setPlainText(QString::fromStdString(kanji));
  Answer(dir.File("n.sql"));
  Execute(Actions().actSaveAs);
  EXPECT_EQ(ReadFileBytes(dir.File("n.sql")), SJ(kanji));
}

TEST_F(FileCommandTest, TextShiftJisCannotHoldIsSavedAsUtf8OnlyWhenTheUserSaysSo) {
  const QString question = Q8("ＳＱＬ文に Shift_JIS で保存できない文字が含まれています。\nUTF-8 で保存しますか？");
  const std::string path = dir.File("q.sql");
  struct TCase {
    const char* Name;
    const char* Utf8;
  };
  const TCase cases[] = {
      {"accents", "SELECT 'Café Müller' FROM T"},
      {"no-break space", "select\u00A0* from T"},
      {"hangul", "SELECT '한국' FROM T"},
      {"emoji", "SELECT '\U0001F600' FROM T"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Execute(Actions().actNew);
    Main().edtSql->setPlainText(QString::fromUtf8(c.Utf8));
    platform.Questions.clear();

    // No: nothing is written, as nothing may turn into "?".
    platform.YesNoAnswers = {false};
    Answer(path);
    Execute(Actions().actSaveAs);
    ASSERT_EQ(platform.Questions.size(), 1u);
    EXPECT_EQ(platform.Questions[0].Text, question);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(Caption(), QStringLiteral("Quorrel"));
    EXPECT_EQ(Panel(0), Q8("保存しませんでした"));

    // Yes: UTF-8 with the mark, which reads back the same text.
    platform.YesNoAnswers = {true};
    Answer(path);
    Execute(Actions().actSaveAs);
    EXPECT_EQ(ReadFileBytes(path), "\xEF\xBB\xBF" + std::string(c.Utf8));
    EXPECT_EQ(Panel(0), Q8("ＳＱＬを書込みました"));
    // The file is UTF-8 from now on: saving again asks nothing.
    Execute(Actions().actSave);
    EXPECT_EQ(platform.Questions.size(), 2u);
    Answer(path);
    Execute(Actions().actOpen);
    EXPECT_EQ(Text(), QString::fromUtf8(c.Utf8));
    fs::remove(path);
  }
  EXPECT_TRUE(platform.Messages.empty());

  // A Shift_JIS file stays Shift_JIS while it can; a character it cannot
  // hold makes save ask too.
  WriteFileBytes(path, SJ("SELECT '東京' FROM T"));
  Answer(path);
  Execute(Actions().actOpen);
  Main().edtSql->appendPlainText(QStringLiteral("-- ok"));
  Execute(Actions().actSave);
  EXPECT_EQ(ReadFileBytes(path), SJ("SELECT '東京' FROM T\r\n-- ok"));
  platform.Questions.clear();
  Main().edtSql->appendPlainText(QString::fromUtf8("-- é"));
  platform.YesNoAnswers = {false};
  Execute(Actions().actSave);
  EXPECT_EQ(platform.Questions.size(), 1u);
  EXPECT_EQ(ReadFileBytes(path), SJ("SELECT '東京' FROM T\r\n-- ok"));
  platform.YesNoAnswers = {true};
  Execute(Actions().actSave);
  EXPECT_EQ(ReadFileBytes(path), "\xEF\xBB\xBF" "SELECT '東京' FROM T\r\n-- ok\r\n-- é");
}

TEST_F(FileCommandTest, AFolderShiftJisCannotNameKeepsTheDialogsWhereTheyWere) {
  const std::string s = SubDir("s"), korean = SubDir("한국");
  WriteFileBytes(s + "q.sql", "SELECT 1");
  WriteFileBytes(korean + "k.sql", "SELECT 2");
  Answer(s + "q.sql");
  Execute(Actions().actOpen);
  Answer(korean + "k.sql");
  Execute(Actions().actOpen);
  EXPECT_EQ(Text(), QStringLiteral("SELECT 2"));
  Answer(korean + "out.csv");
  Execute(Actions().actExport);
  EXPECT_TRUE(fs::exists(korean + "out.csv"));
  ASSERT_TRUE(platform.Messages.empty());
  for (const TFileDialogSpec* spec : {&Actions().OpenSqlDialog, &Actions().SaveSqlDialog})
    EXPECT_EQ(spec->InitialDir.toStdString() + "/", s);
  EXPECT_TRUE(Actions().OpenResultDialog.InitialDir.isEmpty());

  app_.reset();
  TOptionFile saved;
  ASSERT_EQ(ReadOptionFile(dir.File("quorrel_Opt.xml"), saved), "");
  EXPECT_EQ(saved.Layout.MainForm.SqlDialog.Path + "/", s);
  EXPECT_EQ(saved.Layout.MainForm.ResultDialog.Path, "");
}

TEST_F(FileCommandTest, DialogsRememberTheirPlaceAcrossRestarts) {
  const std::string s = SubDir("s"), r = SubDir("r");
  WriteFileBytes(s + "q.txt", "SELECT 1");
  Answer(s + "q.txt", 2);
  Execute(Actions().actOpen);
  Run(QStringLiteral("SELECT * FROM T"));
  Answer(r + "out.xml", 2);
  Execute(Actions().actExport);
  ASSERT_TRUE(platform.Messages.empty());
  app_->Finish();
  const std::string settings = ReadFileBytes(dir.File("quorrel_Opt.xml"));
  EXPECT_NE(settings.find("<SqlDialog>\r\n\t\t\t<Path>" + s.substr(0, s.size() - 1) + "</Path>\r\n\t\t\t<Extension>TXT"),
            std::string::npos);
  EXPECT_NE(settings.find("<ResultDialog>\r\n\t\t\t<Path>" + r.substr(0, r.size() - 1) + "</Path>\r\n\t\t\t<Extension>XML"),
            std::string::npos);

  app_.reset();
  ASSERT_TRUE(StartApp());
  for (const TFileDialogSpec* spec : {&Actions().OpenSqlDialog, &Actions().SaveSqlDialog}) {
    EXPECT_EQ(spec->InitialDir.toStdString() + "/", s);
    EXPECT_EQ(spec->FilterIndex, 2);
  }
  for (const TFileDialogSpec* spec : {&Actions().OpenResultDialog, &Actions().SaveResultDialog}) {
    EXPECT_EQ(spec->InitialDir.toStdString() + "/", r);
    EXPECT_EQ(spec->FilterIndex, 2);
    EXPECT_EQ(spec->DefaultExt, QStringLiteral("CSV"));
  }
}

namespace {

unsigned ModeOf(const std::string& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st.st_mode & 0777;
}

}  // namespace

TEST_F(FileCommandTest, SavedFilesKeepTheirModeAndTheProgramsOwnFilesArePrivate) {
  const mode_t oldMask = umask(022);
  const std::string r = SubDir("r");
  Run(QStringLiteral("SELECT * FROM T"));
  Main().edtSql->setPlainText(QStringLiteral("SELECT * FROM T"));
  Actions().Execute(Actions().actFreqAdd);

  // New files follow the umask; replaced ones keep what the user gave them.
  Answer(r + "new.csv");
  Execute(Actions().actExport);
  Answer(r + "new.sql");
  Execute(Actions().actSaveAs);
  EXPECT_EQ(ModeOf(r + "new.csv"), 0644u);
  EXPECT_EQ(ModeOf(r + "new.sql"), 0644u);
  for (const char* name : {"mine.csv", "mine.xml", "mine.sql"}) {
    WriteFileBytes(r + name, "old");
    chmod((r + name).c_str(), 0600);
  }
  chmod((r + "mine.sql").c_str(), 0640);
  Answer(r + "mine.csv");
  Execute(Actions().actExport);
  Answer(r + "mine.xml");
  Execute(Actions().actExport);
  Answer(r + "mine.sql");
  Execute(Actions().actSaveAs);
  Main().edtSql->setPlainText(QStringLiteral("SELECT N FROM T"));
  Execute(Actions().actSave);
  EXPECT_EQ(ReadFileBytes(r + "mine.sql"), "SELECT N FROM T");
  EXPECT_EQ(ModeOf(r + "mine.csv"), 0600u);
  EXPECT_EQ(ModeOf(r + "mine.xml"), 0600u);
  EXPECT_EQ(ModeOf(r + "mine.sql"), 0640u);
  EXPECT_TRUE(platform.Messages.empty());

  // The history, the run's result and the favourites hold the user's data;
  // a file an older version left readable by all is made private.
  const std::string index = dir.File("quorrel_Log.xml");
  WriteFileBytes(index, "old");
  chmod(index.c_str(), 0644);
  Actions().Execute(Actions().actDisConnect);
  std::vector<std::string> runs;
  for (const auto& e : fs::directory_iterator(dir.Path()))
    if (e.path().extension() == ".csv") runs.push_back(e.path().string());
  ASSERT_EQ(runs.size(), 1u);
  for (const std::string& f : {runs[0], index, dir.File("quorrel_Frq.xml")}) {
    SCOPED_TRACE(f);
    EXPECT_EQ(ModeOf(f), 0600u);
  }
  App().Finish();
  EXPECT_EQ(ModeOf(dir.File("quorrel_Opt.xml")), 0600u);
  umask(oldMask);
}

TEST_F(FileCommandTest, SpecialFilesAreRefusedWithTheReadError) {
  const std::string fifo = dir.File("pipe.sql"), fifoCsv = dir.File("pipe.csv");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(fifoCsv.c_str(), 0600), 0);
  fs::create_directory(dir.File("folder.sql"));
  fs::create_directory(dir.File("folder.csv"));
  // A read that blocks would hang the test: the alarm ends it instead.
  alarm(60);
  for (const std::string& name : {fifo, std::string("/dev/zero"), dir.File("folder.sql")}) {
    SCOPED_TRACE(name);
    platform.Messages.clear();
    Answer(name);
    Execute(Actions().actOpen);
    EXPECT_EQ(platform.LastMessage(), Q8(kReadError));
    EXPECT_EQ(Caption(), QStringLiteral("Quorrel"));
    EXPECT_FALSE(Main().IsProcessing());
  }
  for (const std::string& name : {fifoCsv, dir.File("folder.csv")}) {
    SCOPED_TRACE(name);
    platform.Messages.clear();
    Answer(name);
    Execute(Actions().actImport);
    EXPECT_EQ(platform.LastMessage(), Q8(kImportError));
  }
  alarm(0);
  // Nor is one replaced by a saved file.
  Main().edtSql->setPlainText(QStringLiteral("SELECT 1"));
  platform.Messages.clear();
  Answer(fifo);
  Execute(Actions().actSaveAs);
  EXPECT_EQ(platform.LastMessage(), Q8(kWriteError));
  struct stat st {};
  ASSERT_EQ(stat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}
