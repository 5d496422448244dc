#include "views/KeyLists.h"

#include <QAction>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/SqlInfo.h"
#include "views/QtText.h"

namespace {

constexpr int kColumnRole = Qt::UserRole;

int ColumnOf(const QListWidgetItem* item) { return item->data(kColumnRole).toInt(); }

QListWidgetItem* NewItem(const QString& text, int column) {
  auto* item = new QListWidgetItem(text);
  item->setData(kColumnRole, column);
  return item;
}

// Selects row, or the last one when row is past the end, or none.
void SelectNear(QListWidget& list, int row) {
  if (list.count() == 0) {
    list.setCurrentRow(-1);
    list.clearSelection();
    return;
  }
  list.setCurrentRow(std::min(row, list.count() - 1));
}

void SetHint(QAction& action, const char* utf8Hint) {
  const QString hint = U(utf8Hint);
  const qsizetype bar = hint.indexOf(QLatin1Char('|'));
  action.setToolTip(bar < 0 ? hint : hint.left(bar));
  action.setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
}

void BindButton(QPushButton* button, QAction& action) {
  button->setToolTip(action.toolTip());
  button->setStatusTip(action.statusTip());
  button->setEnabled(action.isEnabled());
  QObject::connect(button, &QPushButton::clicked, &action, [&action] {
    if (action.isEnabled()) action.trigger();
  });
  QObject::connect(&action, &QAction::changed, button, [button, &action] { button->setEnabled(action.isEnabled()); });
}

}  // namespace

QAction* DialogAction(QWidget* parent, const char* name, const char* category, const char* caption,
                      const char* hint) {
  auto* action = new QAction(U(caption), parent);
  action->setObjectName(QString::fromLatin1(name));
  if (hint) SetHint(*action, hint);
  action->setProperty("category", QString::fromLatin1(category));
  return action;
}

QPushButton* DialogButton(QWidget* parent, const char* name, QAction& action) {
  auto* button = new QPushButton(action.text(), parent);
  button->setObjectName(QString::fromLatin1(name));
  BindButton(button, action);
  return button;
}

TKeyLists::TKeyLists(QWidget* parent, const QString& keysCaption) : QObject(parent) {
  lblCols = new QLabel(U("列一覧(&C)"), parent);
  lblCols->setObjectName(QStringLiteral("lblCols"));
  lstCols = new QListWidget(parent);
  lstCols->setObjectName(QStringLiteral("lstCols"));
  lblCols->setBuddy(lstCols);
  lblKeys = new QLabel(keysCaption, parent);
  lblKeys->setObjectName(QStringLiteral("lblKeys"));
  lstKeys = new QListWidget(parent);
  lstKeys->setObjectName(QStringLiteral("lstKeys"));
  lblKeys->setBuddy(lstKeys);
  lblCheck = new QLabel(U("□をチェックすると降順指定になります。"), parent);
  lblCheck->setObjectName(QStringLiteral("lblCheck"));

  actKeyAdd = DialogAction(parent, "actKeyAdd", kKeyCategory, "追加(&A)", "追加|キーに追加します");
  actKeyDelete = DialogAction(parent, "actKeyDelete", kKeyCategory, "削除(&X)", "削除|キーから削除します");
  actKeyUp = DialogAction(parent, "actKeyUp", kKeyCategory, "上へ(&U)", "上へ移動|上へ移動します");
  actKeyDown = DialogAction(parent, "actKeyDown", kKeyCategory, "下へ(&D)", "下へ移動|下へ移動します");
  connect(actKeyAdd, &QAction::triggered, this, [this] { KeyAdd(); });
  connect(actKeyDelete, &QAction::triggered, this, [this] { KeyDelete(); });
  connect(actKeyUp, &QAction::triggered, this, [this] { KeyMove(-1); });
  connect(actKeyDown, &QAction::triggered, this, [this] { KeyMove(1); });
  btnAdd = DialogButton(parent, "btnAdd", *actKeyAdd);
  btnDelete = DialogButton(parent, "btnDelete", *actKeyDelete);
  btnUp = DialogButton(parent, "btnUp", *actKeyUp);
  btnDown = DialogButton(parent, "btnDown", *actKeyDown);

  connect(lstCols, &QListWidget::itemDoubleClicked, this, [this] { KeyAdd(); });
  connect(lstKeys, &QListWidget::itemDoubleClicked, this, [this] { KeyDelete(); });
  for (QListWidget* list : {lstCols, lstKeys}) {
    connect(list, &QListWidget::itemSelectionChanged, this, [this] { UpdateActions(); });
    connect(list, &QListWidget::currentRowChanged, this, [this] { UpdateActions(); });
  }
  UpdateActions();
}

