#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/file_error.h"
#include "platform/files.h"

// The little that text files need of each system: open, create, read, write, sync, close.
// Paths are absolute Windows paths (Files::AbsoluteWinPath); every failure but the ones a
// call answers with kNoFile throws FileError naming that path.
namespace platform::raw {

/// A file descriptor on Linux, a HANDLE on Windows.
using Handle = std::intptr_t;
inline constexpr Handle kNoFile = -1;

enum class Links { kFollow, kRefuse };

/// Opens an existing ordinary file for reading; a folder, a pipe or a device is refused (and
/// never waited on), and with Links::kRefuse so is a symbolic link. On failure returns
/// kNoFile and, when `failure` is given, why.
Handle OpenRead(Files& files, const std::string& absPath, Links links,
                std::optional<FileError>* failure);

enum class Create {
  kEmpty,   // made anew: an entry of the name is removed first, never written through
  kAppend,  // created when missing, written at its end; refused when it is not a plain file
            // with this one name (a hard link, a symbolic link)
};
Handle OpenWrite(Files& files, const std::string& absPath, Create how);

/// Reads up to `size` bytes; 0 at the end of the file.
std::size_t Read(Handle file, char* buf, std::size_t size, const std::string& absPath);
void Write(Handle file, const char* data, std::size_t size, const std::string& absPath);
void Close(Handle file, const std::string& absPath);
/// Closes a file whose owner already failed. Never throws.
void CloseQuietly(Handle file) noexcept;
/// Whether the path still names the open file (not another file put in its place).
bool SameFile(Files& files, Handle file, const std::string& absPath);

/// The run lock's file, made when missing, else opened to lock; never a link or any other
/// entry that leads elsewhere (FileError "not an ordinary file").
Handle OpenLockFile(Files& files, const std::string& absPath);
/// Locks the first byte of the file for this open file alone: false when another holds it.
bool LockFirstByte(Handle file, const std::string& absPath);
/// Removes the locked file, the one open (not whatever its name holds by now where the system
/// can tell). Never throws.
void RemoveLockFile(Files& files, Handle file, const std::string& absPath) noexcept;

/// Whether a program other than this one has the file `mine` (kNoFile: the one `absPath`
/// names) open, this program's own handle `mine` not counted (Files::AwaitAlone).
bool OpenElsewhere(Files& files, Handle mine, const std::string& absPath, Files::Look look);
/// Waits up to `limit` until OpenElsewhere says no: false when a program still has the file
/// open then. Where the system tells when a file is closed (Linux), each close is looked at
/// as it happens, so that a program that lets go of the file between two opens for an
/// instant is seen to.
bool AwaitAlone(Files& files, Handle mine, const std::string& absPath, Files::Look look,
                std::chrono::milliseconds limit);
/// AwaitAlone by looking again every few milliseconds.
bool PollAlone(Files& files, Handle mine, const std::string& absPath, Files::Look look,
               std::chrono::milliseconds limit);

}  // namespace platform::raw
