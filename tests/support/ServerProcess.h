#pragma once
// What the private test servers (PostgreSQL, MariaDB) share: a free
// loopback port, and running a server program as the server's own user.

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// A loopback port nothing listens on now (0 when none could be found).
int FreeLoopbackPort();

// The last 2000 bytes of a log file, for an error message.
std::string LogTail(const std::string& path);

struct TServerProgram {
  std::vector<std::string> Args;  // Args[0]: the program's full path
  std::string Dir;                // the working directory
  std::string Log;                // standard output and error go here
  bool AppendLog = true;
  // The user to run as when this process is root (servers refuse root);
  // empty: as we are.
  std::string User;
};

// Runs the program and waits for it: true when it exited with 0, else false
// with the program's name and its log's tail in *error.
bool RunAndWait(const TServerProgram& program, std::string* error);
// Starts the program in the background; it gets deathSignal when this
// process dies. The child's pid, or -1 with *error.
pid_t StartInBackground(const TServerProgram& program, int deathSignal, std::string* error);

// Waits up to a minute for a server started in the background to answer
// (ready() is asked every 30 ms) or to exit; an exited child is reaped.
enum class TServerStart { Ready, Exited, TimedOut };
TServerStart WaitUntilReady(pid_t pid, const std::function<bool()>& ready);

// The one server of a kind that the tests of a process share: started at
// the first call, started again if it has stopped. Null with the reason in
// *why when it cannot run; a server that failed to start is not tried again.
template <class TServer>
TServer* SharedServer(std::string* why) {
  static std::unique_ptr<TServer> server;
  static std::string failure;
  if (!server && failure.empty()) {
    auto s = std::make_unique<TServer>();
    if (s->Start())
      server = std::move(s);
    else
      failure = s->Error().empty() ? "the server could not be started" : s->Error();
  }
  if (server && !server->Running() && !server->Start() && why) *why = server->Error();
  if (!server && why) *why = failure;
  return server && server->Running() ? server.get() : nullptr;
}
