// The record view: one row of a wide result as names and values.

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "AppFixture.h"
#include "views/RecordView.h"
#include "views/SqlGrid.h"

TEST_F(AppTest, TheRecordViewStepsThroughAWideResult) {
  std::string columns, select;
  for (int c = 1; c <= 200; ++c) {
    columns += (c > 1 ? ", C" : "C") + std::to_string(c) + " TEXT";
    select += (c > 1 ? ", 'r' || n || 'c" : "'r' || n || 'c") + std::to_string(c) + "'";
  }
  ExecSqlite(Database(), "CREATE TABLE W (" + columns + ");" +
                             "WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < 3) "
                             "INSERT INTO W SELECT " + select + " FROM s;" +
                             "UPDATE W SET C200 = 'line one' || char(10) || 'line two ' || hex(zeroblob(300)) "
                             "WHERE rowid = 2;");
  ASSERT_TRUE(StartApp());
  Connect();
  Run(QStringLiteral("SELECT * FROM W"));
  ASSERT_EQ(Main().SqlInfo().ColCount(), 200);
  ASSERT_TRUE(Actions().actRecordView->isEnabled() || Actions().Update(Actions().actRecordView));

  int shown = 0;
  platform.ModalScript.push_back([&](QDialog& dialog) {
    auto& view = static_cast<TfrmRecordView&>(dialog);
    ++shown;
    EXPECT_EQ(view.grdRecord->rowCount(), 200);
    EXPECT_EQ(view.grdRecord->item(0, 0)->text(), QStringLiteral("C1"));
    EXPECT_EQ(view.grdRecord->item(199, 1)->text(), QStringLiteral("r1c200"));
    EXPECT_FALSE(view.btnPrior->isEnabled());
    QTest::mouseClick(view.btnNext, Qt::LeftButton);
    EXPECT_EQ(view.Row(), 2);
    // A long value is there whole, its line break included.
    EXPECT_TRUE(view.grdRecord->item(199, 1)->text().startsWith(QStringLiteral("line one\nline two 0000")));
    EXPECT_EQ(view.grdRecord->item(199, 1)->text().size(), 18 + 600);
    QTest::mouseClick(view.btnNext, Qt::LeftButton);
    EXPECT_EQ(view.Row(), 3);
    EXPECT_FALSE(view.btnNext->isEnabled());
    // Ctrl+C copies the selected lines through the program's clipboard.
    view.grdRecord->selectRow(1);
    // (as the keyboard sends it: Ctrl+C types the control character)
    QKeyEvent copy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier, QString(QChar(3)));
    QApplication::sendEvent(view.grdRecord, &copy);
    EXPECT_EQ(platform.Clipboard.value_or(QString()), QStringLiteral("C2\tr3c2\n"));
    return static_cast<int>(QDialog::Accepted);
  });
  // Ctrl+Shift+R from the grid.
  QTest::keyClick(&Main().Grid(), Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(shown, 1);
}
