#pragma once
// TKeyring on qtkeychain: the Secret Service where the desktop runs one.
// Never falls back to a plain file: without a store nothing is kept.

#include <QObject>

class QEventLoop;

#include "app/Keyring.h"

class TQtKeyring final : public QObject, public TKeyring {
 public:
  // service: the name the entries are kept under (the program's base name).
  explicit TQtKeyring(QString service);
  // Lets writes still under way finish, for a second at most, so that the
  // last login's password is not lost to a quick end of the program.
  ~TQtKeyring() override;

  void Read(const QString& key, QObject* context, TAnswer done) override;
  void Write(const QString& key, const QString& password) override;
  void Remove(const QString& key) override;

 private:
  void Answered();

  QString service_;
  // UI thread only: writes and removals not yet answered, and the wait of
  // the end for them.
  int pending_ = 0;
  QEventLoop* endWait_ = nullptr;
};
