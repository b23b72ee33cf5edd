#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/files.h"

namespace settings {

constexpr int kMaxGroups = 128;

/// The groups an archive run moves: `Groups[1]` to `Groups[GroupCount]`, upper case, none
/// empty. Index 0 is unused, so the positions are those the user counts in the files.
struct GroupSelection {
  std::array<std::string, kMaxGroups + 1> Groups;
  int16_t GroupCount = 0;
};

/// The program's own settings file and Winpack's selection file.
inline constexpr char kParamFile[] = "Kelvaron.INI";
inline constexpr char kSelectFile[] = "Select.TXT";
/// Where the default Kelvaron.INI is written before it takes its name.
inline constexpr char kNewParamFile[] = "Kelvaron.NEW";

/// Loads the list from `C:\Winpack\Kelvaron.INI`, or from Winpack's `Select.TXT` when its
/// third line says "Select"; creates `Kelvaron.INI` with its default content when there is
/// none. Missing lines count as empty. Throws FileError when a file cannot be made or read;
/// the list is then empty. Leaves the folder it read in as the current directory of `files`.
void OpenParamFile(GroupSelection& selection, platform::Files& files);

}  // namespace settings
