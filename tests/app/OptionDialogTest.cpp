// The options dialog: activation, the enable rules, the checks and their
// messages, the page-leave rule, confirmation with the history rewritten and
// read again, cancellation, the pickers.

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <functional>

#include "AppFixture.h"
#include "app/OptionDialog.h"
#include "app/RadioGroup.h"
#include "app/UpDown.h"
#include "core/Sjis.h"
#include "storage/Options.h"

namespace {

const char* const kRangeMaxLog = "数値範囲が正しくありません。\r10から999 までの値を入力して下さい。";
const char* const kNotInteger = "整数を入力して下さい。";

class OptionTest : public AppTest {
 protected:
  void SetUp() override { ASSERT_TRUE(StartApp()); }

  // Opens the dialog through its command; act plays the user on the shown
  // dialog. A dialog that act leaves open is cancelled afterwards.
  void Options(const std::function<void(TfrmOption&)>& act) {
    platform.ModalScript.push_back([act](QDialog& dialog) {
      auto& form = static_cast<TfrmOption&>(dialog);
      form.show();
      form.activateWindow();
      QApplication::processEvents();
      act(form);
      if (form.isVisible()) form.reject();
      return form.result();
    });
    Actions().Execute(Actions().actOption);
  }
  TOptions& Stored() { return App().Options(); }
  static QString Page(TfrmOption& form) { return form.pagOption->currentWidget()->objectName(); }
  // The first SQL line of every run in the history list.
  std::vector<std::string> Runs() {
    std::vector<std::string> lines;
    for (int i = 1; i <= App().LogDialog().RunCount(); ++i) lines.push_back(App().LogDialog().RunAt(i)->Sql.at(0));
    return lines;
  }
};

}  // namespace

TEST_F(OptionTest, ActivationShowsTheStoredSettingsAsTheyAre) {
  Stored().Password = "tiger";
  Stored().MaxLog = 5;  // as a hand-edited file may hold it
  Options([&](TfrmOption& form) {
    EXPECT_EQ(form.lblComment->text(), Q8("設定した内容はプログラムと同じディレクトリの quorrel_Opt.xml ファイルに保管します。"));
    EXPECT_EQ(Page(form), QStringLiteral("tabConnect"));
    EXPECT_EQ(form.edtPassword->text(), QStringLiteral("tiger"));
    EXPECT_EQ(form.edtPassword->echoMode(), QLineEdit::Password);
    EXPECT_EQ(form.edtMaxLog->text(), QStringLiteral("5"));
    EXPECT_EQ(form.updMaxLog->Position(), 10);
    EXPECT_EQ(form.rdoOrientation->ItemIndex(), 1);
    EXPECT_EQ(form.shpBoldLineBackColor->Color(), clInfoBk);
    EXPECT_TRUE(form.edtMaxLog->isEnabled());
    EXPECT_FALSE(form.edtLogPath->isEnabled() || form.btnLogPathRef->isEnabled());
  });
  EXPECT_EQ(platform.ModalLog, std::vector<QString>{QStringLiteral("frmOption")});
}

TEST_F(OptionTest, NoHistoryDisablesTheDirectoryAndTheMaximumButStillChecksTheDirectory) {
  Stored().PathOption = 1;
  Stored().Path = SJ(dir.File("gone"));
  Options([&](TfrmOption& form) {
    EXPECT_TRUE(form.edtLogPath->isEnabled() && form.btnLogPathRef->isEnabled());
    form.rdoLog->Item(2)->click();
    EXPECT_FALSE(form.rdoLogPath->isEnabled() || form.edtMaxLog->isEnabled() || form.updMaxLog->isEnabled() ||
                 form.edtLogPath->isEnabled() || form.btnLogPathRef->isEnabled());
    // The maximum is not looked at, the missing directory is.
    form.edtMaxLog->setText(QStringLiteral("abc"));
    form.btnOk->click();
    EXPECT_EQ(platform.LastMessage(), Q8("ディレクトリが存在しません。"));
    EXPECT_EQ(Page(form), QStringLiteral("tabLog"));
    EXPECT_TRUE(form.isVisible());
    // The directory choice is reached through the history again.
    form.rdoLog->Item(1)->click();
    form.rdoLogPath->Item(0)->click();
    EXPECT_FALSE(form.edtLogPath->isEnabled());
    form.rdoLog->Item(2)->click();
    form.btnOk->click();
    EXPECT_FALSE(form.isVisible());
  });
  EXPECT_EQ(platform.Messages.size(), 1u);
  EXPECT_EQ(Stored().LogOption, 2);
  EXPECT_EQ(Stored().PathOption, 0);
  EXPECT_EQ(Stored().MaxLog, 10);  // the spin control's last valid value
  EXPECT_FALSE(Main().IsProcessing());
  EXPECT_EQ(platform.Cursor(), TCursor::Default);
}

