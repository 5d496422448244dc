// The options dialog: activation, the enable rules, the checks and their
// messages, the page-leave rule, confirmation and cancellation, the pickers.

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
  QString Page(TfrmOption& form) { return form.pagOption->currentWidget()->objectName(); }
};

}  // namespace

TEST_F(OptionTest, ShowsTheStoredSettingsOnItsPages) {
  Stored().User = "scott";
  Stored().Password = "tiger";
  Stored().Connect = "shop.db";
  Stored().MaxLog = 5;  // as a hand-edited file may hold it
  Stored().Orientation = 0;
  Stored().Wordwrap = 7;
  Options([&](TfrmOption& form) {
    EXPECT_EQ(form.windowTitle(), Q8("オプション"));
    EXPECT_EQ(form.lblComment->text(), Q8("設定した内容はプログラムと同じディレクトリの quorrel_Opt.xml ファイルに保管します。"));
    ASSERT_EQ(form.pagOption->count(), 3);
    EXPECT_EQ(form.pagOption->tabText(0), Q8("接続"));
    EXPECT_EQ(form.pagOption->tabText(1), Q8("履歴"));
    EXPECT_EQ(form.pagOption->tabText(2), Q8("結果表示領域"));
    EXPECT_EQ(Page(form), QStringLiteral("tabConnect"));
    EXPECT_EQ(form.edtUser->text(), QStringLiteral("scott"));
    EXPECT_EQ(form.edtPassword->text(), QStringLiteral("tiger"));
    EXPECT_EQ(form.edtPassword->echoMode(), QLineEdit::Password);
    EXPECT_EQ(form.edtHost->text(), QStringLiteral("shop.db"));
    EXPECT_EQ(form.rdoLog->ItemIndex(), 0);
    EXPECT_EQ(form.rdoLogPath->ItemIndex(), 0);
    // Outside the range: the edit shows it, the spin control stays inside.
    EXPECT_EQ(form.edtMaxLog->text(), QStringLiteral("5"));
    EXPECT_EQ(form.updMaxLog->Position(), 10);
    EXPECT_EQ(form.rdoOrientation->ItemIndex(), 0);
    EXPECT_EQ(form.edtWordwrap->text(), QStringLiteral("7"));
    EXPECT_EQ(form.shpFixedRowsBackColor->Color(), clSilver);
    EXPECT_EQ(form.shpBoldLineBackColor->Color(), clInfoBk);
    // History in the program's directory: no directory to choose.
    EXPECT_TRUE(form.rdoLogPath->isEnabled() && form.edtMaxLog->isEnabled() && form.updMaxLog->isEnabled());
    EXPECT_FALSE(form.edtLogPath->isEnabled() || form.btnLogPathRef->isEnabled());
    // Every mnemonic reaches its control.
    for (const char* name : {"lblUser", "lblPassword", "lblHost", "lblMaxLog", "lblWordwrap"}) {
      auto* label = form.findChild<QLabel*>(QString::fromLatin1(name));
      ASSERT_NE(label, nullptr) << name;
      EXPECT_TRUE(label->text().contains(QLatin1Char('&'))) << name;
      EXPECT_NE(label->buddy(), nullptr) << name;
    }
  });
  EXPECT_EQ(platform.ModalLog, std::vector<QString>{QStringLiteral("frmOption")});
}

