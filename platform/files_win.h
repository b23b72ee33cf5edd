#pragma once

// What a run's Files keeps on Windows; shared by the Windows files of the platform only.
#include <map>
#include <set>
#include <string>

// clang-format off
#include "platform/wide_win.h"  // first: it takes back the names windows.h takes
#include "platform/files.h"
// clang-format on

namespace platform {
namespace raw {
struct OpenFile;
}  // namespace raw

class DriveView {
 public:
  // What Flush makes durable: files written and the folders whose entries changed, by
  // upper-case path (the file system ignores case) to the path as written.
  std::map<std::string, std::string> dirtyFiles;
  std::map<std::string, std::string> dirtyFolders;
  // Files open for writing through this object: each Flush flushes them by their handle,
  // since they may be written after it.
  std::set<raw::OpenFile*> writing;

  /// The absolute path, checked to name a file of drive C:; throws FileError (not found)
  /// otherwise.
  std::string Resolve(const std::string& abs);
  /// The raw attributes (RawAttributes) through the fault seam.
  DWORD Attributes(const std::string& abs);

  void Written(const std::string& abs);
  void Changed(const std::string& abs);  // an entry of abs's folder was made, renamed or removed
  void Renamed(const std::string& from, const std::string& to);
  /// Flushes the files open for writing; defined with them.
  void FlushWriting();
  /// Lets the files still open for writing outlive this object.
  void DetachWriting() noexcept;
};

namespace raw {

class Access {
 public:
  static DriveView& View(Files& files) { return *files.view_; }
};

}  // namespace raw

/// Makes a file, or a folder's entries, durable by its path; nothing when it is gone.
void FlushPath(const std::string& abs, bool folder);

/// Whether the path still names the open file (not another put in its place).
bool NamesOpenFile(HANDLE h, const std::string& abs);

/// Whether the open handle is the entry that `abs` names, rather than what a link of that name
/// leads to.
bool IsOwnEntry(HANDLE h, const std::string& abs);

/// Removes the entry of the name: a link itself, never the file it leads to; a folder is
/// refused. Throws FileError.
void RemoveEntry(const std::string& abs);
/// Removes the entry by putting a file of the run's own in its place and deleting that one:
/// no handle of the run has delete access to the file the entry names, so no program that
/// opens that file meanwhile is refused. Throws while the file is open (Windows keeps an
/// open file's names).
void RemoveEntryByAnother(const std::string& abs);

/// The raw attributes of a path; INVALID_FILE_ATTRIBUTES when there is no entry. Any other
/// failure throws: a name that cannot be looked up must not be taken for a free one.
DWORD RawAttributes(const std::string& abs);

}  // namespace platform
