// The compare wizard through the real window: its pages and checks, and the
// comparison written into the main result, three rows per step.

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "AppFixture.h"
#include "app/HistoryStore.h"
#include "core/Sjis.h"
#include "storage/ResultFile.h"
#include "views/DiffDialog.h"
#include "views/LogDialog.h"
#include "views/SortDialog.h"
#include "views/RowOps.h"
#include "views/SqlGrid.h"

namespace {

// A CSV result file as the program writes it; rows of comma-separated values.
void WriteCsv(const std::string& path, std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text += std::string(line) + ",\r\n";
  WriteFileBytes(path, text);
}

// Output rows as "label|cell|cell...", labels and cells in UTF-8.
std::vector<std::string> Output(TfrmMain& main) {
  std::vector<std::string> out;
  TSqlGrid& grid = main.Grid();
  for (int r = 1; r <= main.SqlInfo().RowPos(); ++r) {
    std::string row;
    for (int c = 1; c < grid.ColCount(); ++c) row += (c > 1 ? "|" : "") + SjisToUtf8(grid.Cells(c, r));
    out.push_back(row);
  }
  return out;
}

class DiffTest : public AppTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartApp());
    Connect();
  }
  // Opens the wizard; answer runs inside it.
  void Diff(std::function<void(TfrmDiff&)> answer) {
    platform.ModalScript.push_back([answer](QDialog& d) {
      auto& wizard = static_cast<TfrmDiff&>(d);
      answer(wizard);
      return wizard.result();
    });
    Actions().Execute(Actions().actDiff);
  }
  // Source and target files, then the keys (grid column numbers, negative
  // ticked), then OK.
  void CompareFiles(const std::string& source, const std::string& target, const TKeyList& keys) {
    Diff([&](TfrmDiff& w) {
      w.edtSourceIsFile->setText(QString::fromStdString(source));
      w.actNext->trigger();
      w.edtTargetIsFile->setText(QString::fromStdString(target));
      w.actNext->trigger();
      ASSERT_EQ(w.Page(), 2);
      for (int key : keys) {
        QListWidget& cols = *w.keys->lstCols;
        for (int i = 0; i < cols.count(); ++i)
          if (cols.item(i)->data(Qt::UserRole).toInt() == std::abs(key)) cols.setCurrentRow(i);
        w.keys->actKeyAdd->trigger();
        if (key < 0) w.keys->lstKeys->currentItem()->setCheckState(Qt::Checked);
      }
      ASSERT_EQ(w.keys->Keys(), keys);
      w.actOk->trigger();
    });
  }
};

}  // namespace

TEST_F(DiffTest, PairsRowsByKeyAndMarksEachStep) {
  WriteCsv(dir.File("a.csv"), {"K,V", "3,c", "1,a", "2,b"});
  WriteCsv(dir.File("b.csv"), {"K,V", "4,d", "2,b", "3,c"});
  RecordStatus();
  CompareFiles(dir.File("a.csv"), dir.File("b.csv"), {1});
  EXPECT_EQ(Output(Main()), (std::vector<std::string>{
                                "比較元|1|a", "比較先||", "□□削除□□||",  //
                                "比較元|2|b", "比較先|2|b", "||",          //
                                "比較元|3|c", "比較先|3|c", "||",          //
                                "比較元||", "比較先|4|d", "■■追加■■||"}));
  TSqlInfo& info = Main().SqlInfo();
  EXPECT_EQ(info.RowCount(), 12);
  EXPECT_EQ(info.ColCount(), 3);
  EXPECT_EQ(info.ColName(0), SJ("比較"));
  EXPECT_EQ(info.ColAlign(0), 3);
  EXPECT_EQ(info.ColName(2), "V");
  EXPECT_EQ(info.Status(), SJ("比較"));
  // Source and target rows in normal colours, the mark rows emphasised.
  TSqlGrid& grid = Main().Grid();
  for (int r = 1; r <= 12; ++r) EXPECT_EQ(grid.RowAttr(r)->BackColor, r % 3 ? 0xFFFFFFu : 0x80000018u) << r;
  EXPECT_EQ(status, (std::vector<QString>{Q8("実行結果を比較中..."), Q8("実行結果を比較しました")}));
  EXPECT_FALSE(Main().IsProcessing());
  EXPECT_TRUE(platform.Messages.empty());
  EXPECT_FALSE(App().DiffDialog().isVisible());
}

