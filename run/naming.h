#pragma once

#include <string>
#include <unordered_map>

#include "platform/files.h"
#include "run/run_state.h"

// Where an archive copy goes: the group's folder below the archive root, and the first free
// name of the run's date stamp in it.
namespace run {

/// The folder form of a group name: first character upper case, the rest lower case.
std::string FolderForm(const std::string& name);

/// Whether a group name can be a folder name on Windows: not empty, no path, wildcard,
/// reserved or control character, no trailing blank or dot, and not a device name (CON, PRN,
/// AUX, NUL, COM0-9, LPT0-9 and their superscript-digit forms, with or without extension).
bool IsPortableFolderName(const std::string& name);

/// The archive name of a date stamp and sequence number: `YYMMDD` & "01".."09", "10".. & ".TXT".
std::string ArchiveNameOf(const RunState& stamp, int seqNum);

/// Where one archive copy goes.
struct ArchiveTarget {
  std::string folder;  // the group's folder form, the name of its folder in the archive root
  std::string path;    // the full Windows path of the copy's archive name in that folder
};

/// The naming of one run. It remembers, per group, the names it has handed out: names are
/// only ever added during a run, so the search for a free one need not start at 01 again.
class Naming {
 public:
  Naming(platform::Files& files, const RunState& stamp) : files_(files), stamp_(stamp) {}

  /// The group's folder, made in the archive root unless a folder of its folder form is there
  /// in any letter case, and the lowest free archive name of the day in it. Throws FileError
  /// when the folder cannot be made, or every name of the day is taken.
  ArchiveTarget FreeArchiveName(const std::string& group);

 private:
  /// The full path of the group's folder, made when there is none.
  std::string GroupFolder(const std::string& folder);

  platform::Files& files_;
  const RunState& stamp_;
  std::unordered_map<std::string, int> firstFree_;  // folder form -> lowest number not handed out
};

}  // namespace run