TEST_F(OptionTest, NoHistoryDisablesTheDirectoryAndTheMaximumButStillChecksTheDirectory) {
  Stored().PathOption = 1;
  Stored().Path = SJ(dir.Path().substr(0, dir.Path().size() - 1));
  Options([&](TfrmOption& form) {
    EXPECT_TRUE(form.edtLogPath->isEnabled() && form.btnLogPathRef->isEnabled());
    form.rdoLog->Item(2)->click();
    EXPECT_FALSE(form.rdoLogPath->isEnabled() || form.edtMaxLog->isEnabled() || form.updMaxLog->isEnabled());
    EXPECT_FALSE(form.edtLogPath->isEnabled() || form.btnLogPathRef->isEnabled());
    form.rdoLog->Item(1)->click();
    EXPECT_TRUE(form.edtLogPath->isEnabled() && form.edtMaxLog->isEnabled());
    form.rdoLogPath->Item(0)->click();
    EXPECT_FALSE(form.edtLogPath->isEnabled() || form.btnLogPathRef->isEnabled());
    form.rdoLogPath->Item(1)->click();
    form.rdoLog->Item(2)->click();

    // The maximum is not looked at, the vanished directory is.
    form.edtMaxLog->setText(QStringLiteral("abc"));
    form.edtLogPath->setText(QString::fromStdString(dir.File("gone")));
    form.btnOk->click();
    EXPECT_EQ(platform.LastMessage(), Q8("ディレクトリが存在しません。"));
    EXPECT_EQ(Page(form), QStringLiteral("tabLog"));
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(Stored().LogOption, 0);

    // The directory choice is reached through the history again.
    form.rdoLogPath->Item(0)->click();
    EXPECT_EQ(form.rdoLogPath->ItemIndex(), 1);
    form.rdoLog->Item(0)->click();
    form.rdoLogPath->Item(0)->click();
    form.rdoLog->Item(2)->click();
    form.btnOk->click();
    EXPECT_FALSE(form.isVisible());
  });
  EXPECT_EQ(platform.Messages.size(), 1u);
  EXPECT_EQ(Stored().LogOption, 2);
  EXPECT_EQ(Stored().PathOption, 0);
  // The spin control kept its last valid value.
  EXPECT_EQ(Stored().MaxLog, 10);
  EXPECT_EQ(platform.Cursor(), TCursor::Default);
  EXPECT_FALSE(Main().IsProcessing());
}

TEST_F(OptionTest, MaximumOutsideItsRangeOrNoNumberIsRefusedOnItsPage) {
  Options([&](TfrmOption& form) {
    form.edtMaxLog->setText(QStringLiteral("5"));
    form.btnOk->click();
    EXPECT_EQ(platform.LastMessage(), Q8(kRangeMaxLog));
    EXPECT_EQ(Page(form), QStringLiteral("tabLog"));
    EXPECT_EQ(QApplication::focusWidget(), form.edtMaxLog);
    EXPECT_TRUE(form.isVisible());

    for (const char* text : {"1000", "abc", "", "1 0"}) {
      SCOPED_TRACE(text);
      form.pagOption->setCurrentWidget(form.tabConnect);
      form.edtMaxLog->setText(QString::fromLatin1(text));
      form.btnOk->click();
      EXPECT_EQ(platform.LastMessage(), Q8(text == std::string("1000") ? kRangeMaxLog : kNotInteger));
      EXPECT_EQ(Page(form), QStringLiteral("tabLog"));
      EXPECT_TRUE(form.isVisible());
    }
    EXPECT_EQ(Stored().MaxLog, 10);
    form.edtMaxLog->setText(QStringLiteral(" 999"));
    form.btnOk->click();
    EXPECT_FALSE(form.isVisible());
  });
  EXPECT_EQ(Stored().MaxLog, 999);
}

TEST_F(OptionTest, CharactersPerLineAreCheckedOnlyForVerticalHeadings) {
  Options([&](TfrmOption& form) {
    // Vertical (the default): refused on the grid page.
    form.edtWordwrap->setText(QStringLiteral("abc"));
    form.btnOk->click();
    EXPECT_EQ(platform.LastMessage(), Q8(kNotInteger));
    EXPECT_EQ(Page(form), QStringLiteral("tabGrid"));
    EXPECT_EQ(QApplication::focusWidget(), form.edtWordwrap);
    form.edtWordwrap->setText(QStringLiteral("31"));
    form.btnOk->click();
    EXPECT_EQ(platform.LastMessage(), Q8("数値範囲が正しくありません。\r2から30 までの値を入力して下さい。"));
    EXPECT_TRUE(form.isVisible());

    // Horizontal: not looked at; the spin control keeps its last value.
    form.rdoOrientation->Item(0)->click();
    form.edtWordwrap->setText(QStringLiteral("abc"));
    form.btnOk->click();
    EXPECT_FALSE(form.isVisible());
  });
  EXPECT_EQ(platform.Messages.size(), 2u);
  EXPECT_EQ(Stored().Orientation, 0);
  EXPECT_EQ(Stored().Wordwrap, 10);
}

