#pragma once

#include <string>
#include <string_view>

// Winpack's files are named by Windows paths on drive C:. Off Windows the drive is the
// Wine prefix's drive_c, and each component is found the way Windows and Wine find it:
// the exact name when it exists, else the first name in sorted order that equals it
// without regard to case. All names here are Windows-1252 bytes.
namespace platform {

/// The host folder that stands for `C:\`: `$WINEPREFIX/drive_c`, `WINEPREFIX` defaulting to
/// `$HOME/.wine`.
std::string DriveRoot();

/// The absolute form of a Windows path: bare names are taken in the current directory.
std::string AbsoluteWinPath(std::string_view winPath);

/// The host path for a Windows path. Throws FileError for a path that cannot name a file
/// of drive C: (another drive, an empty, `.` or `..` component, `/` or NUL inside a name).
std::string HostPath(std::string_view winPath);

/// Opens an existing file by its Windows path (`open(2)` flags); returns the descriptor, or
/// -1 with errno set, and the host path it found.
int OpenExisting(std::string_view winPath, int flags, std::string* hostPath);

/// The current directory is held here rather than by the process, so that bare names keep
/// their Windows meaning. Throws FileError when the folder cannot be entered.
void ChDir(std::string_view winPath);
const std::string& CurDir();

/// Whether any entry (file, folder, link, hidden or not) bears the name. A folder that
/// cannot be searched throws FileError rather than answering.
bool EntryExists(std::string_view winPath);
bool IsDirectory(std::string_view winPath);

void MakeDir(std::string_view winPath);
void RemoveFile(std::string_view winPath);
/// Puts `from` in the place of `to` in one step, so that `to` always exists, and makes the
/// change durable.
void ReplaceFile(std::string_view from, std::string_view to);

/// Folder listings and found folders are remembered for the length of a run to spare the
/// disk; a run starts by forgetting them so that it sees the disk as it is.
void ForgetCachedNames();

/// Keeps the remembered listing of the host path's folder in step with a change made by
/// this program.
void NoteCreated(const std::string& hostPath);
void NoteRemoved(const std::string& hostPath);

}  // namespace platform
