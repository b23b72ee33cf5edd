#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_error.h"

// The calls a system makes on drive C:: one implementation per system (drive_linux.cpp,
// drive_win.cpp) and one in memory for tests. Paths are absolute Windows paths
// (winpath::Absolute); each implementation finds them on its disk as Windows finds them,
// links in the operator's tree followed. Every failure throws FileError naming the path and
// the system's reason. Nothing here injects faults: Files and the text files do, so that
// every drive fails at the same points.
namespace platform {

/// A file a Drive opened; closed when dropped. Its failures need name no path: the caller
/// names the file it opened.
class OpenFile {
 public:
  virtual ~OpenFile() = default;
  /// Reads up to `size` bytes; 0 at the end of the file.
  virtual std::size_t Read(char* buf, std::size_t size) = 0;
  /// Reads on from `offset` bytes into the file.
  virtual void Seek(std::uint64_t offset) = 0;
  /// Writes at least one of the bytes; how many.
  virtual std::size_t Write(const char* data, std::size_t size) = 0;
  /// Closes the file; the object is closed even when this throws.
  virtual void Close() = 0;
};

enum class Links {
  kFollow,  // a symbolic link is opened as the file it leads to
  kRefuse,  // a name that leads elsewhere is refused ("not an ordinary file")
};

enum class Create {
  kEmpty,   // made anew: an entry of the name is removed first, never written through
  kAppend,  // created when missing, written at its end; refused when it is not a plain file
            // with this one name (a hard link, a symbolic link)
};

/// How a program may be found holding a file open.
enum class Look {
  kLiveName,    // a name others may open at any moment: never in their way
  kSecondName,  // a name nobody else knows: it may be opened alone for an instant
};

/// What Drive::MoveToTrash leaves to its caller.
class TrashSteps {
 public:
  virtual ~TrashSteps() = default;
  /// Before a file is touched; a FileError leaves the file where it is, with that reason.
  virtual void Moving(const std::string& abs) = 0;
  /// Makes everything done so far durable (Drive::Flush).
  virtual void Flush() = 0;
};

class Drive {
 public:
  virtual ~Drive() = default;

  /// The path the system opens for a Windows path (a host path on Linux). Throws for a path
  /// that cannot name a file of drive C: (another drive, an empty, `.` or `..` component).
  virtual std::string HostPath(const std::string& abs) = 0;
  /// Whether any entry (file, folder, link, hidden or not) bears the name. A folder that
  /// cannot be searched throws rather than answering.
  virtual bool EntryExists(const std::string& abs) = 0;
  virtual bool IsDirectory(const std::string& abs) = 0;
  virtual void MakeDir(const std::string& abs) = 0;
  /// Removes the entry itself: a link, never the file it leads to; a folder is refused.
  virtual void RemoveFile(const std::string& abs) = 0;
  /// Removes an empty folder.
  virtual void RemoveDir(const std::string& abs) = 0;
  /// The names of the ordinary files of a folder; none when there is no such folder.
  virtual std::vector<std::string> FileNames(const std::string& abs) = 0;

  /// Puts `from` in the place of `to` in one step, so that `to` always exists.
  virtual void ReplaceFile(const std::string& from, const std::string& to) = 0;
  /// Gives a file the name `to`, which must not exist as written: false, and nothing
  /// changed, when it does. A name that leads elsewhere is not renamed.
  virtual bool RenameNew(const std::string& from, const std::string& to) = 0;
  /// Gives the file `existing` the second name `name`, which must not exist: false, and
  /// nothing changed, when it does or the file system keeps one name a file.
  virtual bool LinkNew(const std::string& existing, const std::string& name) = 0;
  /// As ReplaceFile, but false, and nothing changed, where the system keeps a file that
  /// another program has open from being replaced and `to` is open.
  virtual bool ReplaceUnlessOpen(const std::string& from, const std::string& to) = 0;

  /// The path of the file a name stands for, symbolic links followed; the path itself when
  /// it names no link or nothing; empty for a link that leads off drive C:.
  virtual std::string FinalPath(const std::string& abs) = 0;
  /// What tells the file a path names from any other while it exists; empty for none.
  virtual std::string FileId(const std::string& abs) = 0;

  /// Makes durable everything written, created, renamed or removed through this drive so
  /// far, and what others left unwritten on drive C:.
  virtual void Flush() = 0;
  /// Has the next Flush make a file and its name durable as if written through this drive:
  /// one an interrupted run left, which that Flush may not reach otherwise (in a folder linked
  /// onto another disk, or behind FUSE).
  virtual void Adopt(const std::string& abs) = 0;
  /// Sends files to the Recycle Bin / Trash, never deleting one instead; everything before is
  /// durable before the first moves, and each file's record in the trash before the call
  /// returns. Per file: empty when it went, else why not.
  virtual std::vector<std::string> MoveToTrash(const std::vector<std::string>& abs,
                                               TrashSteps& steps) = 0;

  /// Opens an existing ordinary file to read; a folder, a pipe or a device is refused and
  /// never waited on. Null on failure, with why in `failure` when given.
  virtual std::unique_ptr<OpenFile> OpenRead(const std::string& abs, Links links,
                                             std::optional<FileError>* failure) = 0;
  virtual std::unique_ptr<OpenFile> OpenWrite(const std::string& abs, Create how) = 0;
  /// Whether the path names the open file (not another put in its place).
  virtual bool Names(const std::string& abs, OpenFile& file) = 0;
  /// Waits up to `limit` until no program but this one has the file open (the one `abs`
  /// names, or `mine`, which is not counted): false when one still has it then. With
  /// Look::kLiveName, true at once where that cannot be told without being in another's way;
  /// with Look::kSecondName, not before a program that found the file by the name it lost
  /// just before can have it open.
  virtual bool AwaitAlone(const std::string& abs, OpenFile* mine, Look look,
                          std::chrono::milliseconds limit) = 0;

  /// The run lock's file, made when missing; never a link or other entry that leads
  /// elsewhere ("not an ordinary file").
  virtual std::unique_ptr<OpenFile> OpenLockFile(const std::string& abs) = 0;
  /// Locks the file's first byte for this open file alone: false when another holds it.
  virtual bool LockFirstByte(OpenFile& lock, const std::string& abs) = 0;
  /// Removes the locked file while it is still held. Never throws.
  virtual void RemoveLockFile(OpenFile& lock, const std::string& abs) noexcept = 0;
};

/// This system's drive C:, a fresh view of it for one run.
std::unique_ptr<Drive> HostDrive();

/// The host folder that stands for `C:\`: on Linux `$WINEPREFIX/drive_c`, `WINEPREFIX`
/// defaulting to `$HOME/.wine`; on Windows `C:\` itself.
std::string DriveRoot();

}  // namespace platform