TEST_F(OptionTest, NumbersAreRefusedOnTheirPageWithTheFocusInTheEdit) {
  Options([&](TfrmOption& form) {
    form.edtMaxLog->setText(QStringLiteral("5"));
    form.btnOk->click();
    EXPECT_EQ(platform.LastMessage(), Q8(kRangeMaxLog));
    EXPECT_EQ(Page(form), QStringLiteral("tabLog"));
    EXPECT_EQ(QApplication::focusWidget(), form.edtMaxLog);
    for (const char* text : {"1000", "abc", "", "1 0"}) {
      SCOPED_TRACE(text);
      form.edtMaxLog->setText(QString::fromLatin1(text));
      form.btnOk->click();
      EXPECT_EQ(platform.LastMessage(), Q8(text == std::string("1000") ? kRangeMaxLog : kNotInteger));
    }
    form.edtMaxLog->setText(QStringLiteral(" 999"));
    // Vertical headings: the characters per line are checked.
    form.edtWordwrap->setText(QStringLiteral("abc"));
    form.btnOk->click();
    EXPECT_EQ(platform.LastMessage(), Q8(kNotInteger));
    EXPECT_EQ(Page(form), QStringLiteral("tabGrid"));
    EXPECT_EQ(QApplication::focusWidget(), form.edtWordwrap);
    form.edtWordwrap->setText(QStringLiteral("31"));
    form.btnOk->click();
    EXPECT_EQ(platform.LastMessage(), Q8("数値範囲が正しくありません。\r2から30 までの値を入力して下さい。"));
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(Stored().MaxLog, 10);
    // Horizontal: not looked at, and the spin control keeps its last value.
    form.rdoOrientation->Item(0)->click();
    form.edtWordwrap->setText(QStringLiteral("abc"));
    form.btnOk->click();
    EXPECT_FALSE(form.isVisible());
  });
  EXPECT_EQ(platform.Messages.size(), 7u);
  EXPECT_EQ(Stored().MaxLog, 999);
  EXPECT_EQ(Stored().Orientation, 0);
  EXPECT_EQ(Stored().Wordwrap, 10);
}

TEST_F(OptionTest, LeavingAPageNeedsItsCheckToPass) {
  Options([&](TfrmOption& form) {
    form.pagOption->setCurrentWidget(form.tabLog);  // the connection page: always
    form.edtMaxLog->setText(QStringLiteral("abc"));
    form.pagOption->setCurrentWidget(form.tabGrid);
    EXPECT_EQ(Page(form), QStringLiteral("tabLog"));
    EXPECT_EQ(platform.LastMessage(), Q8(kNotInteger));
    form.edtMaxLog->setText(QStringLiteral("20"));
    form.pagOption->setCurrentWidget(form.tabGrid);
    form.edtWordwrap->setText(QStringLiteral("1"));
    form.pagOption->setCurrentWidget(form.tabConnect);
    EXPECT_EQ(Page(form), QStringLiteral("tabGrid"));
    EXPECT_EQ(platform.Messages.size(), 2u);
    form.btnCancel->click();
  });
  // Cancelled: nothing stored; the next showing is on the page shown last,
  // filled from the settings again.
  EXPECT_EQ(Stored().MaxLog, 10);
  Options([&](TfrmOption& form) {
    EXPECT_EQ(Page(form), QStringLiteral("tabGrid"));
    EXPECT_EQ(form.edtMaxLog->text(), QStringLiteral("10"));
  });
}

TEST_F(OptionTest, ColoursAreStoredOnlyWhenConfirmed) {
  platform.ColourAnswers = {QColor(0x12, 0x34, 0x56), std::nullopt, QColor(0, 0, 255)};
  Options([&](TfrmOption& form) {
    form.btnNormalLineBackColor->click();
    EXPECT_EQ(form.shpNormalLineBackColor->Color(), 0x563412u);
    form.btnCancel->click();
  });
  EXPECT_EQ(Stored().NormalLineBackColor, clWhite);
  Options([&](TfrmOption& form) {
    EXPECT_EQ(form.shpNormalLineBackColor->Color(), clWhite);
    form.btnBoldLineForeColor->click();  // the picker is cancelled
    form.btnFixedRowsForeColor->click();
    form.btnOk->click();
  });
  EXPECT_EQ(Stored().FixedRowsForeColor, 0xFF0000u);
  EXPECT_EQ(Stored().BoldLineForeColor, clBlack);
  EXPECT_EQ(Stored().BoldLineBackColor, clInfoBk);  // untouched: still the system colour
  EXPECT_EQ(platform.ColourLog, (std::vector<QColor>{Qt::white, Qt::black, Qt::black}));
}

