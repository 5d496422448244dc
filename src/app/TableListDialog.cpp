#include "app/TableListDialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/ActionModule.h"
#include "app/App.h"
#include "app/MainWindow.h"
#include "app/RunCommands.h"
#include "views/QtText.h"
#include "core/Session.h"

namespace {

constexpr int kIndexRole = Qt::UserRole;

QTreeWidget* List(QWidget* parent, const char* name, std::initializer_list<const char*> headers) {
  auto* list = new QTreeWidget(parent);
  list->setObjectName(QString::fromLatin1(name));
  list->setRootIsDecorated(false);
  list->setUniformRowHeights(true);
  list->setAllColumnsShowFocus(true);
  QStringList labels;
  for (const char* h : headers) labels << U(h);
  list->setHeaderLabels(labels);
  return list;
}

// Every column as wide as its texts but the last, which takes what is left,
// so that no list needs a horizontal scroll bar for its headings.
void FitColumns(QTreeWidget* list) {
  for (int c = 0; c + 1 < list->columnCount(); ++c) list->resizeColumnToContents(c);
  list->header()->resizeSection(list->columnCount() - 1, list->header()->minimumSectionSize());
}

}  // namespace

TfrmTableList::TfrmTableList(TDatabase& db, QPlainTextEdit& edit, QWidget* parent, TDatabase::TBusyHandler busy)
    : QDialog(parent), db_(db), edit_(edit), busy_(std::move(busy)) {
  setObjectName(QStringLiteral("frmTableList"));
  setWindowTitle(U("テーブル一覧"));
  resize(560, 420);
  setSizeGripEnabled(true);

  auto* lblFilter = new QLabel(U("絞り込み(&F):"), this);
  edtFilter = new QLineEdit(this);
  edtFilter->setObjectName(QStringLiteral("edtFilter"));
  lblFilter->setBuddy(edtFilter);

  auto* lblTables = new QLabel(U("テーブル(&T)"), this);
  lstTables = List(this, "lstTables", {"スキーマ", "名前", "種類"});
  lblTables->setBuddy(lstTables);
  auto* lblColumns = new QLabel(U("列(&C)"), this);
  lstColumns = List(this, "lstColumns", {"列名", "型", "サイズ", "NULL"});
  lblColumns->setBuddy(lstColumns);
  FitColumns(lstTables);
  FitColumns(lstColumns);
  lblMessage = new QLabel(this);
  lblMessage->setObjectName(QStringLiteral("lblMessage"));
  lblMessage->setWordWrap(true);

  btnInsert = new QPushButton(U("名前を挿入(&I)"), this);
  btnInsert->setObjectName(QStringLiteral("btnInsert"));
  btnSelect = new QPushButton(U("SELECT文を作成(&S)"), this);
  btnSelect->setObjectName(QStringLiteral("btnSelect"));
  btnClose = new QPushButton(U("閉じる"), this);
  btnClose->setObjectName(QStringLiteral("btnClose"));
  // Enter in the lists activates the table; no button takes it first.
  for (QPushButton* b : {btnInsert, btnSelect, btnClose}) b->setAutoDefault(false);

  auto* filterRow = new QHBoxLayout;
  filterRow->addWidget(lblFilter);
  filterRow->addWidget(edtFilter, 1);
  auto* left = new QVBoxLayout;
  left->addWidget(lblTables);
  left->addWidget(lstTables, 1);
  auto* right = new QVBoxLayout;
  right->addWidget(lblColumns);
  right->addWidget(lstColumns, 1);
  auto* lists = new QHBoxLayout;
  lists->addLayout(left, 1);
  lists->addLayout(right, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnInsert);
  buttons->addWidget(btnSelect);
  buttons->addStretch();
  buttons->addWidget(btnClose);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(filterRow);
  layout->addLayout(lists, 1);
  layout->addWidget(lblMessage);
  layout->addLayout(buttons);
  setTabOrder(edtFilter, lstTables);
  setTabOrder(lstTables, lstColumns);
  setTabOrder(lstColumns, btnInsert);
  setTabOrder(btnInsert, btnSelect);
  setTabOrder(btnSelect, btnClose);

  connect(edtFilter, &QLineEdit::textChanged, this, [this](const QString& text) { SetFilter(text); });
  connect(lstTables, &QTreeWidget::currentItemChanged, this, [this] { ShowColumns(); });
  connect(edtFilter, &QLineEdit::returnPressed, this, [this] {
    if (const TCatalogTable* t = Current()) Insert(TableReference(catalog_, *t));
  });
  connect(lstTables, &QTreeWidget::itemActivated, this, [this] {
    if (const TCatalogTable* t = Current()) Insert(TableReference(catalog_, *t));
  });
  connect(btnInsert, &QPushButton::clicked, this, [this] {
    if (const TCatalogTable* t = Current()) Insert(TableReference(catalog_, *t));
  });
  connect(btnSelect, &QPushButton::clicked, this, [this] {
    const TCatalogTable* t = Current();
    if (!t) return;
    ShowColumns();
    Insert(SelectStatement(catalog_, *t, columns_));
  });
  connect(btnClose, &QPushButton::clicked, this, [this] { reject(); });
}

