// The login dialog's list of recent connections: what a login adds, what
// choosing one fills in, removal, a damaged list, and the settings file.

#include <sys/stat.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTest>
#include <functional>

#include "AppFixture.h"
#include "app/Keyring.h"
#include "app/LoginDialog.h"
#include "app/QtText.h"
#include "core/Sjis.h"
#include "storage/ConnectionList.h"
#include "storage/Options.h"

namespace {

class LoginListTest : public AppTest {
 protected:
  std::string ListFile() const { return dir.File("quorrel_Con.xml"); }
  QString Host(const char* name) const { return QString::fromStdString(dir.File(name)); }
  std::string HostS(const char* name) const { return dir.File(name); }

  // The settings' login: scott/tiger on host.
  void SeedSettingsLogin(const char* host) {
    TOptionFile settings;
    settings.Options.User = "scott";
    settings.Options.Password = "tiger";
    settings.Options.Connect = host;
    std::string message;
    ASSERT_TRUE(WriteOptionFile(dir.File("quorrel_Opt.xml"), settings, message)) << message;
  }
  void SeedList(const std::vector<TConnection>& newestFirst) {
    TConnectionList list;
    for (auto it = newestFirst.rbegin(); it != newestFirst.rend(); ++it) list.Touch(*it);
    ASSERT_TRUE(WriteConnectionFile(ListFile(), list));
  }

  // Opens the login dialog, lets look run in it and answers it; a login
  // that succeeds is disconnected again, so the next one can follow.
  void InDialog(std::function<void(TfrmLogin&)> look, bool accept = false) {
    platform.ModalScript.push_back([look, accept](QDialog& dialog) {
      look(static_cast<TfrmLogin&>(dialog));
      return static_cast<int>(accept ? QDialog::Accepted : QDialog::Rejected);
    });
    Actions().Execute(Actions().actConnect);
    if (Main().IsConnected()) Actions().Execute(Actions().actDisConnect);
  }
  void LoginAs(const QString& host, const QString& user, const QString& password = {}) {
    InDialog(
        [&](TfrmLogin& login) {
          login.edtHost->setText(host);
          login.edtUser->setText(user);
          login.edtPassword->setText(password);
        },
        true);
  }

  static std::vector<TConnection> Rows(const TfrmLogin& login) {
    std::vector<TConnection> rows;
    const QAbstractItemModel& m = *login.cmbHost->model();
    for (int r = 0; r < m.rowCount(); ++r)
      rows.push_back({FromQ(m.index(r, 0).data(Qt::EditRole).toString()), FromQ(m.index(r, 1).data().toString())});
    return rows;
  }
  // A choice from the open list, as the combo box reports it.
  static void Choose(TfrmLogin& login, int row) {
    login.cmbHost->setCurrentIndex(row);
    emit login.cmbHost->activated(row);
  }
};

}  // namespace

