#pragma once

// What a run's Files keeps on Linux; shared by the Linux files of the platform only.
#include <set>
#include <string>
#include <unordered_map>

#include "platform/files.h"
#include "platform/folder_index_linux.h"

namespace platform {

class DriveView {
 public:
  const std::string root = DriveRoot();  // the host folder of drive C: for this run
  FolderIndex names;
  std::unordered_map<std::string, std::string> foundDirs;  // folded Windows path -> host
  std::string trashRoot;            // the home trash once it is known to be there
  std::set<std::string> dirtyDirs;  // host folders changed since the last Flush

  struct Resolved {
    std::string dir;
    std::string leaf;
    bool dirFound = true;
    std::string path() const { return dir + "/" + leaf; }
  };
  /// The host folder of an absolute Windows path and its last name, as far as it is found.
  Resolved Resolve(const std::string& abs);
  const std::string* KnownFolder(const std::string& abs);
  std::string HostPath(const std::string& abs);
  /// Opens an existing file by its absolute Windows path (`open(2)` flags); the descriptor, or
  /// -1 with errno set.
  int OpenExisting(const std::string& abs, int flags);

  /// Keeps the remembered names in step with a change made by this program, and has the next
  /// Flush make it durable.
  void NoteCreated(const std::string& hostPath);
  void NoteRemoved(const std::string& hostPath);
  void Flush();
};

namespace raw {

class Access {
 public:
  static int OpenExisting(Files& files, const std::string& abs, int flags) {
    return files.view_->OpenExisting(abs, flags);
  }
  static void Created(Files& files, const std::string& host) { files.view_->NoteCreated(host); }
  static void Removed(Files& files, const std::string& host) { files.view_->NoteRemoved(host); }
  /// Has the folder's names read again at their next use: another program changed them.
  static void Forget(Files& files, const std::string& hostDir) {
    files.view_->names.Forget(hostDir);
  }
};

}  // namespace raw

/// Whether the host path still names the open file (not another put in its place).
bool NamesOpenFile(int fd, const std::string& host);

/// The Windows path of a host path below the drive, for messages.
std::string WinNameOfHost(const std::string& host);

}  // namespace platform
