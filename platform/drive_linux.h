#pragma once

// Drive C: of a Wine prefix, as the Linux program finds it; shared by the Linux files of the
// platform only.
#include <sys/types.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/host_tree.h"
#include "platform/system_drive.h"
#include "platform/unflushed.h"

namespace platform {

class FdFile;

/// statfs's f_type of a FUSE mount.
inline constexpr long kFuseMagic = 0x65735546;

/// Keeps the code page of the prefix, once it is first needed, while it lives: a run cases
/// thousands of names, and finding the prefix costs a look through the environment each time.
/// The newest drive's prefix is the one used.
class CodePagePin {
 public:
  CodePagePin();
  ~CodePagePin();
  CodePagePin(const CodePagePin&) = delete;
  CodePagePin& operator=(const CodePagePin&) = delete;
};

struct SystemDrive::State final : HostFolders {
  /// Lets the files still open for writing outlive the drive.
  ~State() override;
  Entry Has(const std::string& host) override;
  bool IsFolder(const std::string& host) override;
  std::optional<std::vector<std::string>> List(const std::string& hostDir) override;
  /// Opens an existing file by its absolute Windows path (`open(2)` flags); the descriptor, or
  /// -1 with errno set.
  int OpenExisting(const std::string& abs, int flags);
  /// Keeps the remembered names in step with a change made by this program, and has the next
  /// Flush make it durable.
  void NoteCreated(const std::string& hostPath) {
    unflushed.Written(hostPath);
    tree.NoteCreated(hostPath);
  }
  void NoteRemoved(const std::string& hostPath) {
    unflushed.Removed(hostPath);
    tree.NoteRemoved(hostPath);
  }
  /// Has the next Flush make a host folder's entries durable: another changed them for us.
  void NoteChanged(const std::string& hostDir) { unflushed.FolderChanged(hostDir); }
  /// Makes durable one by one, on the file systems whose sync does not reach their disk, the
  /// files written and the entries made since the last Flush.
  void SyncEach();

  CodePagePin codePage;
  HostTree tree{*this, DriveRoot()};
  std::string trashRoot;  // the home trash once it is known to be there
  Unflushed unflushed{'/', false};
  std::set<FdFile*> writing;  // open for writing: they may be written after a Flush
  std::set<dev_t> eachFile;   // file systems whose syncfs reaches no disk (FUSE)
};

/// A file the Linux drive opened: its descriptor and, for a file being written, the drive
/// that makes it durable, and the file's host path there.
class FdFile final : public OpenFile {
 public:
  explicit FdFile(int fd, SystemDrive::State* writer = nullptr, std::string host = {});
  ~FdFile() override;
  std::size_t Read(char* buf, std::size_t size) override;
  void Seek(std::uint64_t offset) override;
  std::size_t Write(const char* data, std::size_t size) override;
  void Close() override;
  int fd() const { return fd_; }
  const std::string& host() const { return host_; }
  void Detach() { writer_ = nullptr; }
  /// Whether the file was written since the last ask.
  bool TakeWritten() { return std::exchange(written_, false); }

 private:
  void Release() noexcept;

  int fd_;
  SystemDrive::State* writer_;
  std::string host_;
  bool written_ = false;
};

/// Whether the host path still names the open file (not another put in its place).
bool NamesOpenFile(int fd, const std::string& host);

/// rename(2) that never takes another file's name: 0, else the failure's errno (EEXIST for a
/// name taken).
int RenameNoReplace(const std::string& hostFrom, const std::string& hostTo);

/// The Windows path of a host path below the drive, for messages.
std::string WinNameOfHost(const std::string& host);

}  // namespace platform
