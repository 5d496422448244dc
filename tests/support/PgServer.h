#pragma once
// A private PostgreSQL server for tests and benchmarks: a fresh cluster in a
// temporary directory, listening on a free loopback port and on a socket in
// that directory. initdb and postgres refuse to run as root, so under root
// they run as the "postgres" system user on a directory that user owns.
// The server is a child of this process and shuts down when it dies.

#include <sys/types.h>

#include <string>

class TPgServer {
 public:
  TPgServer() = default;
  ~TPgServer();
  TPgServer(const TPgServer&) = delete;
  TPgServer& operator=(const TPgServer&) = delete;

  // The server binaries' directory, or empty when none are installed.
  static std::string FindBinDir();

  // Creates the cluster (first time only) and starts the server; on false,
  // Error() tells why. The cluster has a login role User()/Password() that
  // owns the database Database().
  bool Start();
  // Fast shutdown: open sessions are terminated. The cluster is kept, so
  // Start() brings the same data back.
  void Stop();
  bool Running() const { return pid_ > 0; }

  const std::string& Error() const { return error_; }
  int Port() const { return port_; }
  const std::string& Dir() const { return dir_; }
  static const char* User() { return "quser"; }
  static const char* Password() { return "secret"; }
  static const char* Database() { return "quorrel"; }

  // The host string of Database() over TCP, as a user gives it:
  // postgresql://127.0.0.1:<port>/quorrel (no user or password).
  std::string Uri() const;
  // Runs sql as the superuser over the socket; false with Error() on failure.
  bool Admin(const std::string& sql, const std::string& db = Database());

  // Makes a fresh cluster in the directory target (replacing what is there)
  // for servers of other processes to start from: when the environment
  // variable QUORREL_PG_TEMPLATE names such a directory, Start() copies it
  // instead of running initdb, which is most of a server's start-up time.
  // False with the reason in *why; true and nothing made when no server
  // binaries are installed.
  static bool MakeTemplate(const std::string& target, std::string* why);

  // One server per process, started on first use and stopped at exit.
  // Returns nullptr (with the reason in *why) when it cannot be started.
  static TPgServer* Shared(std::string* why = nullptr);

 private:
  bool Init();
  bool CopyTemplate(const std::string& from);
  // Stops the server with this signal (SIGINT: fast, SIGQUIT: immediate).
  void Halt(int signal);
  bool Run(const std::string& program, const std::string& args, bool wait);
  // libpq key/value text for the superuser over the socket.
  std::string AdminConninfo(const std::string& db) const;

  std::string bin_, dir_, error_;
  int port_ = 0;
  pid_t pid_ = -1;
  bool initialised_ = false;
  bool provisioned_ = false;
};
