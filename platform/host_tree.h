#pragma once

#include <string>
#include <unordered_map>

#include "platform/folder_index.h"

// Drive C: on a host that tells letter case apart: each component of a Windows path found as
// Windows and Wine find it, links to folders followed (the operator may keep a part of
// Winpack's tree, the archive say, on another disk). Names that come from data are single
// names, checked by the run, so no link is reached through them that Winpack's tree does not
// hold.
namespace platform {

class HostTree {
 public:
  HostTree(HostFolders& host, std::string root)
      : host_(host), root_(std::move(root)), names_(host) {}

  /// The host folder of an absolute Windows path and its last name, as far as it is found.
  struct Resolved {
    std::string dir;
    std::string leaf;
    bool dirFound = true;
    std::string path() const { return dir + "/" + leaf; }
  };
  /// Throws FileError (naming `abs`) for a path that cannot name a file of drive C:.
  Resolved Resolve(const std::string& abs);
  /// The host path of a name, as it is spelt there or, when missing, as written.
  std::string HostPath(const std::string& abs);
  /// The host path of a name a file is to get: as written, or the spelling already there.
  std::string HostOfNewName(const std::string& abs);
  bool EntryExists(const std::string& abs);
  /// Whether the path names a folder found before (the drive's root included).
  bool IsKnownFolder(const std::string& abs) const;
  /// The other spelling of a name whose exact spelling was not found; false when none.
  bool OtherSpelling(const Resolved& r, std::string& host);

  /// Keeps the remembered names in step with a change made by this program.
  void NoteCreated(const std::string& host) { names_.NoteCreated(host); }
  void NoteRemoved(const std::string& host) { names_.NoteRemoved(host); }
  void NotePresent(const std::string& host) { names_.NotePresent(host); }
  void NoteFolderRemoved(const std::string& host);
  /// Has a folder's names read again at their next use: another program changed them.
  void Forget(const std::string& hostDir) { names_.Forget(hostDir); }

  const std::string& root() const { return root_; }

 private:
  HostFolders& host_;
  const std::string root_;
  FolderIndex names_;
  std::unordered_map<std::string, std::string> foundDirs_;  // folded Windows path -> host
};

}  // namespace platform
