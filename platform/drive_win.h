#pragma once

// Drive C: on Windows; shared by the Windows files of the platform only.
#include <set>
#include <string>
#include <vector>

// clang-format off
#include "platform/wide_win.h"  // first: it takes back the names windows.h takes
#include "platform/system_drive.h"
#include "platform/unflushed.h"
// clang-format on

namespace platform {

class WinFile;  // a file the drive opened (open_file_win.cpp)

// On Windows `C:\` is the real drive and the file system ignores letter case itself, so a
// path needs no lookup: HostPath only checks that it stays on drive C:, and each call hands
// the path to the system as it is.
struct SystemDrive::State {
  /// Lets the files still open for writing outlive the drive.
  ~State();
  /// Flushes the files open for writing; defined with them.
  void FlushWriting();

  Unflushed unflushed{'\\', true};  // the file system ignores letter case
  // Files open for writing through this drive: each Flush flushes them by their handle,
  // since they may be written after it.
  std::set<WinFile*> writing;
};

/// CreateFileW of the path, shared with every other open (reading, writing, deleting).
HANDLE OpenShared(const std::string& abs, DWORD access, DWORD disposition, DWORD flags);
/// What the system tells of the file itself (opened with no access asked); false for none.
bool InfoAt(const std::string& abs, BY_HANDLE_FILE_INFORMATION& info);
/// Where the system resolves an open file or folder to, as `\\?\C:\...`; empty when it
/// cannot tell.
std::wstring FinalPathOf(HANDLE h);
/// Makes a file, or a folder's entries, durable by its path; nothing when it is gone.
void FlushPath(const std::string& abs, bool folder);

/// Whether this system gives files second names (hard links) at all, found once by linking
/// the file `absFrom` under a name beside it that nobody else knows.
bool LinksWork(const std::string& absFrom);

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
/// A FILE_RENAME_INFO for the name `to` (FILE_LINK_INFORMATION has the same layout).
std::vector<char> RenameInfo(const std::wstring& to, bool replace);

}  // namespace platform