QGridLayout* TKeyLists::Layout() {
  auto* moves = new QVBoxLayout;
  moves->addStretch();
  for (QPushButton* b : {btnAdd, btnDelete, btnUp, btnDown}) moves->addWidget(b);
  moves->addStretch();
  auto* lists = new QGridLayout;
  lists->addWidget(lblCols, 0, 0);
  lists->addWidget(lblKeys, 0, 2);
  lists->addWidget(lstCols, 1, 0);
  lists->addLayout(moves, 1, 1);
  lists->addWidget(lstKeys, 1, 2);
  lists->addWidget(lblCheck, 2, 2);
  lists->setColumnStretch(0, 1);
  lists->setColumnStretch(2, 1);
  return lists;
}

void TKeyLists::Fill(const TSqlInfo& info) {
  lstCols->clear();
  lstKeys->clear();
  for (int i = 0; i < info.ColCount(); ++i) lstCols->addItem(NewItem(ToQ(info.ColName(i)), i + 1));
  // Filled before the dialog is shown: the focus is then taken when it opens.
  if (lstCols->isEnabled() && lstCols->isVisibleTo(lstCols->window())) lstCols->setFocus();
  SelectNear(*lstCols, 0);
  UpdateActions();
}

TKeyList TKeyLists::Keys() const {
  TKeyList keys;
  for (int i = 0; i < lstKeys->count(); ++i) {
    const QListWidgetItem* item = lstKeys->item(i);
    keys.push_back(item->checkState() == Qt::Checked ? -ColumnOf(item) : ColumnOf(item));
  }
  return keys;
}

int TKeyLists::KeyCount() const { return lstKeys->count(); }

int TKeyLists::SelectedRow(const QListWidget& list) {
  return list.selectedItems().isEmpty() ? -1 : list.currentRow();
}

void TKeyLists::UpdateActions() {
  const int key = SelectedRow(*lstKeys);
  actKeyAdd->setEnabled(SelectedRow(*lstCols) >= 0);
  actKeyDelete->setEnabled(key >= 0);
  actKeyUp->setEnabled(key > 0);
  actKeyDown->setEnabled(key >= 0 && key < lstKeys->count() - 1);
  if (OnChanged) OnChanged();
}

void TKeyLists::KeyAdd() {
  const int row = SelectedRow(*lstCols);
  if (row < 0) return;
  QListWidgetItem* item = lstCols->takeItem(row);
  item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
  item->setCheckState(Qt::Unchecked);
  lstKeys->addItem(item);
  lstKeys->setCurrentItem(item);
  SelectNear(*lstCols, row);
  UpdateActions();
}

void TKeyLists::KeyDelete() {
  const int row = SelectedRow(*lstKeys);
  if (row < 0) return;
  QListWidgetItem* item = lstKeys->takeItem(row);
  item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
  item->setData(Qt::CheckStateRole, QVariant());
  // Back at its place in column order.
  int at = 0;
  while (at < lstCols->count() && ColumnOf(lstCols->item(at)) < ColumnOf(item)) ++at;
  lstCols->insertItem(at, item);
  lstCols->setCurrentItem(item);
  SelectNear(*lstKeys, row);
  UpdateActions();
}

void TKeyLists::KeyMove(int by) {
  const int row = SelectedRow(*lstKeys);
  const int to = row + by;
  if (row < 0 || to < 0 || to >= lstKeys->count()) return;
  // The item keeps its tick: a descending key stays descending.
  QListWidgetItem* item = lstKeys->takeItem(row);
  lstKeys->insertItem(to, item);
  lstKeys->setCurrentItem(item);
  UpdateActions();
}
