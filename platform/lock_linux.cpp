#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files_linux.h"
#include "platform/rawfile.h"
#include "platform/winpath.h"
#include "platform/wording.h"

namespace platform::raw {

Handle OpenLockFile(Files& files, const std::string& absPath) {
  // The run before may have removed it and another made it anew since this run last looked.
  Access::Forget(files, files.HostPath(winpath::Parent(absPath)));
  const std::string host = files.HostPath(absPath);
  const int fd = open(host.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
  // A link would take the lock, and its removal at the end, to a file elsewhere.
  if (fd < 0 && errno == ELOOP) {
    throw FileError(FileError::Kind::kOther, absPath, words::kNotOrdinary);
  }
  if (fd < 0) throw FileError::FromErrno(errno, absPath);
  Access::Created(files, host);
  return fd;
}

// A record lock that belongs to this open file (not to the process), which is what Wine
// takes for Kelvaron.exe's LockFileEx: a second Files of one process is refused as well.
bool LockFirstByte(Handle file, const std::string& absPath) {
  struct flock first {};
  first.l_type = F_WRLCK;
  first.l_whence = SEEK_SET;
  first.l_start = 0;
  first.l_len = 1;
  if (fcntl(static_cast<int>(file), F_OFD_SETLK, &first) == 0) return true;
  if (errno == EAGAIN || errno == EACCES) return false;
  throw FileError::FromErrno(errno, absPath);
}

// By its name, which no other run can have taken while this one holds the lock.
void RemoveLockFile(Files& files, Handle, const std::string& absPath) noexcept {
  try {
    const std::string host = files.HostPath(absPath);
    if (unlink(host.c_str()) == 0) Access::Removed(files, host);
  } catch (const FileError&) {
  }
}

}  // namespace platform::raw