TEST_F(OptionTest, LeavingAPageNeedsItsCheckToPass) {
  Options([&](TfrmOption& form) {
    // The connection page may always be left.
    form.edtUser->setText(QStringLiteral("abc"));
    form.pagOption->setCurrentWidget(form.tabLog);
    EXPECT_EQ(Page(form), QStringLiteral("tabLog"));
    form.edtMaxLog->setText(QStringLiteral("abc"));
    form.pagOption->setCurrentWidget(form.tabGrid);
    EXPECT_EQ(Page(form), QStringLiteral("tabLog"));
    EXPECT_EQ(platform.LastMessage(), Q8(kNotInteger));
    form.pagOption->setCurrentWidget(form.tabConnect);
    EXPECT_EQ(Page(form), QStringLiteral("tabLog"));
    EXPECT_EQ(platform.Messages.size(), 2u);

    form.edtMaxLog->setText(QStringLiteral("20"));
    form.pagOption->setCurrentWidget(form.tabGrid);
    EXPECT_EQ(Page(form), QStringLiteral("tabGrid"));
    form.edtWordwrap->setText(QStringLiteral("1"));
    form.pagOption->setCurrentWidget(form.tabConnect);
    EXPECT_EQ(Page(form), QStringLiteral("tabGrid"));
    EXPECT_EQ(platform.Messages.size(), 3u);
    form.edtWordwrap->setText(QStringLiteral("2"));
    form.pagOption->setCurrentWidget(form.tabLog);
    EXPECT_EQ(Page(form), QStringLiteral("tabLog"));
    // Cancelled with the page shown: nothing stored, the page kept.
    form.btnCancel->click();
  });
  EXPECT_EQ(Stored().User, "");
  EXPECT_EQ(Stored().MaxLog, 10);
  Options([&](TfrmOption& form) {
    EXPECT_EQ(Page(form), QStringLiteral("tabLog"));
    EXPECT_EQ(form.edtMaxLog->text(), QStringLiteral("10"));
    EXPECT_EQ(form.edtWordwrap->text(), QStringLiteral("10"));
  });
  EXPECT_EQ(platform.Messages.size(), 3u);
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
    EXPECT_EQ(form.shpBoldLineForeColor->Color(), clBlack);
    form.btnFixedRowsForeColor->click();
    form.btnOk->click();
  });
  EXPECT_EQ(Stored().FixedRowsForeColor, 0xFF0000u);
  EXPECT_EQ(Stored().BoldLineForeColor, clBlack);
  // An untouched system colour stays the system colour.
  EXPECT_EQ(Stored().BoldLineBackColor, clInfoBk);
  EXPECT_TRUE(platform.ColourAnswers.empty());
  // Each picker started from its swatch's colour.
  EXPECT_EQ(platform.ColourLog, (std::vector<QColor>{Qt::white, Qt::black, Qt::black}));
}

TEST_F(OptionTest, ConfirmedSettingsReachTheFileAtTheEnd) {
  std::string chosen = dir.File("Runs");
  std::filesystem::create_directory(chosen);
  platform.FolderAnswers = {std::nullopt, QString::fromStdString(chosen)};
  platform.ColourAnswers = {QColor(0xEE, 0xFF, 0xC0)};
  Options([&](TfrmOption& form) {
    form.edtUser->setText(QStringLiteral(" scott "));
    form.edtPassword->setText(QStringLiteral("a&<b"));
    form.edtHost->setText(Q8("ホスト"));
    form.pagOption->setCurrentWidget(form.tabLog);
    form.rdoLog->Item(1)->click();
    form.rdoLogPath->Item(1)->click();
    form.btnLogPathRef->click();  // cancelled: the edit stays
    EXPECT_EQ(form.edtLogPath->text(), QString());
    form.btnLogPathRef->click();
    EXPECT_EQ(form.edtLogPath->text(), QString::fromStdString(chosen));
    form.edtMaxLog->setText(QStringLiteral("12"));
    form.pagOption->setCurrentWidget(form.tabGrid);
    form.rdoOrientation->Item(0)->click();
    form.btnNormalLineForeColor->click();
    form.btnOk->click();
  });
  EXPECT_EQ(Stored().User, " scott ");
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
  EXPECT_EQ(saved.Options.Orientation, 0);
  EXPECT_EQ(saved.Options.NormalLineForeColor, 0xC0FFEEu);
  EXPECT_EQ(saved.Options.BoldLineBackColor, clInfoBk);
}

