#pragma once
// The connections the login dialog offers: host string and user name of the
// last few successful logins, most recent first. Kept in a file of its own
// (never in the settings, whose Login section stays the options' business);
// passwords are not part of it.

#include <optional>
#include <string>
#include <vector>

struct TConnection {
  std::string Host;  // cp932, as typed
  std::string User;  // cp932, as typed
  bool operator==(const TConnection&) const = default;
};

class TConnectionList {
 public:
  static constexpr size_t kMaxCount = 20;

  const std::vector<TConnection>& Items() const { return items_; }
  // The index of the connection with exactly this host and user, or -1.
  int Find(const TConnection& c) const;
  // Puts c first; an equal entry further down goes. Returns the entry that
  // fell off the end, if the list was full.
  std::optional<TConnection> Touch(const TConnection& c);
  // Removes the entry at index; an index outside the list does nothing.
  void Remove(int index);
  // Appends when there is room and c is not listed yet (reading a file).
  void Append(const TConnection& c);

 private:
  std::vector<TConnection> items_;
};

enum class TConnectionFileState {
  Read,      // read, or there was no file yet
  SetAside,  // damaged: renamed to the name given, the list left empty
  Ignored,   // damaged and could not be renamed; the next write replaces it
};

struct TConnectionFileResult {
  TConnectionFileState State = TConnectionFileState::Read;
  std::string SetAsideAs;  // native path, for SetAside
};

// Reads the list from path. A file that cannot be read or is not a complete
// list of ours is renamed to path + ".bad" (".bad2", ... when taken), so
// that the next write does not destroy what may still be read by hand.
TConnectionFileResult ReadConnectionFile(const std::string& path, TConnectionList& list);
// The bytes of the file for list.
std::string ConnectionFileBytes(const TConnectionList& list);
// Replaces the file atomically, readable by the owner only. False with a
// diagnostic in error when it cannot be written; the old file then stays.
bool WriteConnectionFile(const std::string& path, const TConnectionList& list, std::string* error = nullptr);