TEST_F(OptionTest, ConfirmedSettingsReachTheFileAtTheEnd) {
  const std::string chosen = dir.File("Runs");
  std::filesystem::create_directory(chosen);
  platform.FolderAnswers = {std::nullopt, QString::fromStdString(chosen)};
  Options([&](TfrmOption& form) {
    form.edtUser->setText(QStringLiteral(" scott "));
    form.edtPassword->setText(QStringLiteral("a&<b"));
    form.edtHost->setText(Q8("ホスト"));
    form.rdoLog->Item(1)->click();
    form.rdoLogPath->Item(1)->click();
    form.btnLogPathRef->click();  // cancelled: the edit stays
    EXPECT_EQ(form.edtLogPath->text(), QString());
    form.btnLogPathRef->click();
    form.edtMaxLog->setText(QStringLiteral("12"));
    form.btnOk->click();
  });
  EXPECT_EQ(platform.FolderLog, std::vector<QString>(2, Q8("実行結果保存ディレクトリの指定")));
  App().Finish();
  TOptionFile saved;
  ASSERT_EQ(ReadOptionFile(dir.File("quorrel_Opt.xml"), saved), "");
  EXPECT_EQ(saved.Options.User, " scott ");
  EXPECT_EQ(saved.Options.Password, "a&<b");
  EXPECT_EQ(saved.Options.Connect, SJ("ホスト"));
  EXPECT_EQ(saved.Options.LogOption, 1);
  EXPECT_EQ(saved.Options.PathOption, 1);
  EXPECT_EQ(saved.Options.Path, chosen);
  EXPECT_EQ(saved.Options.MaxLog, 12);
}

TEST_F(OptionTest, TabReachesTheEnabledControlsAndTheChosenItem) {
  Options([&](TfrmOption& form) {
    auto chain = [&](QWidget* page) {
      form.pagOption->setCurrentWidget(page);
      form.btnCancel->setFocus();
      std::vector<QString> names;
      do {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        auto* radio = qobject_cast<QRadioButton*>(QApplication::focusWidget());
        names.push_back(radio ? radio->text() : QApplication::focusWidget()->objectName());
      } while (QApplication::focusWidget() != form.btnOk && names.size() < 12);
      return names;
    };
    form.rdoLogPath->Item(1)->click();
    form.edtLogPath->setText(QString::fromStdString(dir.Path()));
    EXPECT_EQ(chain(form.tabLog), (std::vector<QString>{QStringLiteral("qt_tabwidget_tabbar"), Q8("ＳＱＬ文と実行結果"),
                                                         Q8("ユーザー指定"), QStringLiteral("edtLogPath"),
                                                         QStringLiteral("btnLogPathRef"), QStringLiteral("edtMaxLog"),
                                                         QStringLiteral("btnOk")}));
    EXPECT_EQ(chain(form.tabGrid).at(1), Q8("縦書き"));
  });
}

TEST(UpDownTest, StepsWithinItsRangeFromTheNumberInTheEdit) {
  QLineEdit edit;
  TUpDown upDown(edit, 10, 999);
  upDown.SetPosition(998);
  upDown.btnUp->click();
  upDown.btnUp->click();
  EXPECT_EQ(edit.text(), QStringLiteral("999"));
  edit.setText(QStringLiteral("42"));
  upDown.btnDown->click();
  EXPECT_EQ(upDown.Position(), 41);
  // No number, or one outside the range: the position stays.
  edit.setText(QStringLiteral("x"));
  edit.setText(QStringLiteral("5"));
  EXPECT_EQ(upDown.Position(), 41);
  upDown.btnDown->click();
  EXPECT_EQ(edit.text(), QStringLiteral("10"));
}

