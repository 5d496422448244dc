#pragma once
// Where the program keeps its files, named after the executable so that a
// renamed copy runs on files (and a lock) of its own. A copy in a folder the
// user can write keeps everything beside itself; an installed one (in a
// folder such as /usr/bin) keeps the files it writes in the user's data
// directory and reads the rest from where the package put it.

#include <string>
#include <string_view>

// What the locations depend on besides the executable's path.
struct TLocationEnv {
  bool ExeDirWritable = true;
  std::string XdgDataHome;  // $XDG_DATA_HOME; ignored unless absolute
  std::string Home;         // $HOME, or the user's home from the password database
};

struct TFileLocations {
  std::string ExeDir;        // with a trailing "/"
  std::string BaseName;      // file name without its last extension
  std::string BasePath;      // ExeDir + BaseName
  std::string OptionFile;    // <files dir>BaseName_Opt.xml
  std::string FreqFile;      // <files dir>BaseName_Frq.xml
  std::string DraftFile;     // <files dir>BaseName_Draft.sql: the edit area's text while it runs
  std::string ConnectionFile;  // <files dir>BaseName_Con.xml: the login dialog's recent connections
  std::string HelpFile;      // BasePath.html, or the installed help
  std::string InstanceName;  // BaseName; names the single-instance lock
  std::string DefaultDatabase;  // <files dir>BaseName.db: the embedded default database
  // The history directory when the options do not choose one, with a
  // trailing "/": ExeDir, or DataDir for an installed program.
  std::string DefaultLogDir;
  // The user's data directory of an installed program, with a trailing "/";
  // empty when the files lie beside the executable. Made on first use.
  std::string DataDir;
  // The sample database that a missing DefaultDatabase starts as: the
  // installed one, or for a renamed copy beside the executable the sample
  // that lies there under the program's own name; empty for the program
  // itself beside its files.
  std::string DatabaseTemplate;
};

// A pure function of the executable's full path and its environment; the
// default environment is a writable executable directory.
TFileLocations MakeFileLocations(std::string_view exePath, const TLocationEnv& env = {});

// The running executable's path (/proc/self/exe).
std::string CurrentExePath();
// The real environment of the executable at exePath.
TLocationEnv CurrentLocationEnv(std::string_view exePath);

// Makes DataDir (and any missing parent) with mode 0700 when it does not
// exist. True when there is nothing to make or the directory now exists.
bool MakeDataDir(const TFileLocations& files);
