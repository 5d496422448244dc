#pragma once
// What the private test servers (PostgreSQL, MariaDB) share: a free
// loopback port, and running a server program as the server's own user.

#include <sys/types.h>

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
