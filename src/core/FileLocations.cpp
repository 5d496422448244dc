#include "core/FileLocations.h"

#include <unistd.h>

#include <climits>

TFileLocations MakeFileLocations(std::string_view exePath) {
  TFileLocations loc;
  size_t slash = exePath.rfind('/');
  std::string_view dir = slash == std::string_view::npos ? std::string_view("./") : exePath.substr(0, slash + 1);
  std::string_view file = slash == std::string_view::npos ? exePath : exePath.substr(slash + 1);
  size_t dot = file.rfind('.');
  // Only the last extension goes; a leading dot (".hidden") is part of the name.
  if (dot != std::string_view::npos && dot > 0) file = file.substr(0, dot);
  loc.ExeDir = std::string(dir);
  loc.BaseName = std::string(file);
  loc.BasePath = loc.ExeDir + loc.BaseName;
  loc.OptionFile = loc.BasePath + "_Opt.xml";
  loc.FreqFile = loc.BasePath + "_Frq.xml";
  loc.HelpFile = loc.BasePath + ".html";
  loc.InstanceName = loc.BaseName;
  loc.DefaultDatabase = loc.BasePath + ".db";
  return loc;
}

std::string CurrentExePath() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "./quorrel";
  return std::string(buf, static_cast<size_t>(n));
}
