#include "support/ServerProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

int FreeLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    port = ntohs(addr.sin_port);
  close(fd);
  return port;
}

std::string LogTail(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  std::string s = ss.str();
  return s.size() > 2000 ? s.substr(s.size() - 2000) : s;
}

namespace {

// Forks the program; in the child, drops to its user when we are root,
// arranges the death signal (0: none), redirects its output and execs it.
pid_t Launch(const TServerProgram& program, int deathSignal, std::string* error) {
  std::vector<std::string> args = program.Args;
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  uid_t uid = 0;
  gid_t gid = 0;
  const bool drop = !program.User.empty() && geteuid() == 0;
  if (drop) {
    passwd* pw = getpwnam(program.User.c_str());
    if (!pw) {
      *error = "running as root and there is no " + program.User + " user to run the server as";
      return -1;
    }
    uid = pw->pw_uid;
    gid = pw->pw_gid;
  }
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    *error = "fork failed";
    return -1;
  }
  if (pid == 0) {
    if (drop && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0)) _exit(126);
    if (deathSignal != 0) {
      prctl(PR_SET_PDEATHSIG, deathSignal);
      if (getppid() != parent) _exit(0);
    }
    int fd = open(program.Log.c_str(), O_WRONLY | O_CREAT | (program.AppendLog ? O_APPEND : O_TRUNC), 0600);
    if (fd >= 0) {
      dup2(fd, 1);
      dup2(fd, 2);
      close(fd);
    }
    int devnull = open("/dev/null", O_RDONLY);
    if (devnull >= 0) dup2(devnull, 0);
    if (chdir(program.Dir.c_str()) != 0) _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

}  // namespace

bool RunAndWait(const TServerProgram& program, std::string* error) {
  const pid_t pid = Launch(program, 0, error);
  if (pid < 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  *error = std::filesystem::path(program.Args[0]).filename().string() + " failed:\n" + LogTail(program.Log);
  return false;
}

pid_t StartInBackground(const TServerProgram& program, int deathSignal, std::string* error) {
  return Launch(program, deathSignal, error);
}

TServerStart WaitUntilReady(pid_t pid, const std::function<bool()>& ready) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    if (ready()) return TServerStart::Ready;
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return TServerStart::Exited;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
  return ready() ? TServerStart::Ready : TServerStart::TimedOut;
}