void TfrmTableList::Load() {
  catalog_ = busy_ ? ReadCatalog(db_, busy_) : ReadCatalog(db_);
  columnsOf_ = -1;
  lstTables->clear();
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(catalog_.Tables.size()));
  for (size_t i = 0; i < catalog_.Tables.size(); ++i) {
    const TCatalogTable& t = catalog_.Tables[i];
    auto* item = new QTreeWidgetItem(QStringList{ToQ(t.Schema), ToQ(t.Name), ToQ(t.Kind)});
    item->setData(0, kIndexRole, static_cast<int>(i));
    items.push_back(item);
  }
  lstTables->addTopLevelItems(items);
  FitColumns(lstTables);
  SetFilter(edtFilter->text());
}

void TfrmTableList::SetFilter(const QString& text) {
  QTreeWidgetItem* first = nullptr;
  const QString needle = text.trimmed();
  for (int i = 0, n = lstTables->topLevelItemCount(); i < n; ++i) {
    QTreeWidgetItem* item = lstTables->topLevelItem(i);
    const bool shown = needle.isEmpty() || item->text(1).contains(needle, Qt::CaseInsensitive) ||
                       (item->text(0) + QLatin1Char('.') + item->text(1)).contains(needle, Qt::CaseInsensitive);
    item->setHidden(!shown);
    if (shown && !first) first = item;
  }
  QTreeWidgetItem* current = lstTables->currentItem();
  if (!current || current->isHidden()) lstTables->setCurrentItem(first);
  if (!first) ShowColumns();
}

const TCatalogTable* TfrmTableList::Current() const {
  QTreeWidgetItem* item = lstTables->currentItem();
  if (!item || item->isHidden()) return nullptr;
  const int i = item->data(0, kIndexRole).toInt();
  return i >= 0 && static_cast<size_t>(i) < catalog_.Tables.size() ? &catalog_.Tables[static_cast<size_t>(i)]
                                                                   : nullptr;
}

void TfrmTableList::ShowColumns() {
  const TCatalogTable* t = Current();
  const int index = t ? static_cast<int>(t - catalog_.Tables.data()) : -1;
  if (index == columnsOf_) return;
  columnsOf_ = index;
  columns_.clear();
  lstColumns->clear();
  lblMessage->clear();
  if (!t) return;
  try {
    columns_ = ReadColumns(db_, *t, BriefWait());
  } catch (const TSessionError& e) {
    lblMessage->setText(ToQ(e.Text));
    return;
  }
  for (const TCatalogColumn& c : columns_)
    lstColumns->addTopLevelItem(
        new QTreeWidgetItem(QStringList{ToQ(c.Name), ToQ(c.Type), ToQ(c.Size), c.Nullable ? U("可") : U("不可")}));
  FitColumns(lstColumns);
}

void TfrmTableList::Insert(const std::string& text) {
  QTextCursor cursor = edit_.textCursor();
  cursor.insertText(ToQ(text));
  edit_.setTextCursor(cursor);
  accept();
}

void TableListExecute(TApp& app) {
  TfrmMain& main = app.Main();
  TSqlManager& manager = main.SqlManager();
  TDatabase* db = manager.Database();
  if (!db) return;
  // The last run's statement would hold the connection (some ODBC drivers
  // allow one open result only); its rows are all in the grid by now.
  manager.CloseQuery();
  TfrmTableList dialog(*db, *main.edtSql, &main, WindowWhileBusy(app, [] { return true; }));
  try {
    TBusy busy(app, TCursor::HourGlass);
    dialog.Load();
  } catch (const TSessionError& e) {
    // Given up for the window's close, which follows.
    if (main.IsClosed() || main.ClosePending()) return;
    app.Action().ReportError(U("テーブル一覧の読込み時にエラーが発生しました。") + QLatin1Char('\n') + ToQ(e.Text));
    return;
  }
  if (main.IsClosed() || main.ClosePending()) return;
  app.CenterOnMain(dialog);
  dialog.edtFilter->setFocus();
  if (app.Platform().ExecModal(dialog) == QDialog::Accepted && main.edtSql->isEnabled()) main.edtSql->setFocus();
}
