// The sort dialog through the real window: the key lists and their rules,
// and the main result rebuilt in key order with fresh stripes.

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "AppFixture.h"
#include "core/Sjis.h"
#include "views/SortDialog.h"
#include "views/SqlGrid.h"

namespace {

QStringList Items(const QListWidget& list) {
  QStringList out;
  for (int i = 0; i < list.count(); ++i) out << list.item(i)->text();
  return out;
}

QString Selected(const QListWidget& list) {
  return list.selectedItems().isEmpty() ? QString() : list.currentItem()->text();
}

void Select(QListWidget& list, const QString& text) {
  list.setCurrentItem(list.findItems(text, Qt::MatchExactly).value(0));
}

std::vector<std::string> Column(TSqlGrid& grid, int col) {
  std::vector<std::string> out;
  for (int r = 1; r < grid.RowCount(); ++r) out.push_back(grid.Cells(col, r));
  return out;
}

class SortTest : public AppTest {
 protected:
  void SetUp() override {
    MakeSeriesTable(Database(), 12);
    ASSERT_TRUE(StartApp());
    Connect();
  }
  // Opens the sort dialog; answer runs inside it.
  void Sort(std::function<void(TfrmSort&)> answer) {
    platform.ModalScript.push_back([answer](QDialog& d) {
      auto& dialog = static_cast<TfrmSort&>(d);
      answer(dialog);
      return dialog.result();
    });
    Actions().Execute(Actions().actSort);
  }
};

}  // namespace

TEST_F(SortTest, KeyListsMoveColumnsAndFollowTheirRules) {
  Run(QStringLiteral("SELECT N, NAME, V FROM T"));
  bool opened = false;
  Sort([&](TfrmSort& d) {
    opened = true;
    TKeyLists& k = *d.keys;
    EXPECT_EQ(d.windowTitle(), Q8("並べ替え"));
    EXPECT_EQ(k.btnAdd->text(), Q8("追加(&A)"));
    EXPECT_EQ(k.actKeyDown->text(), Q8("下へ(&D)"));
    EXPECT_EQ(k.actKeyUp->toolTip(), Q8("上へ移動"));
    EXPECT_EQ(k.actKeyDelete->statusTip(), Q8("キーから削除します"));
    EXPECT_EQ(k.actKeyAdd->property("category").toString(), "Key");
    EXPECT_EQ(d.btnCancel->text(), Q8("ｷｬﾝｾﾙ"));
    EXPECT_TRUE(d.btnOk->isDefault());
    EXPECT_EQ(Items(*k.lstCols), (QStringList{"N", "NAME", "V"}));
    EXPECT_EQ(Selected(*k.lstCols), "N");
    EXPECT_TRUE(k.actKeyAdd->isEnabled());
    EXPECT_FALSE(k.actKeyDelete->isEnabled());
    EXPECT_FALSE(d.actOk->isEnabled());
    EXPECT_FALSE(d.btnOk->isEnabled());
    EXPECT_TRUE(d.actCancel->isEnabled());

    // Adding selects the item now at the same place, or the last one.
    Select(*k.lstCols, "NAME");
    k.actKeyAdd->trigger();
    EXPECT_EQ(Items(*k.lstCols), (QStringList{"N", "V"}));
    EXPECT_EQ(Selected(*k.lstCols), "V");
    EXPECT_EQ(Selected(*k.lstKeys), "NAME");
    EXPECT_TRUE(d.actOk->isEnabled());
    k.actKeyAdd->trigger();
    EXPECT_EQ(Selected(*k.lstCols), "N");
    k.actKeyAdd->trigger();
    EXPECT_EQ(Items(*k.lstKeys), (QStringList{"NAME", "V", "N"}));
    EXPECT_FALSE(k.actKeyAdd->isEnabled());
    EXPECT_EQ(d.keys->Keys(), (TKeyList{2, 3, 1}));

    // Moves keep the selection and the descending tick.
    EXPECT_TRUE(k.actKeyUp->isEnabled());
    EXPECT_FALSE(k.actKeyDown->isEnabled());
    k.lstKeys->currentItem()->setCheckState(Qt::Checked);
    k.actKeyUp->trigger();
    k.actKeyUp->trigger();
    EXPECT_EQ(Items(*k.lstKeys), (QStringList{"N", "NAME", "V"}));
    EXPECT_EQ(Selected(*k.lstKeys), "N");
    EXPECT_FALSE(k.actKeyUp->isEnabled());
    EXPECT_EQ(d.keys->Keys(), (TKeyList{-1, 2, 3}));
    k.actKeyDown->trigger();
    EXPECT_EQ(d.keys->Keys(), (TKeyList{2, -1, 3}));

    // Deleting puts the column back in column order.
    Select(*k.lstKeys, "V");
    k.actKeyDelete->trigger();
    EXPECT_EQ(Selected(*k.lstKeys), "N");
    Select(*k.lstKeys, "NAME");
    k.actKeyDelete->trigger();
    EXPECT_EQ(Items(*k.lstCols), (QStringList{"NAME", "V"}));
    EXPECT_EQ(Selected(*k.lstCols), "NAME");
    k.actKeyDelete->trigger();
    EXPECT_EQ(Items(*k.lstCols), (QStringList{"N", "NAME", "V"}));
    EXPECT_EQ(k.lstKeys->count(), 0);
    EXPECT_FALSE(k.actKeyDelete->isEnabled());
    EXPECT_FALSE(d.actOk->isEnabled());

    // Double-clicks add and delete.
    emit k.lstCols->itemDoubleClicked(k.lstCols->item(2));
    EXPECT_EQ(Items(*k.lstKeys), (QStringList{"N"}));
    d.actCancel->trigger();
  });
  ASSERT_TRUE(opened);
  // Cancelled: the result is as it was, and the next opening has no keys.
  EXPECT_EQ(Main().Grid().Cells(1, 2), "2");
  Sort([](TfrmSort& d) {
    EXPECT_EQ(d.keys->lstKeys->count(), 0);
    EXPECT_EQ(d.keys->lstCols->count(), 3);
  });
}