TEST(UpDownTest, StepsWithinItsRangeFromTheNumberInTheEdit) {
  QLineEdit edit;
  TUpDown upDown(edit, 10, 999);
  upDown.SetPosition(998);
  EXPECT_EQ(edit.text(), QStringLiteral("998"));
  upDown.btnUp->click();
  upDown.btnUp->click();
  EXPECT_EQ(edit.text(), QStringLiteral("999"));
  edit.setText(QStringLiteral("42"));
  EXPECT_EQ(upDown.Position(), 42);
  upDown.btnDown->click();
  EXPECT_EQ(upDown.Position(), 41);
  // No number, or one outside the range: the position stays.
  edit.setText(QStringLiteral("x"));
  edit.setText(QStringLiteral("5"));
  EXPECT_EQ(upDown.Position(), 41);
  upDown.btnDown->click();
  EXPECT_EQ(edit.text(), QStringLiteral("10"));
  upDown.SetPosition(3);
  EXPECT_EQ(upDown.Position(), 10);
}

TEST_F(OptionTest, TabVisitsEveryEnabledControlOfThePageInOrder) {
  Options([&](TfrmOption& form) {
    auto chain = [&](QWidget* page) {
      form.pagOption->setCurrentWidget(page);
      form.btnCancel->setFocus();
      QApplication::processEvents();
      std::vector<QString> names;
      for (int i = 0; i < 12; ++i) {
        QWidget* focus = QApplication::focusWidget();
        if (!focus) break;
        auto* radio = qobject_cast<QRadioButton*>(focus);
        names.push_back(radio ? radio->text() : focus->objectName());
        QTest::keyClick(focus, Qt::Key_Tab);
        if (QApplication::focusWidget() == form.btnCancel) break;
      }
      return names;
    };
    EXPECT_EQ(chain(form.tabConnect), (std::vector<QString>{QStringLiteral("btnCancel"), QStringLiteral("qt_tabwidget_tabbar"),
                                                             QStringLiteral("edtUser"), QStringLiteral("edtPassword"),
                                                             QStringLiteral("edtHost"), QStringLiteral("btnOk")}));
    form.rdoLogPath->Item(1)->click();
    EXPECT_EQ(chain(form.tabLog),
              (std::vector<QString>{QStringLiteral("btnCancel"), QStringLiteral("qt_tabwidget_tabbar"),
                                    Q8("ＳＱＬ文と実行結果"), Q8("ユーザー指定"), QStringLiteral("edtLogPath"),
                                    QStringLiteral("btnLogPathRef"), QStringLiteral("edtMaxLog"), QStringLiteral("btnOk")}));
    form.rdoLogPath->Item(0)->click();
    // The chosen item takes the focus, not the first.
    EXPECT_EQ(chain(form.tabGrid)[2], Q8("縦書き"));
  });
}

