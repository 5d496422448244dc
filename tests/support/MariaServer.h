#pragma once
// A private MariaDB server for tests and benchmarks: a fresh data directory
// in a temporary directory, listening on a free loopback port and on a
// socket in that directory. Under root the server runs as the "mysql" system
// user on a directory that user owns. The server is a child of this process
// and shuts down when it dies.

#include <sys/types.h>

#include <string>
#include <vector>

class TMariaServer {
 public:
  TMariaServer() = default;
  ~TMariaServer();
  TMariaServer(const TMariaServer&) = delete;
  TMariaServer& operator=(const TMariaServer&) = delete;

  // True when mariadb-install-db, mariadbd and the mariadb client are there.
  static bool Installed();

  // Creates the data directory (first time only) and starts the server; on
  // false, Error() tells why. The server has a login User()/Password()
  // (checked: grants are on) with every right on the utf8mb4 database
  // Database().
  bool Start();
  void Stop();
  bool Running() const { return pid_ > 0; }

  const std::string& Error() const { return error_; }
  int Port() const { return port_; }
  const std::string& Dir() const { return dir_; }
  std::string Socket() const { return dir_ + "/sock"; }
  static const char* User() { return "quser"; }
  static const char* Password() { return "secret"; }
  static const char* Database() { return "quorrel"; }

  // Runs sql as root over the socket with the mariadb client; false with
  // Error() on failure.
  bool Admin(const std::string& sql);
  // Drops and recreates Database().
  bool Reset();

  // One server per process, started on first use and stopped at exit.
  // Returns nullptr (with the reason in *why) when it cannot be started.
  static TMariaServer* Shared(std::string* why = nullptr);

 private:
  bool Init();
  // Runs a program with args; as the mysql user under root. A server left
  // running (wait false) gets SIGTERM when this process dies.
  bool Run(const std::vector<std::string>& args, bool wait, bool asServerUser, const std::string& log);
  bool Ping();

  std::string dir_, error_;
  int port_ = 0;
  pid_t pid_ = -1;
  bool initialised_ = false;
  bool provisioned_ = false;
};
