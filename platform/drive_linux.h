#pragma once

// Drive C: of a Wine prefix, as the Linux program finds it; shared by the Linux files of the
// platform only.
#include <set>
#include <string>

#include "platform/host_tree.h"
#include "platform/system_drive.h"

namespace platform {

struct SystemDrive::State final : HostFolders {
  Entry Has(const std::string& host) override;
  bool IsFolder(const std::string& host) override;
  std::optional<std::vector<std::string>> List(const std::string& hostDir) override;
  /// Opens an existing file by its absolute Windows path (`open(2)` flags); the descriptor, or
  /// -1 with errno set.
  int OpenExisting(const std::string& abs, int flags);
  /// Keeps the remembered names in step with a change made by this program, and has the next
  /// Flush make it durable.
  void NoteCreated(const std::string& hostPath);
  void NoteRemoved(const std::string& hostPath);
  /// Has the next Flush make a host folder's entries durable: another changed them for us.
  void NoteChanged(const std::string& hostDir) { dirtyDirs.insert(hostDir); }

  HostTree tree{*this, DriveRoot()};
  std::string trashRoot;            // the home trash once it is known to be there
  std::set<std::string> dirtyDirs;  // host folders changed since the last Flush
};

/// A file the Linux drive opened: its descriptor.
class FdFile final : public OpenFile {
 public:
  explicit FdFile(int fd) : fd_(fd) {}
  ~FdFile() override;
  std::size_t Read(char* buf, std::size_t size) override;
  void Seek(std::uint64_t offset) override;
  std::size_t Write(const char* data, std::size_t size) override;
  void Close() override;
  int fd() const { return fd_; }

 private:
  int fd_;
};

/// Whether the host path still names the open file (not another put in its place).
bool NamesOpenFile(int fd, const std::string& host);

/// rename(2) that never takes another file's name: 0, else the failure's errno (EEXIST for a
/// name taken).
int RenameNoReplace(const std::string& hostFrom, const std::string& hostTo);

/// The Windows path of a host path below the drive, for messages.
std::string WinNameOfHost(const std::string& host);

}  // namespace platform
