#pragma once
// TKeyring is the desktop's password store (the Secret Service), reached
// through TPlatform. It talks to another process, so nothing here waits for
// it: every call returns at once and answers arrive later through the event
// loop. Where the desktop has no store, nothing is kept and every lookup
// finds nothing.

#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <string>

class TKeyring {
 public:
  virtual ~TKeyring() = default;
  using TAnswer = std::function<void(std::optional<QString>)>;
  // Looks up the password kept under key; done receives it, or nullopt when
  // none is kept or there is no store. done runs on the UI thread, never
  // inside Read itself, and not at all once context is gone.
  virtual void Read(const QString& key, QObject* context, TAnswer done) = 0;
  // Keeps password under key, replacing an earlier one; a failure (no
  // store, access refused) keeps nothing and is not reported.
  virtual void Write(const QString& key, const QString& password) = 0;
  virtual void Remove(const QString& key) = 0;
};

// A desktop without a password store.
class TNoKeyring final : public TKeyring {
 public:
  void Read(const QString& key, QObject* context, TAnswer done) override;
  void Write(const QString&, const QString&) override {}
  void Remove(const QString&) override {}
};

// The key of a login: "user@host", with "%" and "@" in the user name
// escaped so that two logins never share a key. Arguments are cp932.
QString KeyringKey(const std::string& user, const std::string& host);
