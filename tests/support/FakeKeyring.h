#pragma once
// A password store for widget tests: a map, with or without a store at all,
// and lookups answered at once (on the next ProcessMessages) or held until
// the test lets them through.

#include <QObject>
#include <QPointer>
#include <QString>
#include <map>
#include <optional>
#include <vector>

#include "app/Keyring.h"

class TFakeKeyring final : public TKeyring {
 public:
  bool Available = true;           // false: nothing is kept, nothing found
  bool HoldAnswers = false;        // true: lookups wait for Release()
  std::map<QString, QString> Kept;
  std::vector<QString> Log;        // "read KEY", "write KEY", "remove KEY"

  void Read(const QString& key, QObject* context, TAnswer done) override;
  void Write(const QString& key, const QString& password) override;
  void Remove(const QString& key) override;
  // Answers the held lookups whose context still exists.
  void Release();

 private:
  struct THeld {
    QPointer<QObject> Context;
    std::optional<QString> Password;
    TAnswer Done;
  };
  std::vector<THeld> held_;
};
