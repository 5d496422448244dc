#include "app/QtPlatform.h"

#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QCursor>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMimeData>
#include <QTextBrowser>
#include <QUrl>

#include "app/AppTitle.h"
#include "app/InstanceLock.h"
#include "app/QtKeyring.h"
#include "views/QtText.h"

TQtPlatform::TQtPlatform(std::string lockDir) : lockDir_(std::move(lockDir)) {}

TQtPlatform::~TQtPlatform() {
  delete help_.data();
  SetCursor(TCursor::Default);
}

TKeyring& TQtPlatform::Keyring() {
  if (!keyring_) keyring_ = std::make_unique<TQtKeyring>(U(kAppTitle));
  return *keyring_;
}

void TQtPlatform::ErrorBox(const QString& title, const QString& text) {
  QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, QApplication::activeWindow());
  box.exec();
}

bool TQtPlatform::AskYesNo(const QString& title, const QString& text, bool yesByDefault) {
  QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No,
                  QApplication::activeWindow());
  box.setDefaultButton(yesByDefault ? QMessageBox::Yes : QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

TPlatform::TAnswer TQtPlatform::AskYesNoCancel(const QString& title, const QString& text) {
  QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                  QApplication::activeWindow());
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::Cancel);
  const int answer = box.exec();
  return answer == QMessageBox::Yes ? TAnswer::Yes : answer == QMessageBox::No ? TAnswer::No : TAnswer::Cancel;
}

bool TQtPlatform::FileDialog(TFileDialogSpec& spec, QString& fileName, bool save) {
  QFileDialog dialog(QApplication::activeWindow(), spec.Title, spec.InitialDir);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  // An open dialog too takes a name that does not exist: the command's read
  // then reports the failure in its own words.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(spec.Filters);
  if (spec.FilterIndex >= 1 && spec.FilterIndex <= spec.Filters.size())
    dialog.selectNameFilter(spec.Filters[spec.FilterIndex - 1]);
  const auto suffixFor = [&spec](const QString& filter) {
    const qsizetype index = spec.Filters.indexOf(filter);
    return index >= 0 && index < spec.FilterExts.size() && !spec.FilterExts[index].isEmpty() ? spec.FilterExts[index]
                                                                                            : spec.DefaultExt;
  };
  dialog.setDefaultSuffix(suffixFor(dialog.selectedNameFilter()));
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                   [&dialog, suffixFor](const QString& filter) { dialog.setDefaultSuffix(suffixFor(filter)); });
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !spec.OverwritePrompt);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  fileName = dialog.selectedFiles().first();
  int index = static_cast<int>(spec.Filters.indexOf(dialog.selectedNameFilter()));
  if (index >= 0) spec.FilterIndex = index + 1;
  spec.InitialDir = QFileInfo(fileName).absolutePath();
  return true;
}

bool TQtPlatform::OpenFileDialog(TFileDialogSpec& spec, QString& fileName) {
  return FileDialog(spec, fileName, false);
}

bool TQtPlatform::SaveFileDialog(TFileDialogSpec& spec, QString& fileName) {
  return FileDialog(spec, fileName, true);
}

bool TQtPlatform::PickColor(QColor& colour) {
  QColor chosen = QColorDialog::getColor(colour, QApplication::activeWindow());
  if (!chosen.isValid()) return false;
  colour = chosen;
  return true;
}

bool TQtPlatform::PickFolder(const QString& title, QString& dir) {
  QString chosen = QFileDialog::getExistingDirectory(QApplication::activeWindow(), title, dir);
  if (chosen.isEmpty()) return false;
  dir = chosen;
  return true;
}

bool TQtPlatform::ClipboardHasText() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  return data && data->hasText();
}

QString TQtPlatform::ClipboardText() { return QGuiApplication::clipboard()->text(); }

void TQtPlatform::SetClipboardText(const QString& text) { QGuiApplication::clipboard()->setText(text); }

void TQtPlatform::ShowHelp(const QString& helpFile) {
  if (!help_) {
    help_ = new QTextBrowser();
    help_->setObjectName(QStringLiteral("HelpViewer"));
    help_->setOpenExternalLinks(true);
    help_->resize(720, 600);
  }
  help_->setWindowTitle(QFileInfo(helpFile).fileName());
  // Anew each time: the contents are the top of the file.
  help_->setSource(QUrl());
  help_->setSource(QUrl::fromLocalFile(helpFile));
  help_->show();
  help_->raise();
  help_->activateWindow();
}

void TQtPlatform::ProcessMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void TQtPlatform::SetCursor(TCursor cursor) {
  if (cursor == cursor_) return;
  if (cursor == TCursor::Default) {
    while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
  } else {
    QCursor shape(cursor == TCursor::HourGlass ? Qt::WaitCursor : Qt::BusyCursor);
    if (QGuiApplication::overrideCursor())
      QGuiApplication::changeOverrideCursor(shape);
    else
      QGuiApplication::setOverrideCursor(shape);
  }
  cursor_ = cursor;
}

int TQtPlatform::ExecModal(QDialog& dialog) { return dialog.exec(); }

TLockResult TQtPlatform::LockInstance(const std::string& name, std::unique_ptr<TInstanceLock>& lock) {
  return TakeInstanceLock(lockDir_, name, lock);
}

bool TQtPlatform::OtherInstanceRuns(const std::string& name) { return OtherLockHeld(lockDir_, name); }
