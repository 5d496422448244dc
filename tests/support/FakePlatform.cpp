#include "support/FakePlatform.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFileInfo>

#include "app/InstanceLock.h"

namespace {

// Takes the first scripted answer into out; false when it is a cancel or
// none is left.
template <typename T>
bool TakeAnswer(std::deque<std::optional<T>>& answers, T& out) {
  if (answers.empty()) return false;
  std::optional<T> answer = std::move(answers.front());
  answers.pop_front();
  if (!answer) return false;
  out = std::move(*answer);
  return true;
}

}  // namespace

bool TFakePlatform::FileDialog(TFileDialogSpec& spec, QString& fileName) {
  FileDialogLog.push_back(spec);
  if (!TakeAnswer(FileAnswers, fileName)) return false;
  if (!FilterAnswers.empty()) {
    spec.FilterIndex = FilterAnswers.front();
    FilterAnswers.pop_front();
  }
  QString ext = spec.DefaultExt;
  if (spec.FilterIndex >= 1 && spec.FilterIndex <= spec.FilterExts.size() && !spec.FilterExts[spec.FilterIndex - 1].isEmpty())
    ext = spec.FilterExts[spec.FilterIndex - 1];
  if (QFileInfo(fileName).suffix().isEmpty() && !ext.isEmpty()) fileName += "." + ext;
  spec.InitialDir = QFileInfo(fileName).absolutePath();
  return true;
}

bool TFakePlatform::PickColor(QColor& colour) {
  ColourLog.push_back(colour);
  return TakeAnswer(ColourAnswers, colour);
}

bool TFakePlatform::PickFolder(const QString& title, QString& dir) {
  FolderLog.push_back(title);
  return TakeAnswer(FolderAnswers, dir);
}

void TFakePlatform::ProcessMessages() {
  ++ProcessCount;
  QCoreApplication::processEvents();
  if (OnProcessMessages) OnProcessMessages();
}

bool TFakePlatform::AskYesNo(const QString& title, const QString& text, bool yesByDefault) {
  Questions.push_back({title, text, yesByDefault});
  if (YesNoAnswers.empty()) return false;
  const bool yes = YesNoAnswers.front();
  YesNoAnswers.pop_front();
  return yes;
}

TPlatform::TAnswer TFakePlatform::AskYesNoCancel(const QString& title, const QString& text) {
  Questions.push_back({title, text, true});
  if (ThreeWayAnswers.empty()) return TAnswer::Cancel;
  const TAnswer answer = ThreeWayAnswers.front();
  ThreeWayAnswers.pop_front();
  return answer;
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

bool TFakePlatform::OtherInstanceRuns(const std::string& name) { return OtherLockHeld(lockDir_, name); }
