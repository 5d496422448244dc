#pragma once
// Where the program keeps its files: next to the executable, named after it,
// so a renamed copy runs on files (and a lock) of its own.

#include <string>
#include <string_view>

struct TFileLocations {
  std::string ExeDir;        // with a trailing "/"
  std::string BaseName;      // file name without its last extension
  std::string BasePath;      // ExeDir + BaseName
  std::string OptionFile;    // BasePath + "_Opt.xml"
  std::string FreqFile;      // BasePath + "_Frq.xml"
  std::string HelpFile;      // BasePath + ".html"
  std::string InstanceName;  // BaseName; names the single-instance lock
  std::string DefaultDatabase;  // BasePath + ".db": the embedded default database
};

// A pure function of the executable's full path.
TFileLocations MakeFileLocations(std::string_view exePath);

// The running executable's path (/proc/self/exe).
std::string CurrentExePath();
