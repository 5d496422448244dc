#include "support/FakePlatform.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFileInfo>

#include "app/InstanceLock.h"

bool TFakePlatform::FileDialog(TFileDialogSpec& spec, QString& fileName) {
  FileDialogLog.push_back(spec);
  if (FileAnswers.empty()) return false;
  std::optional<QString> answer = FileAnswers.front();
  FileAnswers.pop_front();
  if (!answer) return false;
  fileName = *answer;
  spec.InitialDir = QFileInfo(fileName).absolutePath();
  return true;
}

bool TFakePlatform::PickColor(QColor& colour) {
  if (ColourAnswers.empty()) return false;
  std::optional<QColor> answer = ColourAnswers.front();
  ColourAnswers.pop_front();
  if (!answer) return false;
  colour = *answer;
  return true;
}

bool TFakePlatform::PickFolder(const QString&, QString& dir) {
  if (FolderAnswers.empty()) return false;
  std::optional<QString> answer = FolderAnswers.front();
  FolderAnswers.pop_front();
  if (!answer) return false;
  dir = *answer;
  return true;
}

void TFakePlatform::ProcessMessages() {
  ++ProcessCount;
  QCoreApplication::processEvents();
  if (OnProcessMessages) OnProcessMessages();
}

int TFakePlatform::ExecModal(QDialog& dialog) {
  ModalLog.push_back(dialog.objectName());
  if (ModalScript.empty()) return QDialog::Rejected;
  TModalAnswer answer = std::move(ModalScript.front());
  ModalScript.pop_front();
  return answer ? answer(dialog) : static_cast<int>(QDialog::Rejected);
}

TLockResult TFakePlatform::LockInstance(const std::string& name, std::unique_ptr<TInstanceLock>& lock) {
  return TakeInstanceLock(lockDir_, name, lock);
}
