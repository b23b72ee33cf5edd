#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/drive_linux.h"
#include "platform/winpath.h"
#include "platform/wording.h"

namespace platform {

std::unique_ptr<OpenFile> SystemDrive::OpenLockFile(const std::string& abs) {
  // The run before may have removed it and another made it anew since this run last looked.
  state_->tree.Forget(HostPath(winpath::Parent(abs)));
  const std::string host = HostPath(abs);
  const int fd = open(host.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
  // A link would take the lock, and its removal at the end, to a file elsewhere.
  if (fd < 0 && errno == ELOOP) throw FileError(FileError::Kind::kOther, abs, words::kNotOrdinary);
  if (fd < 0) throw FileError::FromErrno(errno, abs);
  state_->NoteCreated(host);
  return std::make_unique<FdFile>(fd);
}

// A record lock that belongs to this open file (not to the process), which is what Wine
// takes for Kelvaron.exe's LockFileEx: a second Files of one process is refused as well.
bool SystemDrive::LockFirstByte(OpenFile& lock, const std::string& abs) {
  struct flock first {};
  first.l_type = F_WRLCK;
  first.l_whence = SEEK_SET;
  first.l_start = 0;
  first.l_len = 1;
  if (fcntl(static_cast<FdFile&>(lock).fd(), F_OFD_SETLK, &first) == 0) return true;
  if (errno == EAGAIN || errno == EACCES) return false;
  throw FileError::FromErrno(errno, abs);
}

// By its name, which no other run can have taken while this one holds the lock.
void SystemDrive::RemoveLockFile(OpenFile&, const std::string& abs) noexcept {
  try {
    const std::string host = HostPath(abs);
    if (unlink(host.c_str()) == 0) state_->NoteRemoved(host);
  } catch (const FileError&) {
  }
}

}  // namespace platform