TEST_F(OptionTest, HistoryIsReorganisedOnlyWhenItsSettingsChange) {
  TFixedClock clock;
  MakeSeriesTable(Database(), 3);
  Connect();
  for (int second = 1; second <= 11; ++second) {
    clock.now = EncodeDateTime(2024, 3, 5, 13, 7, second);
    Run(QStringLiteral("select * from T"));
  }
  const std::string oldest = dir.File("20240305_130701.csv");
  ASSERT_TRUE(std::filesystem::exists(oldest));
  RecordStatus();
  Options([](TfrmOption& form) {
    form.edtUser->setText(QStringLiteral("scott"));
    form.edtMaxLog->setText(QStringLiteral("010"));  // the same number
    form.btnOk->click();
  });
  EXPECT_TRUE(status.empty());
  EXPECT_FALSE(std::filesystem::exists(dir.File("quorrel_Log.xml")));

  // Written under the old maximum, then read back.
  Options([](TfrmOption& form) {
    form.edtMaxLog->setText(QStringLiteral("11"));
    form.btnOk->click();
  });
  EXPECT_EQ(status, (std::vector<QString>{Q8("履歴ファイルを書込み中..."), Q8("履歴ファイルを書込みました"),
                                          Q8("履歴ファイルを読込み中..."), Q8("履歴ファイルを読込みました")}));
  EXPECT_EQ(Stored().MaxLog, 11);
  EXPECT_EQ(App().LogDialog().RunCount(), 10);
  EXPECT_FALSE(std::filesystem::exists(oldest));
  EXPECT_TRUE(std::filesystem::exists(dir.File("20240305_130702.csv")));
}

TEST_F(OptionTest, AMaximumBelowTheRangeShownUnchangedKeepsTheHistory) {
  TFixedClock clock;
  MakeSeriesTable(Database(), 3);
  Connect();
  for (int second = 1; second <= 10; ++second) {
    clock.now = EncodeDateTime(2024, 3, 5, 13, 7, second);
    Run(QStringLiteral("select * from T"));
  }
  // As a hand-edited file leaves it: five runs at most, and no history.
  Stored().MaxLog = 5;
  Stored().LogOption = 2;
  RecordStatus();
  Options([](TfrmOption& form) {
    EXPECT_EQ(form.edtMaxLog->text(), QStringLiteral("5"));
    form.btnOk->click();
    EXPECT_FALSE(form.isVisible());
  });
  EXPECT_TRUE(status.empty());
  EXPECT_FALSE(std::filesystem::exists(dir.File("quorrel_Log.xml")));
  for (int second = 1; second <= 10; ++second)
    EXPECT_TRUE(std::filesystem::exists(dir.File("20240305_1307" + std::string(second < 10 ? "0" : "") +
                                                 std::to_string(second) + ".csv")))
        << second;
  EXPECT_EQ(App().LogDialog().RunCount(), 10);
}

TEST_F(OptionTest, ChangingThePathWritesTheOldHistoryThereAndShowsTheNewOne) {
  TFixedClock clock;
  MakeSeriesTable(Database(), 3);
  const std::string other = dir.File("other");
  std::filesystem::create_directory(other);
  Stored().PathOption = 1;
  Stored().Path = other;
  Connect();
  clock.now = EncodeDateTime(2024, 3, 5, 13, 7, 1);
  Run(QStringLiteral("select N from T"));
  auto choose = [&](int pathOption) {
    Options([pathOption](TfrmOption& form) {
      form.rdoLogPath->Item(pathOption)->click();
      form.btnOk->click();
    });
  };
  choose(0);
  EXPECT_TRUE(Runs().empty());
  clock.now = EncodeDateTime(2024, 3, 5, 13, 7, 2);
  Run(QStringLiteral("select NAME from T"));

  choose(1);
  EXPECT_EQ(Runs(), std::vector<std::string>{"select N from T"});
  EXPECT_TRUE(std::filesystem::exists(dir.File("quorrel_Log.xml")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("20240305_130702.csv")));
  EXPECT_FALSE(std::filesystem::exists(other + "/20240305_130702.csv"));
  choose(0);
  EXPECT_EQ(Runs(), std::vector<std::string>{"select NAME from T"});
  EXPECT_TRUE(platform.Messages.empty());
}

TEST_F(OptionTest, HistoryThatCannotBeWrittenKeepsTheOldSettingsAndTheRuns) {
  MakeSeriesTable(Database(), 3);
  const std::string old = dir.File("old");
  std::filesystem::create_directory(old);
  Stored().PathOption = 1;
  Stored().Path = old;
  Connect();
  Run(QStringLiteral("select N from T"));
  std::filesystem::remove_all(old);
  Options([&](TfrmOption& form) {
    form.edtUser->setText(QStringLiteral("scott"));
    form.rdoLogPath->Item(0)->click();
    form.btnOk->click();
    EXPECT_EQ(platform.LastMessage(), Q8("履歴ファイル書込み時にエラーが発生しました。"));
    EXPECT_TRUE(form.isVisible());
  });
  EXPECT_EQ(Stored().User, "scott");
  EXPECT_EQ(Stored().PathOption, 1);
  EXPECT_EQ(Runs(), std::vector<std::string>{"select N from T"});
  EXPECT_FALSE(Main().IsProcessing());
}
