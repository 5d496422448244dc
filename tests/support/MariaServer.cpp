#include "support/MariaServer.h"

#include "support/ServerProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

namespace {

const char* const kInstallDb = "/usr/bin/mariadb-install-db";
const char* const kServer = "/usr/sbin/mariadbd";
const char* const kClient = "/usr/bin/mariadb";

// Options for both the bootstrap and the server: small and quick, nothing
// kept that a throw-away server does not need. Temporary tables go into the
// server's own folder: in the shared /tmp two servers bootstrapping at once
// take each other's files.
std::vector<std::string> Tuning(const std::string& dir) {
  return {"--tmpdir=" + dir + "/tmp",    "--skip-name-resolve",          "--skip-log-bin",
          "--innodb-buffer-pool-size=32M", "--innodb-log-file-size=8M",
          "--innodb-flush-log-at-trx-commit=0", "--innodb-doublewrite=0",
          "--character-set-server=utf8mb4", "--collation-server=utf8mb4_general_ci"};
}

}  // namespace

TMariaServer::~TMariaServer() {
  // The data goes too: no need for a clean shutdown.
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  if (!dir_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
}

bool TMariaServer::Installed() {
  return access(kInstallDb, X_OK) == 0 && access(kServer, X_OK) == 0 && access(kClient, X_OK) == 0;
}

bool TMariaServer::Run(const std::vector<std::string>& args, bool wait, bool asServerUser,
                       const std::string& log) {
  TServerProgram p;
  p.Args = args;
  p.Dir = dir_;
  p.Log = log;
  p.AppendLog = false;
  if (asServerUser) p.User = "mysql";
  if (wait) return RunAndWait(p, &error_);
  pid_ = StartInBackground(p, SIGTERM, &error_);
  return pid_ > 0;
}

bool TMariaServer::Init() {
  if (!Installed()) {
    error_ = "no MariaDB server (mariadb-install-db, mariadbd, mariadb) is installed";
    return false;
  }
  // In memory where the machine offers it: the data is thrown away.
  std::string tmpl =
      access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm/quorrel-maria-XXXXXX" : "/tmp/quorrel-maria-XXXXXX";
  if (!mkdtemp(tmpl.data())) {
    error_ = "mkdtemp failed";
    return false;
  }
  dir_ = tmpl;
  const std::string tmp = dir_ + "/tmp";
  if (mkdir(tmp.c_str(), 0700) != 0) {
    error_ = "cannot make " + tmp;
    return false;
  }
  if (geteuid() == 0) {
    passwd* pw = getpwnam("mysql");
    if (!pw || chown(dir_.c_str(), pw->pw_uid, pw->pw_gid) != 0 || chown(tmp.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
      error_ = "cannot hand " + dir_ + " to the mysql user";
      return false;
    }
  }
  // root logs on over the socket without a password (the tests' admin);
  // every other account has its password checked.
  std::vector<std::string> args{kInstallDb, "--no-defaults", "--datadir=" + dir_ + "/data",
                                "--auth-root-authentication-method=normal", "--skip-test-db"};
  for (auto& t : Tuning(dir_)) args.push_back(t);
  if (!Run(args, true, true, dir_ + "/install.log")) return false;
  initialised_ = true;
  return true;
}

bool TMariaServer::Ping() {
  return Run({kClient, "--no-defaults", "--socket=" + Socket(), "--user=root", "--connect-timeout=2", "-e", "SELECT 1"},
             true, false, dir_ + "/ping.log");
}

bool TMariaServer::Start() {
  if (Running()) return true;
  if (!initialised_ && !Init()) return false;
  for (int attempt = 0; attempt < 3; ++attempt) {
    port_ = FreeLoopbackPort();
    std::vector<std::string> args{kServer,
                                  "--no-defaults",
                                  "--datadir=" + dir_ + "/data",
                                  "--socket=" + Socket(),
                                  "--port=" + std::to_string(port_),
                                  "--bind-address=127.0.0.1",
                                  "--pid-file=" + dir_ + "/mariadbd.pid",
                                  "--log-error=" + dir_ + "/mariadbd.log",
                                  "--max-connections=40"};
    for (auto& t : Tuning(dir_)) args.push_back(t);
    if (!Run(args, false, true, dir_ + "/mariadbd.out")) return false;
    const TServerStart started =
        WaitUntilReady(pid_, [this] { return access(Socket().c_str(), F_OK) == 0 && Ping(); });
    if (started == TServerStart::Exited) {
      pid_ = -1;
      error_ = "mariadbd exited:\n" + LogTail(dir_ + "/mariadbd.log");
      continue;  // most likely the port was taken meanwhile
    }
    if (started != TServerStart::Ready) {
      error_ = "mariadbd did not become ready:\n" + LogTail(dir_ + "/mariadbd.log");
      Stop();
      return false;
    }
    if (!provisioned_) {
      if (!Admin(std::string("CREATE USER ") + User() + "@'%' IDENTIFIED BY '" + Password() + "'") ||
          !Reset()) {
        Stop();
        return false;
      }
      provisioned_ = true;
    }
    error_.clear();
    return true;
  }
  return false;
}

void TMariaServer::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

bool TMariaServer::Admin(const std::string& sql) {
  return Run({kClient, "--no-defaults", "--socket=" + Socket(), "--user=root", "-e", sql}, true, false,
             dir_ + "/admin.log");
}

bool TMariaServer::Reset() {
  const std::string db = Database();
  return Admin("DROP DATABASE IF EXISTS " + db + "; CREATE DATABASE " + db +
               " CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci; GRANT ALL ON " + db + ".* TO " + User() + "@'%'");
}

TMariaServer* TMariaServer::Shared(std::string* why) {
  return SharedServer<TMariaServer>(why);
}
