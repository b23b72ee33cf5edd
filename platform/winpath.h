#pragma once

#include <string>
#include <string_view>
#include <vector>

// Windows paths of drive C: as both systems take them, before any host is asked.
namespace platform::winpath {

/// The absolute form: `C:...` as written, `\...` on drive C:, a bare name at the drive root
/// (the program has no current folder); trailing backslashes dropped, but for the drive
/// root's.
std::string Absolute(std::string_view winPath);

/// The names after `C:\` of an absolute path. Throws FileError (not found) for a path that
/// cannot name a file of drive C: (another drive, an empty, `.` or `..` name, `/` or NUL).
std::vector<std::string> Components(const std::string& abs);
/// Whether a component names one host entry: not empty, `.` or `..`, no `/` or NUL.
bool IsOneName(std::string_view part);

/// The folder of an absolute path; the drive root's is itself.
std::string Parent(const std::string& abs);

}  // namespace platform::winpath
