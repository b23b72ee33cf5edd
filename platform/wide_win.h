#pragma once

// Windows only: the meeting point of the program's 8-bit text and the wide Win32 API.
#include <windows.h>
// windows.h names two of its calls by macros that would rename the program's own
// platform::ReplaceFile and ArchiveRun::MoveFile.
#undef ReplaceFile
#undef MoveFile

#include <string>
#include <string_view>

#include "platform/file_error.h"

namespace platform::win {

/// Text of the system's 8-bit code page (CP_ACP) in UTF-16, and back.
std::wstring Wide(std::string_view text);
std::string Narrow(std::wstring_view text);

/// Where the system finds an absolute path of drive C: (a test program may keep its drive
/// C: in a scratch folder: faults::TestDrive).
std::wstring SystemPath(const std::string& absWinPath);

/// The name under which the file system takes a path as it is written: an absolute path of
/// drive C: with the `\\?\` prefix, so that no trailing dot or blank is dropped and no
/// component is interpreted.
std::wstring LongPath(const std::string& absWinPath);

/// The system's words for an error code.
std::string Reason(DWORD err);

/// A FileError for a Win32 error code, telling "not found" apart.
FileError Error(DWORD err, std::string path);

}  // namespace platform::win