TEST_F(DiffTest, MergeCases) {
  struct TCase {
    const char* name;
    std::initializer_list<const char*> source, target;
    TKeyList keys;
    std::vector<std::string> output;
  };
  const TCase cases[] = {
      {"empty target", {"K,V", "1,a", "2,b"}, {"K,V"}, {1},
       {"比較元|1|a", "比較先||", "□□削除□□||", "比較元|2|b", "比較先||", "□□削除□□||"}},
      {"empty source", {"K,V"}, {"K,V", "1,a"}, {1}, {"比較元||", "比較先|1|a", "■■追加■■||"}},
      {"two source rows, one target row", {"K,V", "1,b", "1,a"}, {"K,V", "1,b"}, {1},
       {"比較元|1|b", "比較先|1|b", "||", "比較元|1|a", "比較先||", "□□削除□□||"}},
      {"text order of keys", {"K,V", "9,x", "10,y"}, {"K,V", "9,x", "10,y"}, {1},
       {"比較元|10|y", "比較先|10|y", "||", "比較元|9|x", "比較先|9|x", "||"}},
      {"letter case differs", {"K,V", "1,abc"}, {"K,V", "1,ABC"}, {1},
       {"比較元|1|abc", "比較先|1|ABC", "－－更新－－||↑"}},
      {"descending key", {"K,V", "1,a", "2,b"}, {"K,V", "2,B"}, {-1},
       {"比較元|2|b", "比較先|2|B", "－－更新－－||↑", "比較元|1|a", "比較先||", "□□削除□□||"}},
      {"no keys pairs by position", {"K,V", "1,a", "2,b", "3,c"}, {"K,V", "2,b", "1,a"}, {},
       {"比較元|1|a", "比較先|2|b", "－－更新－－|↑|↑", "比較元|2|b", "比較先|1|a", "－－更新－－|↑|↑",
        "比較元|3|c", "比較先||", "□□削除□□||"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    WriteCsv(dir.File("s.csv"), c.source);
    WriteCsv(dir.File("t.csv"), c.target);
    CompareFiles(dir.File("s.csv"), dir.File("t.csv"), c.keys);
    EXPECT_EQ(Output(Main()), c.output);
    EXPECT_EQ(Main().SqlInfo().RowCount(), static_cast<int>(c.output.size()));
  }
  EXPECT_TRUE(platform.Messages.empty());
}

TEST_F(DiffTest, EachCheckKeepsItsPage) {
  WriteCsv(dir.File("a.csv"), {"K,V", "1,a"});
  WriteCsv(dir.File("renamed.csv"), {"K,W", "1,a"});
  WriteFileBytes(dir.File("bad.xml"), "not a result file\r\n");
  WriteCsv(dir.File("a.txt"), {"K,V"});
  ASSERT_EQ(mkfifo(dir.File("pipe.csv").c_str(), 0600), 0);
  std::filesystem::create_directory(dir.File("folder.csv"));
  platform.FileAnswers.push_back(QString::fromStdString(dir.File("a.csv")));
  Diff([&](TfrmDiff& w) {
    EXPECT_EQ(w.windowTitle(), Q8("比較"));
    EXPECT_EQ(w.Page(), 0);
    EXPECT_FALSE(w.actPrev->isEnabled());
    EXPECT_FALSE(w.actOk->isEnabled());
    EXPECT_TRUE(w.btnNext->isDefault());
    EXPECT_FALSE(w.btnOk->isDefault());
    EXPECT_TRUE(w.rdoSourceIsFile->isChecked());
    EXPECT_FALSE(w.grdSourceIsLog->isVisibleTo(&w));

    auto tryNext = [&](const std::string& file, const char* message) {
      platform.Messages.clear();
      QLineEdit* edit = w.Page() == 0 ? w.edtSourceIsFile : w.edtTargetIsFile;
      edit->setText(file.empty() ? QString() : QString::fromStdString(dir.File(file)));
      const int page = w.Page();
      w.actNext->trigger();
      ASSERT_EQ(platform.Messages.size(), 1u) << file;
      EXPECT_EQ(platform.LastMessage(), Q8(message));
      EXPECT_EQ(w.Page(), page);
    };
    tryNext("", "ファイルが存在しません。");
    tryNext("missing.csv", "ファイルが存在しません。");
    tryNext("a.txt", "実行結果ファイル読込み時にエラーが発生しました。");
    tryNext("bad.xml", "実行結果ファイル読込み時にエラーが発生しました。");
    // A FIFO would block the read: refused as a file that cannot be read,
    // as is a folder.
    alarm(60);
    tryNext("pipe.csv", "実行結果ファイル読込み時にエラーが発生しました。");
    tryNext("folder.csv", "実行結果ファイル読込み時にエラーが発生しました。");
    alarm(0);
    EXPECT_FALSE(Main().IsProcessing());

    // The history option with no history.
    platform.Messages.clear();
    w.rdoSourceIsLog->setChecked(true);
    EXPECT_FALSE(w.edtSourceIsFile->isEnabled());
    EXPECT_FALSE(w.btnSourceIsFile->isEnabled());
    EXPECT_TRUE(w.grdSourceIsLog->isVisibleTo(&w));
    EXPECT_FALSE(w.grdSourceIsLog->Enabled());
    w.actNext->trigger();
    EXPECT_EQ(platform.LastMessage(), Q8("履歴が０件なので比較出来ません。"));
    EXPECT_EQ(w.Page(), 0);

    // The file chooser fills the edit and remembers the directory.
    w.rdoSourceIsFile->setChecked(true);
    w.btnSourceIsFile->click();
    EXPECT_EQ(w.edtSourceIsFile->text().toStdString(), dir.File("a.csv"));
    EXPECT_EQ(platform.FileDialogLog.back().Title, Q8("実行結果を指定"));
    EXPECT_EQ(w.FileDialog.InitialDir.toStdString() + "/", dir.Path());
    platform.Messages.clear();
    w.actNext->trigger();
    ASSERT_EQ(w.Page(), 1);
    EXPECT_TRUE(platform.Messages.empty());
    EXPECT_TRUE(w.actPrev->isEnabled());

    // Same column count, one name spelled differently.
    tryNext("renamed.csv", "列情報が異なるもの同士は比較できません。");
    platform.Messages.clear();
    w.edtTargetIsFile->setText(QString::fromStdString(dir.File("a.csv")));
    w.actNext->trigger();
    ASSERT_EQ(w.Page(), 2);
    EXPECT_TRUE(w.actOk->isEnabled());
    EXPECT_FALSE(w.actNext->isEnabled());
    EXPECT_TRUE(w.btnOk->isDefault());
    EXPECT_FALSE(w.btnNext->isDefault());
    EXPECT_EQ(w.keys->lstCols->count(), 2);
    w.actPrev->trigger();
    EXPECT_EQ(w.Page(), 1);
    w.actPrev->trigger();
    EXPECT_EQ(w.Page(), 0);
    w.actCancel->trigger();
  });
  // Nothing reached the main window; the next showing starts afresh.
  EXPECT_EQ(Main().SqlInfo().ColCount(), 0);
  Diff([](TfrmDiff& w) {
    EXPECT_EQ(w.Page(), 0);
    EXPECT_TRUE(w.edtSourceIsFile->text().isEmpty());
    EXPECT_EQ(w.keys->lstKeys->count(), 0);
  });
}

TEST_F(DiffTest, ControlsKeepTheirPlacesWhicheverOptionIsChosen) {
  const std::string source = dir.File("s.csv");
  WriteCsv(source, {"\"A\"", "\"1\""});
  Diff([&](TfrmDiff& w) {
    w.show();
    QApplication::processEvents();
    for (int page = 0; page <= 1; ++page) {
      SCOPED_TRACE(page);
      QRadioButton* file = page == 0 ? w.rdoSourceIsFile : w.rdoTargetIsFile;
      QRadioButton* log = page == 0 ? w.rdoSourceIsLog : w.rdoTargetIsLog;
      const QWidget* controls[] = {page == 0 ? w.lblDiff0 : w.lblDiff1,
                                   file,
                                   log,
                                   page == 0 ? w.edtSourceIsFile : w.edtTargetIsFile,
                                   page == 0 ? w.btnSourceIsFile : w.btnTargetIsFile,
                                   page == 0 ? w.grdSourceIsLog : w.grdTargetIsLog};
      auto places = [&] {
        QApplication::processEvents();
        std::vector<QRect> out;
        for (const QWidget* c : controls) out.push_back(QRect(c->mapTo(&w, QPoint(0, 0)), c->size()));
        return out;
      };
      log->setChecked(true);
      const std::vector<QRect> withLog = places();
      EXPECT_TRUE(controls[5]->isVisible());
      file->setChecked(true);
      EXPECT_FALSE(controls[5]->isVisible());
      EXPECT_EQ(places(), withLog);
      // The list below the options, at its designed size.
      EXPECT_GE(withLog[5].top(), withLog[2].bottom());
      EXPECT_GE(withLog[5].width(), 576);
      EXPECT_GE(withLog[5].height(), 258);
      if (page == 0) {
        w.edtSourceIsFile->setText(QString::fromStdString(source));
        w.actNext->trigger();
        ASSERT_EQ(w.Page(), 1);
      }
    }
    w.reject();
  });
}

TEST_F(DiffTest, AnXmlSourceGivesTheOutputItsTypes) {
  {
    TSqlInfo info;
    TCellTable cells(info);
    info.SetColCount(2);
    info.SetColName(0, "K");
    info.DefineColumn(0, otNumber, 22, 4, 0);
    info.SetColName(1, "V");
    info.Sql = {"select K, V from T"};
    info.SetStatus(SJ("完了"));
    info.SetRowCount(1);
    info.SetRowPos(1);
    info.SetCell(1, 1, "7");
    info.SetCell(2, 1, SJ("値"));
    ASSERT_TRUE(SaveResultFile(info, dir.File("a.xml")));
  }
  WriteCsv(dir.File("b.csv"), {"K,V", "7,x"});
  CompareFiles(dir.File("a.xml"), dir.File("b.csv"), {1});
  EXPECT_EQ(Output(Main()), (std::vector<std::string>{"比較元|7|値", "比較先|7|x", "－－更新－－||↑"}));
  TSqlInfo& info = Main().SqlInfo();
  EXPECT_EQ(info.ColTypeCode(1), otNumber);
  EXPECT_EQ(info.ColAlign(1), caRight);
  EXPECT_EQ(info.ColTypeCode(2), otUnknown);
  // The other way round the target's type is used when the source has none.
  CompareFiles(dir.File("b.csv"), dir.File("a.xml"), {1});
  EXPECT_EQ(Main().SqlInfo().ColTypeCode(1), otNumber);
  EXPECT_EQ(Main().SqlInfo().ColPrecision(1), 4);
}

namespace {

class DiffHistoryTest : public DiffTest {
 protected:
  // Each run starts a second after the one before, so each has a file.
  void RunNext(const QString& sql) {
    clock.now = EncodeDateTime(2001, 4, 3, 9, 5, ++second_);
    Run(sql);
  }
  std::string RunFileOf(int index) { return RunFile(App(), *App().LogDialog().RunAt(index)); }

  TFixedClock clock;
  int second_ = 0;
};

}  // namespace

TEST_F(DiffHistoryTest, EitherSideFromTheRunsTheHistoryKeeps) {
  MakeSeriesTable(Database(), 4);
  RunNext(QStringLiteral("select N, NAME from T where N < 4"));
  RunNext(QStringLiteral("create table U (A)"));
  RunNext(QStringLiteral("select N, NAME from T where N > 1"));
  RunNext(QStringLiteral("select N, NAME from T where N > 2"));
  App().Options().MaxLog = 3;  // the first run is dropped at the next write
  Diff([&](TfrmDiff& w) {
    w.rdoSourceIsLog->setChecked(true);
    TSqlGrid& list = *w.grdSourceIsLog;
    ASSERT_TRUE(list.Enabled());
    ASSERT_EQ(list.RowCount(), 4);
    EXPECT_EQ(list.ColCount(), 10);
    EXPECT_EQ(list.Cells(0, 1), "1");
    EXPECT_EQ(list.Cells(9, 1), "create table U (A)");
    EXPECT_EQ(list.Cells(9, 3), "select N, NAME from T where N > 2");
    EXPECT_EQ(list.Cells(7, 1), "0");
    EXPECT_EQ(list.Objects(0, 2), App().LogDialog().RunAt(3));

    // The statement without columns cannot be compared.
    list.FocusCell(1, 1, true);
    w.actNext->trigger();
    EXPECT_EQ(platform.LastMessage(), Q8("列数が０のデータは比較出来ません。"));
    EXPECT_EQ(w.Page(), 0);

    // A double-click takes the current run.
    list.FocusCell(3, 2, true);
    list.OnDblClick();
    ASSERT_EQ(w.Page(), 1);
    EXPECT_EQ(w.Source().RowPos(), 3);
    EXPECT_EQ(w.Source().ColName(1), "NAME");

    // The target list is the same list; page 1 takes the other run.
    w.rdoTargetIsLog->setChecked(true);
    TSqlGrid& target = *w.grdTargetIsLog;
    ASSERT_EQ(target.RowCount(), 4);
    EXPECT_EQ(target.Cells(9, 3), list.Cells(9, 3));
    EXPECT_EQ(target.Objects(0, 3), list.Objects(0, 3));
    target.FocusCell(1, 3, true);
    w.actNext->trigger();
    ASSERT_EQ(w.Page(), 2);
    w.keys->actKeyAdd->trigger();
    w.actOk->trigger();
  });
  EXPECT_EQ(Output(Main()), (std::vector<std::string>{"比較元|2|name2", "比較先||", "□□削除□□||",  //
                                                       "比較元|3|name3", "比較先|3|name3", "||",      //
                                                       "比較元|4|name4", "比較先|4|name4", "||"}));
  EXPECT_EQ(Main().SqlInfo().RowCount(), 9);
}

TEST_F(DiffHistoryTest, AHistoryRunWithoutItsFileIsRefused) {
  MakeSeriesTable(Database(), 2);
  RunNext(QStringLiteral("select N from T"));
  std::filesystem::remove(RunFileOf(1));
  Diff([&](TfrmDiff& w) {
    w.rdoSourceIsLog->setChecked(true);
    w.actNext->trigger();
    EXPECT_EQ(platform.LastMessage(), Q8("履歴情報取得時にエラーが発生しました。"));
    EXPECT_EQ(w.Page(), 0);
    EXPECT_FALSE(Main().IsProcessing());
  });
}

TEST_F(DiffHistoryTest, QuerySortThenCompareTheRunWithTheSavedResult) {
  MakeSeriesTable(Database(), 5);
  RunNext(QStringLiteral("select N, NAME from T"));
  platform.ModalScript.push_back([](QDialog& d) {
    auto& sort = static_cast<TfrmSort&>(d);
    sort.keys->actKeyAdd->trigger();
    sort.keys->lstKeys->item(0)->setCheckState(Qt::Checked);
    sort.actOk->trigger();
    return sort.result();
  });
  Actions().Execute(Actions().actSort);
  ASSERT_EQ(Main().Grid().Cells(1, 1), "5");
  // The sorted result saved, then changed by hand: one name, one row less.
  ASSERT_TRUE(SaveResultFile(Main().SqlInfo(), dir.File("sorted.csv")));
  std::string csv = ReadFileBytes(dir.File("sorted.csv"));
  csv.replace(csv.find("name3"), 5, "NAME3");
  csv.erase(csv.find("1,name1,\r\n"), 10);
  WriteFileBytes(dir.File("sorted.csv"), csv);

  Diff([&](TfrmDiff& w) {
    w.rdoSourceIsLog->setChecked(true);
    w.actNext->trigger();
    ASSERT_EQ(w.Page(), 1);
    w.edtTargetIsFile->setText(QString::fromStdString(dir.File("sorted.csv")));
    w.actNext->trigger();
    ASSERT_EQ(w.Page(), 2);
    w.keys->actKeyAdd->trigger();
    w.actOk->trigger();
  });
  EXPECT_EQ(Output(Main()), (std::vector<std::string>{
                                "比較元|1|name1", "比較先||", "□□削除□□||",         //
                                "比較元|2|name2", "比較先|2|name2", "||",             //
                                "比較元|3|name3", "比較先|3|NAME3", "－－更新－－||↑",  //
                                "比較元|4|name4", "比較先|4|name4", "||",             //
                                "比較元|5|name5", "比較先|5|name5", "||"}));
  EXPECT_TRUE(platform.Messages.empty());
  EXPECT_TRUE(Main().GridCanFocus());
}
