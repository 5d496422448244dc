#include "app/Keyring.h"

#include <QTimer>

#include "app/Platform.h"
#include "app/QtText.h"

TKeyring& TPlatform::Keyring() {
  static TNoKeyring none;
  return none;
}

void TNoKeyring::Read(const QString&, QObject* context, TAnswer done) {
  QTimer::singleShot(0, context, [done = std::move(done)] { done(std::nullopt); });
}

QString KeyringKey(const std::string& user, const std::string& host) {
  QString u = ToQ(user);
  u.replace(QLatin1Char('%'), QStringLiteral("%25")).replace(QLatin1Char('@'), QStringLiteral("%40"));
  return u + QLatin1Char('@') + ToQ(host);
}
