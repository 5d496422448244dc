#include "app/LoginDialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/App.h"
#include "app/Keyring.h"
#include "app/MainWindow.h"
#include "app/QtText.h"
#include "storage/StorageError.h"

namespace {

// A host cell of the list. The empty host string (the embedded database)
// is named in the list, while the line it is chosen into stays empty: an
// editable combo box takes the edit role into its line.
class THostItem final : public QStandardItem {
 public:
  explicit THostItem(const QString& host) : QStandardItem(host) { setEditable(false); }
  QVariant data(int role) const override {
    QVariant value = QStandardItem::data(role);
    if (role == Qt::DisplayRole && value.toString().isEmpty()) return U("(既定のデータベース)");
    return value;
  }
};

}  // namespace

TfrmLogin::TfrmLogin(TApp& app, const std::string& user, const std::string& password, const std::string& host)
    : QDialog(&app.Main()), app_(app), settingsLogin_{host, user}, settingsPassword_(password) {
  setObjectName(QStringLiteral("frmLogin"));
  setWindowTitle(U("データベースに接続"));
  setFont(app.Main().font());

  LblUser = new QLabel(U("ユーザー名(&U)"));
  edtUser = new QLineEdit(ToQ(user));
  LblPassword = new QLabel(U("パスワード(&P)"));
  edtPassword = new QLineEdit(ToQ(password));
  LblHost = new QLabel(U("ホスト文字列(&H)"));
  cmbHost = new QComboBox;
  btnRemove = new QPushButton(U("一覧から削除(&D)"));
  btnOk = new QPushButton(QStringLiteral("OK"));
  btnCancel = new QPushButton(U("ｷｬﾝｾﾙ"));

  // The list shows host and user side by side; choosing a row puts its host
  // into the line.
  cmbHost->setEditable(true);
  cmbHost->setInsertPolicy(QComboBox::NoInsert);
  cmbHost->setCompleter(nullptr);  // typing stays exactly what is typed
  hosts_ = new QStandardItemModel(0, 2, cmbHost);
  auto* view = new QTreeView;
  view->setHeaderHidden(true);
  view->setRootIsDecorated(false);
  view->setItemsExpandable(false);
  view->setAllColumnsShowFocus(true);
  view->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  view->header()->setStretchLastSection(true);
  cmbHost->setModel(hosts_);
  cmbHost->setView(view);
  cmbHost->setModelColumn(0);
  view->installEventFilter(this);
  edtHost = cmbHost->lineEdit();
  edtHost->setText(ToQ(host));

  LblUser->setObjectName(QStringLiteral("LblUser"));
  edtUser->setObjectName(QStringLiteral("edtUser"));
  LblPassword->setObjectName(QStringLiteral("LblPassword"));
  edtPassword->setObjectName(QStringLiteral("edtPassword"));
  LblHost->setObjectName(QStringLiteral("LblHost"));
  cmbHost->setObjectName(QStringLiteral("cmbHost"));
  edtHost->setObjectName(QStringLiteral("edtHost"));
  btnRemove->setObjectName(QStringLiteral("btnRemove"));
  btnOk->setObjectName(QStringLiteral("btnOk"));
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  LblUser->setBuddy(edtUser);
  LblPassword->setBuddy(edtPassword);
  LblHost->setBuddy(edtHost);
  edtPassword->setEchoMode(QLineEdit::Password);
  edtPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
  btnOk->setDefault(true);
  btnOk->setAutoDefault(true);
  // Enter on a focused button presses that button; elsewhere it is OK.
  btnCancel->setAutoDefault(true);
  btnRemove->setAutoDefault(true);
  connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(btnRemove, &QPushButton::clicked, this, [this] { RemoveAt(list_.Find({Host(), User()})); });
  connect(cmbHost, &QComboBox::activated, this, &TfrmLogin::Choose);
  // Whatever the user types outdates a password still on its way.
  for (QLineEdit* edit : {edtUser, edtPassword, edtHost})
    connect(edit, &QLineEdit::textEdited, this, [this] { ++choice_; });
  for (QLineEdit* edit : {edtUser, edtHost}) connect(edit, &QLineEdit::textChanged, this, &TfrmLogin::UpdateRemove);

  auto* fields = new QGridLayout;
  fields->addWidget(LblUser, 0, 0);
  fields->addWidget(edtUser, 0, 1);
  fields->addWidget(LblPassword, 1, 0);
  fields->addWidget(edtPassword, 1, 1);
  fields->addWidget(LblHost, 2, 0);
  auto* hostRow = new QHBoxLayout;
  hostRow->addWidget(cmbHost, 1);
  hostRow->addWidget(btnRemove);
  fields->addLayout(hostRow, 2, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnOk);
  buttons->addWidget(btnCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addLayout(buttons);
  edtUser->setMinimumWidth(200);

  // The remove button comes last, so that the login's own order is kept.
  setTabOrder(edtUser, edtPassword);
  setTabOrder(edtPassword, cmbHost);
  setTabOrder(cmbHost, btnOk);
  setTabOrder(btnOk, btnCancel);
  setTabOrder(btnCancel, btnRemove);
  UpdateRemove();
  layout->setSizeConstraint(QLayout::SetFixedSize);
  adjustSize();
  app.CenterOnMain(*this);
}

std::string TfrmLogin::User() const { return FromQ(edtUser->text()); }
std::string TfrmLogin::Password() const { return FromQ(edtPassword->text()); }
std::string TfrmLogin::Host() const { return FromQ(edtHost->text()); }

int TfrmLogin::Ask() {
  if (!listRead_) ReadList();
  return app_.Platform().ExecModal(*this);
}

void TfrmLogin::ReadList() {
  listRead_ = true;
  const std::string& path = app_.Files().ConnectionFile;
  const TConnectionFileResult read = ReadConnectionFile(path, list_);
  FillHosts();
  if (read.State == TConnectionFileState::SetAside) {
    app_.Platform().ErrorBox(app_.AppTitle(), U("接続先一覧ファイル %1 が壊れているため、%2 に名前を変えて退避しました。")
                                                  .arg(QString::fromStdString(path), QString::fromStdString(read.SetAsideAs)));
  } else if (read.State == TConnectionFileState::Ignored) {
    app_.Platform().ErrorBox(app_.AppTitle(), U("接続先一覧ファイル %1 が壊れています。次の接続で新しい一覧に置き換えます。")
                                                  .arg(QString::fromStdString(path)));
  }
}

void TfrmLogin::SaveList() {
  if (!WriteConnectionFile(app_.Files().ConnectionFile, list_))
    app_.Platform().ErrorBox(app_.AppTitle(), ToQ(FileCreateMessage(app_.Files().ConnectionFile)));
}

void TfrmLogin::Remember() {
  if (!listRead_) ReadList();
  const TConnection login{Host(), User()};
  TKeyring& keyring = app_.Platform().Keyring();
  if (auto dropped = list_.Touch(login)) keyring.Remove(KeyringKey(dropped->User, dropped->Host));
  keyring.Write(KeyringKey(login.User, login.Host), edtPassword->text());
  FillHosts();
  SaveList();
}

// Rebuilds the rows and keeps the line as typed: the combo box would put the
// first row's host into it.
void TfrmLogin::FillHosts() {
  const QString typed = edtHost->text();
  {
    const QSignalBlocker quiet(cmbHost);
    hosts_->removeRows(0, hosts_->rowCount());
    for (const TConnection& c : list_.Items()) {
      auto* userItem = new QStandardItem(ToQ(c.User));
      userItem->setEditable(false);
      hosts_->appendRow({new THostItem(ToQ(c.Host)), userItem});
    }
    cmbHost->setCurrentIndex(-1);
  }
  // The open list is as wide as both columns, not only the combo box.
  auto* view = static_cast<QTreeView*>(cmbHost->view());
  view->resizeColumnToContents(0);
  view->resizeColumnToContents(1);
  view->setMinimumWidth(view->columnWidth(0) + view->columnWidth(1) + 2 * view->frameWidth() + 16);
  edtHost->setText(typed);
  UpdateRemove();
}

void TfrmLogin::Choose(int index) {
  if (index < 0 || static_cast<size_t>(index) >= list_.Items().size()) return;
  const TConnection chosen = list_.Items()[static_cast<size_t>(index)];
  edtHost->setText(ToQ(chosen.Host));
  edtUser->setText(ToQ(chosen.User));
  // Never another server's password: the settings' one only for its own
  // login, else nothing until the keyring answers.
  edtPassword->setText(chosen == settingsLogin_ ? ToQ(settingsPassword_) : QString());
  const int choice = ++choice_;
  app_.Platform().Keyring().Read(KeyringKey(chosen.User, chosen.Host), this,
                                 [this, choice, chosen](std::optional<QString> password) {
                                   if (!password || choice != choice_) return;
                                   if (Host() != chosen.Host || User() != chosen.User) return;
                                   edtPassword->setText(*password);
                                 });
}

void TfrmLogin::RemoveAt(int index) {
  if (index < 0 || static_cast<size_t>(index) >= list_.Items().size()) return;
  const TConnection gone = list_.Items()[static_cast<size_t>(index)];
  list_.Remove(index);
  app_.Platform().Keyring().Remove(KeyringKey(gone.User, gone.Host));
  FillHosts();
  SaveList();
}

void TfrmLogin::UpdateRemove() { btnRemove->setEnabled(list_.Find({Host(), User()}) != -1); }

bool TfrmLogin::eventFilter(QObject* watched, QEvent* event) {
  // Delete on the open list takes the highlighted connection off it.
  if (watched == cmbHost->view() && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
    RemoveAt(cmbHost->view()->currentIndex().row());
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void TfrmLogin::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (edtUser->isEnabled()) edtUser->setFocus();
}
