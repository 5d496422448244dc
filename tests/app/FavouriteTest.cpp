// The favourite statements through the real window: the file written at
// disconnect and read at connect, and the five commands with their rules.

#include <QListWidget>
#include <filesystem>

#include "AppFixture.h"
#include "app/FavouriteList.h"
#include "core/Sjis.h"
#include "views/SqlGrid.h"

namespace {

std::string GoldenFile(const std::string& name) { return ReadFileBytes(std::string(STORAGE_GOLDEN_DIR) + name); }

class FavouriteTest : public AppTest {
 protected:
  QListWidget& List() { return *Main().lstFreq; }
  std::string FreqFile() { return App().Files().FreqFile; }
  void Add(const QString& sql) {
    Main().edtSql->setPlainText(sql);
    Actions().Execute(Actions().actFreqAdd);
  }
  void Reconnect() {
    Actions().Execute(Actions().actDisConnect);
    Connect();
  }
  QStringList Captions() {
    QStringList out;
    for (int i = 0; i < List().count(); ++i) out << List().item(i)->text();
    return out;
  }
  bool Enabled(QAction* action) { return Actions().Update(action); }
};

}  // namespace

TEST_F(FavouriteTest, TheExampleFileAndTheEmptyListByteForByte) {
  ASSERT_TRUE(StartApp());
  Connect();
  RecordStatus();
  Add(QStringLiteral("select *\n\nfrom emp"));
  Actions().Execute(Actions().actDisConnect);
  EXPECT_EQ(ReadFileBytes(FreqFile()), GoldenFile("favourites.xml"));
  EXPECT_EQ(status.front(), Q8("よく使うＳＱＬを書込み中..."));
  EXPECT_EQ(status[1], Q8("よく使うＳＱＬを書込みました"));

  Connect();
  ASSERT_EQ(List().count(), 1);
  EXPECT_EQ(List().item(0)->text(), QStringLiteral("select *"));
  EXPECT_EQ(FreqStatement(List(), 0), (TStrings{"select *", "", "from emp"}));
  EXPECT_EQ(List().currentRow(), 0);

  Actions().Execute(Actions().actFreqDel);
  Reconnect();
  EXPECT_EQ(List().count(), 0);
  EXPECT_EQ(ReadFileBytes(FreqFile()), GoldenFile("favourites_empty.xml"));
  // An empty element reads as an empty list and is written back the same.
  Reconnect();
  EXPECT_EQ(List().count(), 0);
  EXPECT_EQ(ReadFileBytes(FreqFile()), GoldenFile("favourites_empty.xml"));
  EXPECT_TRUE(platform.Messages.empty());
}

TEST_F(FavouriteTest, AMissingOrDamagedFileGivesAnEmptyListSilently) {
  for (const std::string& bytes : {std::string(), std::string("not xml\r\n"),
                                   GoldenFile("favourites.xml").substr(0, 120), std::string("\xEF\xBB\xBF<?xml?>")}) {
    SCOPED_TRACE(bytes);
    if (!bytes.empty()) WriteFileBytes(dir.File("quorrel_Frq.xml"), bytes);
    ASSERT_TRUE(StartApp());
    Connect();
    EXPECT_EQ(List().count(), 0);
    EXPECT_TRUE(platform.Messages.empty());
    app_.reset();
  }
}

TEST_F(FavouriteTest, AddRecallAndTheirRules) {
  ExecSqlite(Database(), "CREATE TABLE T (A INTEGER); INSERT INTO T VALUES (1);");
  ASSERT_TRUE(StartApp());
  EXPECT_FALSE(Enabled(Actions().actFreqAdd));  // not connected
  Connect();
  EXPECT_FALSE(Enabled(Actions().actFreqAdd));  // nothing typed
  Add(QStringLiteral("\nselect A\nfrom T"));
  Add(QStringLiteral("select 1"));
  Add(QStringLiteral("select 1"));
  // A first line that is empty gives an empty caption; the same text twice
  // gives two items; adding does not move the selection.
  EXPECT_EQ(Captions(), (QStringList{QString(), QStringLiteral("select 1"), QStringLiteral("select 1")}));
  EXPECT_TRUE(List().selectedItems().isEmpty());
  EXPECT_FALSE(Enabled(Actions().actFreqGet));

  // Recall clears the result and the file name, then brings every line back.
  Run(QStringLiteral("select A from T"));
  Main().SetPathFile("x.sql");
  ASSERT_TRUE(Main().Grid().Enabled());
  List().setCurrentRow(0);
  Actions().Execute(Actions().actFreqGet);
  EXPECT_EQ(Main().edtSql->toPlainText(), QStringLiteral("\nselect A\nfrom T"));
  EXPECT_EQ(Main().SqlLines(), (TStrings{"", "select A", "from T"}));
  EXPECT_FALSE(Main().Grid().Enabled());
  EXPECT_EQ(Main().SqlInfo().ColCount(), 0);
  EXPECT_EQ(Main().PathFile(), "");
  EXPECT_EQ(Main().windowTitle(), App().AppTitle());
  EXPECT_TRUE(Main().SqlHasFocus());
}

