#include "AppFixture.h"

#include <sqlite3.h>

#include <QApplication>
#include <QLineEdit>

#include "app/LoginDialog.h"
#include "views/QtText.h"

namespace {

// One QApplication for the whole test program, offscreen.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const kQt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

QString Q8(const char* utf8) { return QString::fromUtf8(utf8); }

void ExecSqlite(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  std::string text = error ? error : "";
  sqlite3_free(error);
  sqlite3_close(db);
  ASSERT_EQ(rc, SQLITE_OK) << text;
}

void MakeSeriesTable(const std::string& path, int n) {
  ExecSqlite(path,
             "CREATE TABLE T (N INTEGER, NAME VARCHAR2(20), V NUMBER(7,2));"
             "WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < " +
                 std::to_string(n) + ") INSERT INTO T SELECT n, 'name' || n, n / 4.0 FROM s;");
}

void AppTest::TearDown() {
  app_.reset();
  QCoreApplication::processEvents();
}

bool AppTest::StartApp(const std::string& baseName, TSqlManager::TSessionFactory factory) {
  app_ = std::make_unique<TApp>(platform, MakeFileLocations(dir.File(baseName)), std::move(factory));
  if (!app_->Start()) return false;
  // Exact per-row semantics of the run driver in tests.
  app_->MessageSliceMs = 0;
  Main().show();
  Main().activateWindow();
  QCoreApplication::processEvents();
  return true;
}

void AppTest::Connect(const QString& host) {
  platform.ModalScript.push_back([host](QDialog& dialog) {
    auto& login = static_cast<TfrmLogin&>(dialog);
    login.edtHost->setText(host);
    return static_cast<int>(QDialog::Accepted);
  });
  Actions().Execute(Actions().actConnect);
}

std::string AppTest::StartConnected(const std::function<std::string(TTempDir&, std::string*)>& host) {
  std::string why;
  const std::string text = host(dir, &why);
  if (text.empty()) return why.empty() ? "no host" : why;
  if (!StartApp()) {
    ADD_FAILURE() << "the program did not start";
    return {};
  }
  Connect(QString::fromStdString(text));
  EXPECT_TRUE(Main().IsConnected()) << platform.LastMessage().toStdString();
  return {};
}

void AppTest::Run(const QString& sql) {
  Main().edtSql->setPlainText(sql);
  Actions().Execute(Actions().actStart);
}

std::vector<std::string> AppTest::EnabledCommands() {
  Actions().UpdateActions();
  std::vector<std::string> names;
  for (const auto& c : Actions().Commands())
    if (c.Action->isEnabled()) names.push_back(c.Action->objectName().toStdString());
  return names;
}

void AppTest::RecordStatus() {
  QObject::connect(&Main(), &TfrmMain::StatusMsgChanged, &Main(), [this](const QString& s) { status.push_back(s); });
}

#include "storage/Options.h"

void SetMaxRow(TApp& app, int maxRow) { app.Options().MaxRow = maxRow; }
