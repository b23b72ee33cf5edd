#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/files.h"

namespace settings {

constexpr std::size_t kMaxGroups = 128;

/// The groups an archive run moves, upper case, none empty, in the order of the file: from
/// `C:\Winpack\Kelvaron.INI`, or from Winpack's `Select.TXT` when its third line says
/// "Select"; creates `Kelvaron.INI` with its default content when there is none. Missing lines
/// count as empty; at most kMaxGroups names. Throws FileError when a file cannot be made or
/// read.
std::vector<std::string> LoadSelection(platform::Files& files);

}  // namespace settings
