#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/folded_names.h"
// Names in host folders found as Windows and Wine find them: the exact name when it exists,
// else the first name in sorted order that equals it without regard to case.
namespace platform {

/// What a host that tells letter case apart (Linux) answers of its folders.
class HostFolders {
 public:
  enum class Entry { kThere, kNone, kUnknown };  // kUnknown: the host could not tell

  virtual ~HostFolders() = default;
  /// Whether an entry bears exactly this name, links not followed.
  virtual Entry Has(const std::string& host) = 0;
  /// Whether the path is a folder, links followed.
  virtual bool IsFolder(const std::string& host) = 0;
  /// A folder's names; nothing when there is no such folder. Throws FileError (the host path)
  /// when it exists but cannot be listed.
  virtual std::optional<std::vector<std::string>> List(const std::string& hostDir) = 0;
};

/// A run's knowledge of the names in host folders. A folder's names are read once and then
/// kept in step with the program's own changes: nothing else changes Winpack's folders while
/// a run goes on.
class FolderIndex {
 public:
  explicit FolderIndex(HostFolders& host) : host_(host) {}

  /// Finds `utf8Name` in `hostDir`. Sets `host` to the path found (the exact name when none)
  /// and tells whether one was; `exactIsMissing` when the caller knows the exact name is not
  /// there. Throws FileError (the host path) when the folder cannot be listed.
  bool Lookup(const std::string& hostDir, const std::string& utf8Name, std::string& host,
              bool exactIsMissing = false);
  /// Keeps a folder already read in step with a change made by this program.
  void NoteCreated(const std::string& hostPath);
  void NoteRemoved(const std::string& hostPath);
  /// Has a folder's names read again on the next lookup.
  void Forget(const std::string& hostDir) { listings_.erase(hostDir); }
  /// Remembers a host path just opened by its exact name, so that a lookup of it soon after
  /// (the bulletin sent to the trash) needs no call of the system.
  void NotePresent(const std::string& hostPath);

 private:
  const FoldedNames* Listing(const std::string& hostDir);
  FoldedNames* Remembered(const std::string& hostPath, std::string& name);

  HostFolders& host_;
  std::unordered_map<std::string, FoldedNames> listings_;  // host folder -> its names
  std::unordered_map<std::string, int> probesUnlisted_;    // host folder -> lookups without listing
  std::unordered_set<std::string> present_;  // host paths recently opened by their exact name
};

}  // namespace platform
