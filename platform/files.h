#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/drive.h"

// Winpack's files are named by Windows paths on drive C:. Off Windows the drive is the
// Wine prefix's drive_c, and each component is found the way Windows and Wine find it:
// the exact name when it exists, else the first name in sorted order that equals it
// without regard to case. All names here are bytes of the system's code page. A link
// (symbolic link, junction) in Winpack's tree is followed, as Winpack follows it: the
// operator's layout.
namespace platform {

/// The run's view of drive C:, through a Drive (the system's, or one in memory for tests):
/// what it learns of folders on the way stays with this object, one per run, so that a run
/// sees the disk as it is and leaves nothing behind for the next one. It has no current
/// directory: callers name full Windows paths. Every call of the drive passes the fault seam
/// here, the same on every system. Every failure throws FileError naming the Windows path
/// and the system's reason.
class Files {
 public:
  using Look = platform::Look;

  Files() : Files(HostDrive()) {}
  explicit Files(std::unique_ptr<Drive> drive);
  ~Files();
  Files(const Files&) = delete;
  Files& operator=(const Files&) = delete;

  /// The absolute form of a Windows path: a bare name is taken at the drive root.
  std::string AbsoluteWinPath(std::string_view winPath) const;

  /// The host path for a Windows path. Throws for a path that cannot name a file of drive C:
  /// (another drive, an empty, `.` or `..` component, `/` or NUL inside a name).
  std::string HostPath(std::string_view winPath);

  /// Whether any entry (file, folder, link, hidden or not) bears the name. A folder that
  /// cannot be searched throws rather than answering.
  bool EntryExists(std::string_view winPath);
  bool IsDirectory(std::string_view winPath);

  void MakeDir(std::string_view winPath);
  /// Removes the entry of the name: a link itself, never the file it leads to.
  void RemoveFile(std::string_view winPath);
  /// Removes an empty folder; throws FileError for any other.
  void RemoveDir(std::string_view winPath);
  /// The names of the ordinary files of a folder; none when there is no such folder.
  std::vector<std::string> FileNames(std::string_view folder);

  /// Puts `from` in the place of `to` in one step, so that `to` always exists. Durable only
  /// after Flush.
  void ReplaceFile(std::string_view from, std::string_view to);
  /// Gives a file the name `to`, which must not exist: false, and nothing changed, when it
  /// does. The check is atomic for the name as written; other spellings of it are the
  /// caller's to look for first (EntryExists). Durable only after Flush.
  bool RenameNew(std::string_view from, std::string_view to);
  /// Gives the file `existing` the second name `name` (a hard link), which must not exist, so
  /// that the file can still be found once `existing` names another: false, and nothing
  /// changed, when the name is taken (as written: other spellings are the caller's to look
  /// for) or the file system keeps one name a file. Durable only after Flush.
  bool LinkNew(std::string_view existing, std::string_view name);
  /// As ReplaceFile, but false, and nothing changed, where the system keeps a file that
  /// another program has open from being replaced (Windows, Wine) and `to` is open.
  bool ReplaceUnlessOpen(std::string_view from, std::string_view to);

  /// The path of the file a name stands for, symbolic links followed, as a path of drive C:;
  /// the path itself when it names no link or nothing. Throws FileError for a link that
  /// leads off drive C:.
  std::string FinalPath(std::string_view winPath);
  /// What tells the file a path names from any other while it exists (device and file
  /// number); empty when the path names nothing.
  std::string FileId(std::string_view winPath);
  /// Waits up to `limit` until no program but this run has the file open: false when one
  /// still has it then. With Look::kLiveName, true at once where that cannot be told without
  /// being in another's way (Windows: the replacement that follows finds out). The run must
  /// hold no handle of the file itself.
  bool AwaitAlone(std::string_view winPath, Look look, std::chrono::milliseconds limit);

  /// Makes durable everything written, created, renamed or removed through this object so
  /// far (the contents of files and the folder entries that name them), and what others left
  /// unwritten on drive C: (an interrupted run's last steps). One call serves a whole batch.
  void Flush();
  /// Has the next Flush make a file an interrupted run left durable, with its name, wherever
  /// it lies.
  void Adopt(std::string_view winPath);

  /// Sends files to the Recycle Bin / Trash, from where the user can restore them; never
  /// deletes one instead. Everything changed through this object before the call is durable
  /// (Flush) before the first file leaves its folder, and what the trash keeps to restore
  /// each file is durable before the call returns. Never throws: per file, empty when it
  /// went to the trash, else why it did not.
  std::vector<std::string> MoveToTrash(const std::vector<std::string>& winPaths);

  /// Takes the run lock (the first byte of the file, which both systems' programs lock alike)
  /// until Unlock, the end of this object or of the process; false when another holds it.
  bool LockRun(std::string_view lockFile);
  /// Releases the run lock and removes its file. Never throws.
  void Unlock() noexcept;

  /// The drive itself, for the text files, which pass the fault seam themselves.
  Drive& drive() { return *drive_; }

 private:
  std::unique_ptr<Drive> drive_;
  std::unique_ptr<OpenFile> lock_;  // the run lock's file, or none
  std::string lockPath_;
};

}  // namespace platform
