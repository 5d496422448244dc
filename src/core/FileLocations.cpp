#include "core/FileLocations.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace {

// The package puts the shared files in <prefix>/share/quorrel beside
// <prefix>/bin, so an unpacked or relocated package finds them too.
constexpr std::string_view kShareDir = "share/quorrel/";
constexpr std::string_view kPackageName = "quorrel";

// The directory part of a path, with its trailing "/".
std::string_view DirOf(std::string_view path) {
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string_view("./") : path.substr(0, slash + 1);
}

std::string WithSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

// exeDir "/usr/bin/" gives "/usr/share/quorrel/".
std::string InstalledShareDir(std::string_view exeDir) {
  return std::string(DirOf(exeDir.substr(0, exeDir.size() - 1))) + std::string(kShareDir);
}

std::string UserDataDir(const TLocationEnv& env) {
  if (!env.XdgDataHome.empty() && env.XdgDataHome.front() == '/')
    return WithSlash(env.XdgDataHome) + std::string(kPackageName) + "/";
  if (!env.Home.empty()) return WithSlash(env.Home) + ".local/share/" + std::string(kPackageName) + "/";
  return {};
}

}  // namespace

TFileLocations MakeFileLocations(std::string_view exePath, const TLocationEnv& env) {
  TFileLocations loc;
  std::string_view dir = DirOf(exePath);
  std::string_view file = exePath.substr(exePath.rfind('/') + 1);  // npos + 1: the whole path
  size_t dot = file.rfind('.');
  // Only the last extension goes; a leading dot (".hidden") is part of the name.
  if (dot != std::string_view::npos && dot > 0) file = file.substr(0, dot);
  loc.ExeDir = std::string(dir);
  loc.BaseName = std::string(file);
  loc.BasePath = loc.ExeDir + loc.BaseName;
  loc.InstanceName = loc.BaseName;
  loc.HelpFile = loc.BasePath + ".html";
  // Without a home there is nowhere else to go: the files stay beside the
  // executable, and writing them fails as it would have anyway.
  if (!env.ExeDirWritable) loc.DataDir = UserDataDir(env);
  std::string filesDir = loc.DataDir.empty() ? loc.ExeDir : loc.DataDir;
  loc.OptionFile = filesDir + loc.BaseName + "_Opt.xml";
  loc.FreqFile = filesDir + loc.BaseName + "_Frq.xml";
  loc.DraftFile = filesDir + loc.BaseName + "_Draft.sql";
  loc.ConnectionFile = filesDir + loc.BaseName + "_Con.xml";
  loc.DefaultDatabase = filesDir + loc.BaseName + ".db";
  loc.DefaultLogDir = filesDir;
  if (!loc.DataDir.empty()) {
    std::string share = InstalledShareDir(loc.ExeDir);
    loc.HelpFile = share + std::string(kPackageName) + ".html";
    loc.DatabaseTemplate = share + std::string(kPackageName) + ".db";
  } else if (loc.BaseName != kPackageName) {
    // A renamed copy beside the build's sample database starts from it, as
    // the program under its own name does.
    loc.DatabaseTemplate = loc.ExeDir + std::string(kPackageName) + ".db";
  }
  return loc;
}

std::string CurrentExePath() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "./quorrel";
  return std::string(buf, static_cast<size_t>(n));
}

TLocationEnv CurrentLocationEnv(std::string_view exePath) {
  TLocationEnv env;
  const std::string dir(DirOf(exePath));
  env.ExeDirWritable = access(dir.c_str(), W_OK) == 0;
  if (const char* xdg = std::getenv("XDG_DATA_HOME")) env.XdgDataHome = xdg;
  if (const char* home = std::getenv("HOME"); home && *home) {
    env.Home = home;
  } else if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) {
    env.Home = pw->pw_dir;
  }
  return env;
}

bool MakeDataDir(const TFileLocations& files) {
  const std::string& dir = files.DataDir;
  if (dir.empty()) return true;
  // Each missing level, parents first, private to the user.
  for (size_t end = dir.find('/', 1); end != std::string::npos; end = dir.find('/', end + 1)) {
    std::string part = dir.substr(0, end);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st{};
  return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
