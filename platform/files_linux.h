#pragma once

// What a run's Files keeps on Linux; shared by the Linux files of the platform only.
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/files.h"

namespace platform {

struct Files::Impl {
  struct Entry {
    std::string name;  // the first host name in sorted order with this folded form
    int count = 0;     // how many host names fold to it
  };
  struct DirIndex {
    std::unordered_map<std::string, Entry> byFolded;
  };

  // A folder's names are read once in a run and then kept in step with the program's own
  // changes: nothing else changes Winpack's folders while a run goes on.
  std::unordered_map<std::string, DirIndex> listings;      // host folder -> its names
  std::unordered_map<std::string, std::string> foundDirs;  // root + folded Windows path -> host
  std::string curDir = "C:\\";
  std::string trashRoot;  // the home trash once it is known to be there
  std::unordered_map<std::string, int> probesUnlisted;  // host folder -> lookups without listing
  std::set<std::string> dirtyDirs;                      // host folders changed since the last Flush
  int lockFd = -1;
  std::string lockHost;

  std::string Absolute(std::string_view winPath) const;
  std::string HostPath(std::string_view winPath);
  /// Opens an existing file by its Windows path (`open(2)` flags); returns the descriptor, or
  /// -1 with errno set, and the host path it found.
  int OpenExisting(std::string_view winPath, int flags, std::string* hostPath);

  /// Keeps the remembered listing of the host path's folder in step with a change made by
  /// this program.
  void NoteCreated(const std::string& hostPath);
  void NoteRemoved(const std::string& hostPath);
  /// Makes everything written or changed so far durable (Files::Flush).
  void Flush();

  // The steps of a lookup.
  bool ReadListing(const std::string& hostDir, DirIndex& index);
  const DirIndex* Listing(const std::string& hostDir);
  bool Lookup(const std::string& hostDir, const std::string& utf8Name, std::string& host,
              bool exactIsMissing = false);
  struct Resolved {
    std::string dir;
    std::string leaf;
    bool dirFound = true;
    std::string path() const { return dir + "/" + leaf; }
  };
  Resolved Resolve(const std::string& abs);
  const std::string* KnownFolder(const std::string& abs);
  DirIndex* RememberedListing(const std::string& hostPath, std::string& name);
};

}  // namespace platform
