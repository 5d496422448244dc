#include "app/QtKeyring.h"

#include <qt6keychain/keychain.h>

#include <QEventLoop>
#include <QTimer>

TQtKeyring::TQtKeyring(QString service) : service_(std::move(service)) {}

TQtKeyring::~TQtKeyring() {
  if (pending_ == 0) return;
  QEventLoop wait;
  endWait_ = &wait;
  QTimer::singleShot(1000, &wait, &QEventLoop::quit);
  wait.exec();
  endWait_ = nullptr;
}

void TQtKeyring::Answered() {
  --pending_;
  if (pending_ == 0 && endWait_) endWait_->quit();
}

void TQtKeyring::Read(const QString& key, QObject* context, TAnswer done) {
  auto* job = new QKeychain::ReadPasswordJob(service_, this);
  job->setAutoDelete(true);
  job->setInsecureFallback(false);
  job->setKey(key);
  QObject::connect(job, &QKeychain::Job::finished, context, [done = std::move(done)](QKeychain::Job* j) {
    if (j->error() != QKeychain::NoError) return done(std::nullopt);
    done(static_cast<QKeychain::ReadPasswordJob*>(j)->textData());
  });
  job->start();
}

void TQtKeyring::Write(const QString& key, const QString& password) {
  auto* job = new QKeychain::WritePasswordJob(service_, this);
  job->setAutoDelete(true);
  job->setInsecureFallback(false);
  job->setKey(key);
  job->setTextData(password);
  ++pending_;
  QObject::connect(job, &QKeychain::Job::finished, this, [this] { Answered(); });
  job->start();
}

void TQtKeyring::Remove(const QString& key) {
  auto* job = new QKeychain::DeletePasswordJob(service_, this);
  job->setAutoDelete(true);
  job->setInsecureFallback(false);
  job->setKey(key);
  ++pending_;
  QObject::connect(job, &QKeychain::Job::finished, this, [this] { Answered(); });
  job->start();
}
