#include "app/App.h"

#include <QApplication>
#include <QDialog>
#include <QLibraryInfo>
#include <QListWidget>
#include <QTimer>
#include <QTranslator>

#include "app/AboutDialog.h"
#include "app/DraftKeeper.h"
#include "app/ActionModule.h"
#include "app/AppTitle.h"
#include "app/HistoryStore.h"
#include "app/LoginDialog.h"
#include "app/MainWindow.h"
#include "app/TransactionCommands.h"
#include "app/OptionDialog.h"
#include "views/QtText.h"
#include "app/ResultTools.h"
#include "app/SqlCompleter.h"
#include "app/ToolIcons.h"
#include "views/CellView.h"
#include "views/DiffDialog.h"
#include "views/GridText.h"
#include "views/LogDialog.h"
#include "views/SortDialog.h"

TApp::TApp(TPlatform& platform, TFileLocations files, TSqlManager::TSessionFactory sessionFactory)
    : platform_(platform), files_(std::move(files)), sessionFactory_(std::move(sessionFactory)) {
  if (!sessionFactory_) {
    sessionFactory_ = [database = files_.DefaultDatabase, templ = files_.DatabaseTemplate] {
      return CreateSession(database, templ);
    };
  }
}

TApp::~TApp() {
  if (started_) Finish();
}

QString TApp::AppTitle() const { return U(kAppTitle); }

bool TApp::Start() {
  // The title and the application object.
  QCoreApplication::setApplicationName(AppTitle());
  QApplication::setWindowIcon(MakeToolIcon(TToolIcon::App));
  InstallFontSubstitutions();
  // The file, colour and folder choosers and the message box buttons speak
  // Japanese as the rest of the program does. Without the translations
  // installed they stay in English; nothing else depends on them.
  qtTexts_ = std::make_unique<QTranslator>();
  if (qtTexts_->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(qtTexts_.get());
  else
    qtTexts_.reset();

  // One instance per executable name.
  TLockResult lock = platform_.LockInstance(files_.InstanceName, lock_);
  if (lock == TLockResult::HeldElsewhere) {
    platform_.ErrorBox(AppTitle(), U("多重起動はできません。"));
    return false;
  }
  // Without the lock the program still runs, but the user is told that a
  // second start is no longer refused.
  if (lock == TLockResult::Failed)
    platform_.ErrorBox(AppTitle(), U("多重起動確認用のロックファイルを作成できません。\n多重起動の確認をせずに起動します。"));
  started_ = true;
  // An installed program's own folder for the files it writes. When it
  // cannot be made, each writer reports its file as it would anywhere.
  MakeDataDir(files_);

  // The windows, once each and in this order.
  main_ = std::make_unique<TfrmMain>(*this);
  about_ = std::make_unique<TfrmAbout>(*this);
  action_ = std::make_unique<TmodAction>(*this);
  AttachSqlCompleter(*this);
  resultHost_ = MakeResultHost(*this);
  log_ = std::make_unique<TfrmLog>(main_.get(), MakeLogHost(*this));
  diff_ = std::make_unique<TfrmDiff>(*resultHost_, main_.get());
  sort_ = std::make_unique<TfrmSort>(*resultHost_, main_.get());
  option_ = std::make_unique<TfrmOption>(*this);
  const TOptions& options = option_->Options();
  login_ = std::make_unique<TfrmLogin>(*this, options.User, options.Password, options.Connect);
  ApplyCommitMode(*this);
  cellView_ = std::make_unique<TfrmCellView>(main_.get());
  draft_ = std::make_unique<TDraftKeeper>(*this);
  return true;
}

int TApp::Run() {
  if (!started_) return 0;
  if (!terminated_) {
    QObject::connect(main_.get(), &TfrmMain::Closed, qApp, &QCoreApplication::quit);
    main_->show();
    QApplication::exec();
  }
  Finish();
  return 0;
}

void TApp::Finish() {
  if (!started_ || finished_) return;
  finished_ = true;
  if (main_ && !main_->IsClosed()) main_->close();
  // A normal end: the text is no longer at risk.
  if (draft_) draft_->Finish();
  draft_.reset();
  // Reverse order of creation; the options dialog writes the settings while
  // the main window still exists to give its layout.
  cellView_.reset();
  login_.reset();
  option_.reset();
  sort_.reset();
  diff_.reset();
  log_.reset();
  resultHost_.reset();
  action_.reset();
  about_.reset();
  main_.reset();
  platform_.SetCursor(TCursor::Default);
  if (qtTexts_) QCoreApplication::removeTranslator(qtTexts_.get());
  qtTexts_.reset();
  lock_.reset();
}

TOptions& TApp::Options() { return option_->Options(); }

void TApp::BeginBusy(TCursor cursor) {
  platform_.ProcessMessages();
  if (cursor != TCursor::AppStart) main_->SetIsProcessing(true);
  savedCursor_ = platform_.Cursor();
  platform_.SetCursor(cursor);
}

void TApp::EndBusy() {
  main_->SetIsProcessing(false);
  platform_.SetCursor(savedCursor_);
  // A close that came during the busy work, once the command that was busy
  // has returned (a run carries out its own at its end).
  if (main_->ClosePending() && !main_->IsRunning() && !main_->IsSelect)
    QTimer::singleShot(0, main_.get(), [main = main_.get()] {
      if (main->ClosePending() && !main->IsClosed() && !main->IsProcessing()) main->close();
    });
}

void TApp::CenterOnMain(QWidget& form) {
  const QRect main = main_->frameGeometry();
  const QSize size = form.frameGeometry().size();
  form.move(main.left() + main.width() / 2 - size.width() / 2, main.top() + main.height() / 2 - size.height() / 2);
}

void ClearListItems(QListWidget& list) { list.clear(); }

void DeleteListItem(QListWidget& list, int index) {
  if (index < 0 || index >= list.count()) return;
  delete list.takeItem(index);
  if (list.count() == 0) {
    list.setCurrentRow(-1);
    list.clearSelection();
    return;
  }
  list.setCurrentRow(std::min(index, list.count() - 1));
}
