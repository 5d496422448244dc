#include "support/FakeKeyring.h"

#include <QTimer>

void TFakeKeyring::Read(const QString& key, QObject* context, TAnswer done) {
  Log.push_back(QStringLiteral("read ") + key);
  std::optional<QString> password;
  if (auto it = Kept.find(key); Available && it != Kept.end()) password = it->second;
  if (HoldAnswers) {
    held_.push_back({context, password, std::move(done)});
    return;
  }
  QTimer::singleShot(0, context, [password, done = std::move(done)] { done(password); });
}

void TFakeKeyring::Write(const QString& key, const QString& password) {
  Log.push_back(QStringLiteral("write ") + key);
  if (Available) Kept[key] = password;
}

void TFakeKeyring::Remove(const QString& key) {
  Log.push_back(QStringLiteral("remove ") + key);
  Kept.erase(key);
}

void TFakeKeyring::Release() {
  std::vector<THeld> held;
  held.swap(held_);
  for (THeld& h : held)
    if (h.Context) h.Done(h.Password);
}
