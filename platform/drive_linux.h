#pragma once

// Drive C: of a Wine prefix, as the Linux program finds it; shared by the Linux files of the
// platform only.
#include <set>
#include <string>
#include <unordered_map>

#include "platform/drive.h"
#include "platform/host_tree.h"

namespace platform {

class LinuxDrive final : public Drive, private HostFolders {
 public:
  std::string HostPath(const std::string& abs) override;
  bool EntryExists(const std::string& abs) override;
  bool IsDirectory(const std::string& abs) override;
  void MakeDir(const std::string& abs) override;
  void RemoveFile(const std::string& abs) override;
  void RemoveDir(const std::string& abs) override;
  std::vector<std::string> FileNames(const std::string& abs) override;
  void ReplaceFile(const std::string& from, const std::string& to) override;
  bool RenameNew(const std::string& from, const std::string& to) override;
  bool LinkNew(const std::string& existing, const std::string& name) override;
  bool ReplaceUnlessOpen(const std::string& from, const std::string& to) override;
  std::string FinalPath(const std::string& abs) override;
  std::string FileId(const std::string& abs) override;
  void Flush() override;
  std::vector<std::string> MoveToTrash(const std::vector<std::string>& abs,
                                       TrashSteps& steps) override;
  std::unique_ptr<OpenFile> OpenRead(const std::string& abs, Links links,
                                     std::optional<FileError>* failure) override;
  std::unique_ptr<OpenFile> OpenWrite(const std::string& abs, Create how) override;
  bool Names(const std::string& abs, OpenFile& file) override;
  bool AwaitAlone(const std::string& abs, OpenFile* mine, Look look,
                  std::chrono::milliseconds limit) override;
  std::unique_ptr<OpenFile> OpenLockFile(const std::string& abs) override;
  bool LockFirstByte(OpenFile& lock, const std::string& abs) override;
  void RemoveLockFile(OpenFile& lock, const std::string& abs) noexcept override;

  /// Keeps the remembered names in step with a change made by this program, and has the next
  /// Flush make it durable.
  void NoteCreated(const std::string& hostPath);
  void NoteRemoved(const std::string& hostPath);
  /// Has the next Flush make a host folder's entries durable: another changed them for us.
  void NoteChanged(const std::string& hostDir) { dirtyDirs_.insert(hostDir); }

 private:
  Entry Has(const std::string& host) override;
  bool IsFolder(const std::string& host) override;
  std::optional<std::vector<std::string>> List(const std::string& hostDir) override;
  /// Opens an existing file by its absolute Windows path (`open(2)` flags); the descriptor, or
  /// -1 with errno set.
  int OpenExisting(const std::string& abs, int flags);

  HostTree tree_{*this, DriveRoot()};
  std::string trashRoot_;            // the home trash once it is known to be there
  std::set<std::string> dirtyDirs_;  // host folders changed since the last Flush
};

/// A file the Linux drive opened: its descriptor.
class FdFile final : public OpenFile {
 public:
  explicit FdFile(int fd) : fd_(fd) {}
  ~FdFile() override;
  std::size_t Read(char* buf, std::size_t size) override;
  std::size_t Write(const char* data, std::size_t size) override;
  void Close() override;
  int fd() const { return fd_; }

 private:
  int fd_;
};

/// Whether the host path still names the open file (not another put in its place).
bool NamesOpenFile(int fd, const std::string& host);

/// The Windows path of a host path below the drive, for messages.
std::string WinNameOfHost(const std::string& host);

}  // namespace platform