TEST_F(FavouriteTest, DeleteAndMoveRules) {
  ASSERT_TRUE(StartApp());
  Connect();
  for (const char* sql : {"a", "b", "c"}) Add(QString::fromLatin1(sql));

  // Moves: up is barred on the first item, down on the last.
  List().setCurrentRow(0);
  EXPECT_FALSE(Enabled(Actions().actFreqUp));
  EXPECT_TRUE(Enabled(Actions().actFreqDown));
  Actions().Execute(Actions().actFreqDown);
  EXPECT_EQ(Captions(), (QStringList{"b", "a", "c"}));
  EXPECT_EQ(List().currentRow(), 1);
  Actions().Execute(Actions().actFreqDown);
  EXPECT_EQ(Captions(), (QStringList{"b", "c", "a"}));
  EXPECT_FALSE(Enabled(Actions().actFreqDown));
  EXPECT_TRUE(Enabled(Actions().actFreqUp));
  Actions().Execute(Actions().actFreqUp);
  EXPECT_EQ(Captions(), (QStringList{"b", "a", "c"}));
  EXPECT_EQ(FreqStatement(List(), 1), TStrings{"a"});

  // The order survives a disconnect and a reconnect.
  Reconnect();
  EXPECT_EQ(Captions(), (QStringList{"b", "a", "c"}));

  // Deleting the last of three selects the new last.
  List().setCurrentRow(2);
  Actions().Execute(Actions().actFreqDel);
  EXPECT_EQ(Captions(), (QStringList{"b", "a"}));
  EXPECT_EQ(List().currentRow(), 1);
  Actions().Execute(Actions().actFreqDel);
  // One item: neither move.
  EXPECT_EQ(List().currentRow(), 0);
  EXPECT_FALSE(Enabled(Actions().actFreqUp));
  EXPECT_FALSE(Enabled(Actions().actFreqDown));
  // The only one: nothing is selected and the list commands are barred.
  Actions().Execute(Actions().actFreqDel);
  EXPECT_EQ(List().count(), 0);
  for (QAction* a : {Actions().actFreqGet, Actions().actFreqDel, Actions().actFreqUp, Actions().actFreqDown})
    EXPECT_FALSE(Enabled(a)) << a->objectName().toStdString();
}

TEST_F(FavouriteTest, AStatementOfMegabytesIsListedShortAndKeptWhole) {
  // A first line of 3 MB, Japanese and markup among it; laying it out whole
  // in the list took seconds per megabyte and the end never came.
  const std::string piece = SJ("東京の顧客 & 'x' <> y, ");
  std::string line, encoded;
  while (line.size() < (size_t{3} << 20)) line += piece;
  for (char c : line) {
    if (c == '&') encoded += "&amp;";
    else if (c == '<') encoded += "&lt;";
    else if (c == '>') encoded += "&gt;";
    else if (c == '\'') encoded += "&apos;";
    else encoded += c;
  }
  std::string file = GoldenFile("favourites.xml");
  const std::string first = "<Li>select *</Li>";
  ASSERT_NE(file.find(first), std::string::npos);
  file.replace(file.find(first), first.size(), "<Li>" + encoded + "</Li>");

  ASSERT_TRUE(StartApp());
  WriteFileBytes(FreqFile(), file);
  Connect();
  ASSERT_EQ(List().count(), 1);
  const QString caption = List().item(0)->text();
  EXPECT_GT(caption.size(), 100);
  EXPECT_LE(caption.size(), 300);
  EXPECT_TRUE(Q8(SjisToUtf8(line).c_str()).startsWith(caption));
  EXPECT_EQ(FreqStatement(List(), 0), (TStrings{line, "", "from emp"}));
  Actions().Execute(Actions().actDisConnect);
  EXPECT_EQ(ReadFileBytes(FreqFile()), file);
}
