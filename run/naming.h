#pragma once

#include <cstdint>
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

/// The naming of one run. It remembers, per group, the names it has handed out: names are
/// only ever added during a run, so the search for a free one need not start at 01 again.
class Naming {
 public:
  Naming(platform::Files& files, const RunState& stamp) : files_(files), stamp_(stamp) {}

  /// Makes or enters the folder of the group and returns the full Windows path of the lowest
  /// free archive name in it. `GroupName` becomes its folder form. Throws FileError when the
  /// folder cannot be made or entered, or every name of the day is taken.
  std::string SetupFileNameAndDirectory(std::string& GroupName);

  /// Turns `name` into its folder form, makes that folder in the archive root unless a folder
  /// of the name in any letter case is there, and makes it the current directory. Returns 0.
  int16_t DirExists(std::string& name);
  /// 1, having moved `seqNum` and `name` on to the next number, when `name` is taken in the
  /// current directory; 0 when it is free.
  int16_t FileExists(std::string& name, int& seqNum);

 private:
  platform::Files& files_;
  const RunState& stamp_;
  std::unordered_map<std::string, int> firstFree_;  // folder form -> lowest number not handed out
};

}  // namespace run
