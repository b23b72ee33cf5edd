#pragma once

// What a run's Files keeps on Windows; shared by the Windows files of the platform only.
#include <map>
#include <set>
#include <string>

// clang-format off
#include "platform/wide_win.h"  // first: it takes back the names windows.h takes
#include "platform/faults.h"
#include "platform/files.h"
// clang-format on

namespace platform {
namespace raw {
struct OpenFile;
}  // namespace raw

struct Files::Impl {
  std::string curDir = "C:\\";
  // Folders below C:\Winpack found to be plain folders, not links (by upper-case path).
  std::set<std::string> plainFolders;
  // What Flush makes durable: files written and the folders whose entries changed, by
  // upper-case path (the file system ignores case) to the path as written.
  std::map<std::string, std::string> dirtyFiles;
  std::map<std::string, std::string> dirtyFolders;
  // Files open for writing through this object: each Flush flushes them by their handle,
  // since they may be written after it. (The raw file part's record of an open file.)
  std::set<raw::OpenFile*> writing;
  HANDLE lock = INVALID_HANDLE_VALUE;

  /// The absolute path, checked to name a file of drive C: whose folders below C:\Winpack
  /// are no links; throws FileError (not found) otherwise.
  std::string Resolve(std::string_view winPath, const std::string& curDir);
  /// Whether a folder of the path below C:\Winpack (the last name too when `leaf`) is a
  /// link or another reparse point.
  bool Linked(const std::string& abs, bool leaf);

  void Written(const std::string& abs);
  void Changed(const std::string& abs);  // an entry of abs's folder was made, renamed or removed
  void Renamed(const std::string& from, const std::string& to);
  /// Flushes the files open for writing; defined with them.
  void FlushWriting();
  /// Lets the files still open for writing outlive this object.
  void DetachWriting() noexcept;
};

/// Throws the failure that the test seam injects into `op`, if any.
void Fault(faults::Op op, const std::string& absPath);

/// Upper case as the file system compares names.
std::string FoldedPath(const std::string& abs);

}  // namespace platform