namespace {

// An index left by an earlier session in another directory: one run.
std::string EarlierIndex() {
  return SJ("<?xml version = \"1.0\" encoding = \"Shift_JIS\" ?>\r\n"
            "<!--注意！！このファイルを変更しないで下さい。-->\r\n"
            "<!--履歴-->\r\n"
            "<Log>\r\n"
            "\t<Row>\r\n"
            "\t\t<!--ＳＱＬテキスト-->\r\n"
            "\t\t<Sql>\r\n"
            "\t\t\t<Li>select empno, ename from emp</Li>\r\n"
            "\t\t</Sql>\r\n"
            "\t\t<!--実行時情報-->\r\n"
            "\t\t<Info>\r\n"
            "\t\t\t<Date>2001/04/03</Date>\r\n"
            "\t\t\t<StartTime>09:05:07</StartTime>\r\n"
            "\t\t\t<EndTime>09:05:08</EndTime>\r\n"
            "\t\t\t<DiffTime>00:00:01</DiffTime>\r\n"
            "\t\t\t<Status>完了</Status>\r\n"
            "\t\t\t<RowPos>14</RowPos>\r\n"
            "\t\t\t<RowCount>14</RowCount>\r\n"
            "\t\t\t<ColCount>2</ColCount>\r\n"
            "\t\t</Info>\r\n"
            "\t\t<!--実行結果列情報-->\r\n"
            "\t\t<Header>\r\n"
            "\t\t\t<C1 Type=\"NUMBER\" Size=\"22\" Precision=\"4\" Scale=\"0\">EMPNO</C1>\r\n"
            "\t\t\t<C2 Type=\"VARCHAR2\" Size=\"10\" Precision=\"0\" Scale=\"0\">ENAME</C2>\r\n"
            "\t\t</Header>\r\n"
            "\t</Row>\r\n"
            "</Log>\r\n");
}

std::vector<std::string> FirstLines(const TfrmLog& log) {
  std::vector<std::string> lines;
  for (int i = 1; i <= log.RunCount(); ++i) lines.push_back(log.RunAt(i)->Sql.empty() ? "" : log.RunAt(i)->Sql[0]);
  return lines;
}

}  // namespace

TEST_F(OptionTest, HistoryIsReorganisedOnlyWhenItsSettingsChange) {
  TFixedClock clock;
  MakeSeriesTable(Database(), 3);
  Connect();
  for (int second = 1; second <= 11; ++second) {
    clock.now = EncodeDateTime(2024, 3, 5, 13, 7, second);
    Run(QStringLiteral("select * from T"));
  }
  ASSERT_EQ(App().LogDialog().RunCount(), 11);
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

TEST_F(OptionTest, ChangingThePathWritesTheOldHistoryThereAndShowsTheNewOne) {
  TFixedClock clock;
  MakeSeriesTable(Database(), 3);
  const std::string other = dir.File("other");
  std::filesystem::create_directory(other);
  WriteFileBytes(other + "/quorrel_Log.xml", EarlierIndex());
  Connect();
  clock.now = EncodeDateTime(2024, 3, 5, 13, 7, 1);
  Run(QStringLiteral("select N from T"));
  clock.now = EncodeDateTime(2024, 3, 5, 13, 7, 2);
  Run(QStringLiteral("select NAME from T"));

  Options([&](TfrmOption& form) {
    form.rdoLogPath->Item(1)->click();
    form.edtLogPath->setText(QString::fromStdString(other));
    form.btnOk->click();
  });
  EXPECT_EQ(FirstLines(App().LogDialog()), std::vector<std::string>{"select empno, ename from emp"});
  // Nothing was moved: the new directory is as it was, the old one keeps
  // the session's runs and their rows.
  EXPECT_EQ(ReadFileBytes(other + "/quorrel_Log.xml"), EarlierIndex());
  EXPECT_FALSE(std::filesystem::exists(other + "/20240305_130701.csv"));
  EXPECT_TRUE(std::filesystem::exists(dir.File("20240305_130701.csv")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("20240305_130702.csv")));

  // And back: the program's directory shows the session's two runs again.
  Options([&](TfrmOption& form) {
    form.rdoLogPath->Item(0)->click();
    form.btnOk->click();
  });
  EXPECT_EQ(FirstLines(App().LogDialog()), (std::vector<std::string>{"select N from T", "select NAME from T"}));
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
  ASSERT_EQ(App().LogDialog().RunCount(), 1);
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
  EXPECT_EQ(FirstLines(App().LogDialog()), std::vector<std::string>{"select N from T"});
  EXPECT_FALSE(Main().IsProcessing());
  EXPECT_EQ(platform.Cursor(), TCursor::Default);
}