TEST_F(SortTest, TheColumnListHasTheFocusAtEveryOpening) {
  Run(QStringLiteral("SELECT N, NAME, V FROM T"));
  for (int opening = 1; opening <= 2; ++opening) {
    SCOPED_TRACE(opening);
    bool opened = false;
    Sort([&](TfrmSort& d) {
      opened = true;
      d.show();
      d.activateWindow();
      QApplication::processEvents();
      TKeyLists& k = *d.keys;
      EXPECT_EQ(QApplication::focusWidget(), k.lstCols);
      // Down Down and Add make the third column the key.
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
      k.btnAdd->click();
      EXPECT_EQ(Items(*k.lstKeys), QStringList{"V"});
      // The focus is left elsewhere, as OK by the keyboard leaves it.
      k.lstKeys->setFocus();
      d.btnOk->click();
    });
    ASSERT_TRUE(opened);
  }
}

TEST_F(SortTest, OkRebuildsTheResultInKeyOrderWithFreshStripes) {
  const QString sql = QStringLiteral("SELECT N, NAME FROM T\nWHERE N > 0");
  Run(sql);
  RecordStatus();
  platform.CursorLog.clear();
  Sort([](TfrmSort& d) {
    TKeyLists& k = *d.keys;
    k.actKeyAdd->trigger();
    k.lstKeys->item(0)->setCheckState(Qt::Checked);
    d.actOk->trigger();
  });
  TSqlGrid& grid = Main().Grid();
  // Text order, descending: the number 9 before 12.
  EXPECT_EQ(Column(grid, 1), (std::vector<std::string>{"9", "8", "7", "6", "5", "4", "3", "2", "12", "11", "10", "1"}));
  EXPECT_EQ(grid.Cells(2, 9), "name12");
  for (int r = 1; r <= 12; ++r) EXPECT_EQ(grid.RowAttr(r)->BackColor, r % 2 ? 0xFFFFFFu : 0x80000018u) << r;
  TSqlInfo& info = Main().SqlInfo();
  EXPECT_EQ(info.Status(), SJ("並替"));
  EXPECT_EQ(info.RowPos(), 12);
  EXPECT_EQ(info.RowMax(), 12);
  EXPECT_EQ(info.RowCount(), 12);
  EXPECT_EQ(info.ColName(1), "NAME");
  EXPECT_EQ(info.ColTypeCode(0), Main().SqlInfo().ColTypeCode(0));
  EXPECT_EQ(Main().edtSql->toPlainText(), sql);
  EXPECT_EQ(status, (std::vector<QString>{Q8("実行結果を並べ替え中..."), Q8("実行結果を並べ替えました")}));
  EXPECT_EQ(platform.CursorLog.front(), TCursor::HourGlass);
  EXPECT_EQ(platform.Cursor(), TCursor::Default);
  EXPECT_FALSE(Main().IsProcessing());
  EXPECT_FALSE(App().SortDialog().isVisible());
  EXPECT_TRUE(platform.Messages.empty());

  // A result without rows comes back as it was.
  Run(QStringLiteral("SELECT N FROM T WHERE N > 100"));
  Sort([](TfrmSort& d) {
    d.keys->actKeyAdd->trigger();
    d.actOk->trigger();
  });
  EXPECT_EQ(Main().SqlInfo().ColCount(), 1);
  EXPECT_EQ(Main().SqlInfo().RowPos(), 0);
  EXPECT_TRUE(grid.Enabled());
  EXPECT_EQ(grid.Cells(1, 0), "N");
}
