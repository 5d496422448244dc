#include "support/PgServer.h"

#include "support/ServerProcess.h"

#include <libpq-fe.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <grp.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

namespace {

}  // namespace

TPgServer::~TPgServer() {
  // The cluster goes too: no need for the checkpoint of a clean shutdown.
  Halt(SIGQUIT);
  if (!dir_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
}

std::string TPgServer::FindBinDir() {
  if (const char* env = std::getenv("QUORREL_PG_BIN"); env && *env) return env;
  std::string best;
  int bestVersion = 0;
  std::error_code ec;
  for (auto& e : std::filesystem::directory_iterator("/usr/lib/postgresql", ec)) {
    int version = std::atoi(e.path().filename().c_str());
    std::string bin = (e.path() / "bin").string();
    if (version > bestVersion && access((bin + "/initdb").c_str(), X_OK) == 0 &&
        access((bin + "/postgres").c_str(), X_OK) == 0) {
      best = bin;
      bestVersion = version;
    }
  }
  return best;
}

// Runs a server binary, as the postgres user when we are root. A process
// left running gets SIGINT (fast shutdown) when this process dies.
bool TPgServer::Run(const std::string& program, const std::string& argText, bool wait) {
  TServerProgram p;
  p.Args = {bin_ + "/" + program};
  std::istringstream words(argText);
  for (std::string w; words >> w;) p.Args.push_back(w);
  p.Dir = dir_;
  p.Log = dir_ + "/" + program + ".log";
  p.User = "postgres";
  if (wait) return RunAndWait(p, &error_);
  pid_ = StartInBackground(p, SIGINT, &error_);
  return pid_ > 0;
}

bool TPgServer::Init() {
  bin_ = FindBinDir();
  if (bin_.empty()) {
    error_ = "no PostgreSQL server binaries (initdb, postgres) are installed";
    return false;
  }
  // In memory where the machine offers it: the cluster is thrown away, and
  // writing it to a busy disk costs seconds per server.
  std::string tmpl = access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm/quorrel-pg-XXXXXX" : "/tmp/quorrel-pg-XXXXXX";
  if (!mkdtemp(tmpl.data())) {
    error_ = "mkdtemp failed";
    return false;
  }
  dir_ = tmpl;
  if (geteuid() == 0) {
    passwd* pw = getpwnam("postgres");
    if (!pw || chown(dir_.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
      error_ = "cannot hand " + dir_ + " to the postgres user";
      return false;
    }
  }
  if (const char* from = std::getenv("QUORREL_PG_TEMPLATE");
      from && *from && std::filesystem::exists(std::string(from) + "/PG_VERSION"))
    return initialised_ = provisioned_ = CopyTemplate(from);
  // Local socket: trust (the admin); TCP: passwords checked, as users meet them.
  if (!Run("initdb", "-D " + dir_ + "/data -U postgres -E UTF8 --locale=C -N --auth-local=trust "
                     "--auth-host=scram-sha-256 --wal-segsize=1",
           true))
    return false;
  initialised_ = true;
  return true;
}

// The copy belongs to the server's user and is private to it, as the server
// demands of its data directory.
bool TPgServer::CopyTemplate(const std::string& from) {
  namespace fs = std::filesystem;
  const std::string data = dir_ + "/data";
  std::error_code ec;
  fs::copy(from, data, fs::copy_options::recursive, ec);
  if (ec) {
    error_ = "cannot copy the cluster template " + from + ": " + ec.message();
    return false;
  }
  fs::permissions(data, fs::perms::owner_all, ec);
  if (geteuid() == 0) {
    passwd* pw = getpwnam("postgres");
    bool owned = pw && lchown(data.c_str(), pw->pw_uid, pw->pw_gid) == 0;
    for (auto it = fs::recursive_directory_iterator(data, ec); owned && !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
      owned = lchown(it->path().c_str(), pw->pw_uid, pw->pw_gid) == 0;
    if (!owned || ec) {
      error_ = "cannot hand the copied cluster to the postgres user";
      return false;
    }
  }
  return true;
}

bool TPgServer::MakeTemplate(const std::string& target, std::string* why) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::remove_all(target, ec);
  if (FindBinDir().empty()) return true;  // the server tests skip, or fail under CI
  // With its role and database, so that no copy has to make them.
  TPgServer server;
  bool ok = server.Start();
  server.Stop();
  if (ok) {
    fs::copy(server.dir_ + "/data", target, fs::copy_options::recursive, ec);
    if (ec) {
      server.error_ = "cannot copy the cluster to " + target + ": " + ec.message();
      fs::remove_all(target, ec);
      ok = false;
    }
  }
  if (!ok && why) *why = server.Error();
  return ok;
}

bool TPgServer::Start() {
  if (Running()) return true;
  if (!initialised_ && !Init()) return false;
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (port_ == 0 || attempt > 0) port_ = FreeLoopbackPort();
    if (!Run("postgres", "-D " + dir_ + "/data -p " + std::to_string(port_) + " -k " + dir_ +
                             " -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off"
                             " -c full_page_writes=off -c max_connections=40",
             false))
      return false;
    const std::string ping = AdminConninfo("postgres");
    const TServerStart started = WaitUntilReady(pid_, [&ping] { return PQping(ping.c_str()) == PQPING_OK; });
    if (started == TServerStart::Exited) {
      pid_ = -1;
      error_ = "postgres exited:\n" + LogTail(dir_ + "/postgres.log");
      continue;  // most likely the port was taken meanwhile
    }
    if (started != TServerStart::Ready) {
      error_ = "postgres did not become ready:\n" + LogTail(dir_ + "/postgres.log");
      Stop();
      return false;
    }
    if (!provisioned_) {
      if (!Admin("CREATE ROLE quser LOGIN PASSWORD 'secret'", "postgres") ||
          !Admin("CREATE DATABASE quorrel OWNER quser", "postgres")) {
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

void TPgServer::Stop() { Halt(SIGINT); }

void TPgServer::Halt(int signal) {
  if (pid_ <= 0) return;
  kill(pid_, signal);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

std::string TPgServer::Uri() const {
  return "postgresql://127.0.0.1:" + std::to_string(port_) + "/" + Database();
}

std::string TPgServer::AdminConninfo(const std::string& db) const {
  return "host=" + dir_ + " port=" + std::to_string(port_) + " dbname=" + db + " user=postgres";
}

bool TPgServer::Admin(const std::string& sql, const std::string& db) {
  std::unique_ptr<PGconn, decltype(&PQfinish)> conn(PQconnectdb(AdminConninfo(db).c_str()), PQfinish);
  if (PQstatus(conn.get()) != CONNECTION_OK) {
    error_ = PQerrorMessage(conn.get());
    return false;
  }
  PQsetNoticeProcessor(conn.get(), [](void*, const char*) {}, nullptr);
  std::unique_ptr<PGresult, decltype(&PQclear)> res(PQexec(conn.get(), sql.c_str()), PQclear);
  ExecStatusType st = PQresultStatus(res.get());
  if (st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK) return true;
  error_ = PQerrorMessage(conn.get());
  return false;
}

TPgServer* TPgServer::Shared(std::string* why) {
  return SharedServer<TPgServer>(why);
}