TEST_F(LoginListTest, SuccessfulLoginsAreListedNewestFirstAcrossStarts) {
  ASSERT_TRUE(StartApp());
  LoginAs(Host("a.db"), "scott");
  LoginAs(Host("b.db"), "scott");
  LoginAs(Host("a.db"), "scott");
  LoginAs(Host("missing/dir/x.db"), "scott");  // refused: not listed
  ASSERT_EQ(platform.Messages.size(), 1u);
  const std::vector<TConnection> expected{{HostS("a.db"), "scott"}, {HostS("b.db"), "scott"}};
  EXPECT_EQ(Rows(App().Login()), expected);
  struct stat st{};
  ASSERT_EQ(stat(ListFile().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  app_.reset();
  ASSERT_TRUE(StartApp());
  std::vector<TConnection> shown;
  QString typed;
  InDialog([&](TfrmLogin& login) {
    shown = Rows(login);
    typed = login.edtHost->text();
  });
  EXPECT_EQ(shown, expected);
  EXPECT_EQ(typed, QString());  // the line is the settings' host, not a row
}

TEST_F(LoginListTest, TheTwentyFirstLoginDropsTheOldestWithItsPassword) {
  std::vector<TConnection> twenty;
  for (int i = 1; i <= 20; ++i) twenty.push_back({"h" + std::to_string(i) + ".db", "u"});
  SeedList(twenty);
  platform.FakeKeyring.Kept[KeyringKey("u", "h20.db")] = "old";
  ASSERT_TRUE(StartApp());
  LoginAs(Host("new.db"), "u", "pw");
  const std::vector<TConnection>& list = App().Login().Connections().Items();
  ASSERT_EQ(list.size(), 20u);
  EXPECT_EQ(list.front(), (TConnection{HostS("new.db"), "u"}));
  EXPECT_EQ(list.back(), (TConnection{"h19.db", "u"}));
  EXPECT_EQ(platform.FakeKeyring.Kept, (std::map<QString, QString>{{KeyringKey("u", HostS("new.db")), "pw"}}));
}

TEST_F(LoginListTest, ChoosingFillsBothFieldsAndOnlyAPasswordKeptForIt) {
  SeedSettingsLogin("a.db");
  SeedList({{"b.db", "alice"}, {"a.db", "scott"}, {"c.db", "bob"}, {"", ""}});
  platform.FakeKeyring.Kept[KeyringKey("alice", "b.db")] = "secret";
  ASSERT_TRUE(StartApp());

  const struct {
    const char* name;
    int row;
    bool keyring;
    bool typeBeforeTheAnswer;
    QString user, password;
  } cases[] = {
      {"kept in the keyring", 0, true, false, "alice", "secret"},
      {"no keyring: asked", 0, false, false, "alice", ""},
      {"the settings' own login", 1, true, false, "scott", "tiger"},
      {"nothing kept: asked", 2, true, false, "bob", ""},
      {"typed before the keyring answered", 0, true, true, "alice", "typed"},
      {"the embedded database, named only in the list", 3, true, false, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    platform.FakeKeyring.Available = c.keyring;
    platform.FakeKeyring.HoldAnswers = c.typeBeforeTheAnswer;
    QString host, user, password;
    InDialog([&](TfrmLogin& login) {
      login.edtPassword->setText("stale");
      Choose(login, c.row);
      if (c.typeBeforeTheAnswer) {
        QTest::keyClicks(login.edtPassword, "typed");
        platform.FakeKeyring.Release();
      }
      QCoreApplication::processEvents();
      host = login.edtHost->text();
      user = login.edtUser->text();
      password = login.edtPassword->text();
    });
    EXPECT_EQ(host, QString::fromStdString(App().Login().Connections().Items()[c.row].Host));
    EXPECT_EQ(user, c.user);
    EXPECT_EQ(password, c.password);
  }
}

TEST_F(LoginListTest, RemovedByTheButtonOrDeleteOnTheOpenList) {
  SeedList({{"a.db", "u"}, {"b.db", "u"}, {"c.db", "u"}});
  platform.FakeKeyring.Kept[KeyringKey("u", "b.db")] = "pw";
  ASSERT_TRUE(StartApp());
  std::vector<TConnection> afterButton, afterKey;
  bool before = false, after = true;
  QString kept;
  InDialog([&](TfrmLogin& login) {
    Choose(login, 1);
    before = login.btnRemove->isEnabled();
    login.btnRemove->click();
    after = login.btnRemove->isEnabled();
    kept = login.edtHost->text();
    afterButton = Rows(login);

    login.show();
    login.cmbHost->showPopup();
    QAbstractItemView* view = login.cmbHost->view();
    view->setCurrentIndex(view->model()->index(0, 0));
    QTest::keyClick(view, Qt::Key_Delete);
    afterKey = Rows(login);
    login.cmbHost->hidePopup();
    login.hide();
  });
  EXPECT_TRUE(before);
  EXPECT_FALSE(after);
  EXPECT_EQ(kept, "b.db");  // the fields stay for a login all the same
  EXPECT_EQ(afterButton, (std::vector<TConnection>{{"a.db", "u"}, {"c.db", "u"}}));
  EXPECT_EQ(afterKey, (std::vector<TConnection>{{"c.db", "u"}}));
  EXPECT_TRUE(platform.FakeKeyring.Kept.empty());
  TConnectionList onDisk;
  ReadConnectionFile(ListFile(), onDisk);
  EXPECT_EQ(onDisk.Items(), afterKey);
}

TEST_F(LoginListTest, ADamagedListIsSetAsideAndTheLoginGoesOn) {
  WriteFileBytes(ListFile(), "<Connections><Login>");
  ASSERT_TRUE(StartApp());
  LoginAs(Host("a.db"), "u");
  ASSERT_EQ(platform.Messages.size(), 1u);
  EXPECT_TRUE(platform.LastMessage().contains(QString::fromStdString(ListFile() + ".bad")));
  EXPECT_EQ(platform.ModalLog, (std::vector<QString>{QStringLiteral("frmLogin")}));
  EXPECT_EQ(Main().StatusMsg(), SJ("接続を切断しました"));
  EXPECT_EQ(ReadFileBytes(ListFile() + ".bad"), "<Connections><Login>");
  EXPECT_EQ(App().Login().Connections().Items(), (std::vector<TConnection>{{HostS("a.db"), "u"}}));
}

TEST_F(LoginListTest, ALoginFromTheListLeavesTheSettingsFileAsItWas) {
  SeedSettingsLogin("shop.db");
  SeedList({{HostS("other.db"), "alice"}});
  ASSERT_TRUE(StartApp());
  app_.reset();
  const std::string untouched = ReadFileBytes(dir.File("quorrel_Opt.xml"));

  ASSERT_TRUE(StartApp());
  InDialog(
      [&](TfrmLogin& login) {
        Choose(login, 0);
        QCoreApplication::processEvents();
        login.edtPassword->setText("pw");
      },
      true);
  EXPECT_TRUE(platform.Messages.empty());
  EXPECT_EQ(Main().StatusMsg(), SJ("接続を切断しました"));
  app_.reset();
  EXPECT_EQ(ReadFileBytes(dir.File("quorrel_Opt.xml")), untouched);
  EXPECT_EQ(platform.FakeKeyring.Kept[KeyringKey("alice", HostS("other.db"))], "pw");
}
