#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/faults.h"
#include "platform/files_linux.h"
#include "platform/rawfile.h"
#include "platform/wording.h"

namespace platform::raw {
namespace {

int Fd(Handle file) { return static_cast<int>(file); }

}  // namespace

Handle OpenRead(Files& files, const std::string& absPath, Links links,
                std::optional<FileError>* failure) {
  // O_NONBLOCK: opening a pipe must not wait for a writer; it is refused below anyway.
  int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
  if (links == Links::kRefuse) flags |= O_NOFOLLOW;
  int fd = -1;
  try {
    fd = Access::OpenExisting(files, absPath, flags);
  } catch (const FileError& e) {
    if (failure != nullptr) failure->emplace(e);
    return kNoFile;
  }
  std::optional<FileError> error;
  struct stat st {};
  if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) return fd;
  if (fd >= 0 || errno == ELOOP) {  // ELOOP: a link refused
    error.emplace(FileError::Kind::kOther, absPath, words::kNotOrdinary);
  } else {
    error = FileError::FromErrno(errno, absPath);
  }
  if (fd >= 0) close(fd);
  if (failure != nullptr) *failure = std::move(error);
  return kNoFile;
}

Handle OpenWrite(Files& files, const std::string& absPath, Create how) {
  const std::string host = files.HostPath(absPath);  // found in any letter case
  Fault(faults::Op::kCreate, absPath);
  // A file the run writes is never written through an entry already there: a hard link or a
  // symbolic link would carry the writing to a file elsewhere. The entry goes instead.
  const int flags =
      O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | (how == Create::kAppend ? O_APPEND : O_EXCL);
  int fd = open(host.c_str(), flags, 0666);
  if (fd < 0 && errno == EEXIST && how == Create::kEmpty) {
    if (unlink(host.c_str()) != 0) throw FileError::FromErrno(errno, absPath);
    Access::Removed(files, host);
    fd = open(host.c_str(), flags, 0666);
  }
  if (fd < 0 && errno == ELOOP)
    throw FileError(FileError::Kind::kOther, absPath, words::kNotOrdinary);
  if (fd < 0) throw FileError::FromErrno(errno, absPath);
  struct stat st {};
  if (how == Create::kAppend && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink > 1)) {
    close(fd);
    throw FileError(FileError::Kind::kOther, absPath,
                    st.st_nlink > 1 ? words::kHardLinked : words::kNotOrdinary);
  }
  Access::Created(files, host);
  return fd;
}

std::size_t Read(Handle file, char* buf, std::size_t size, const std::string& absPath) {
  for (;;) {
    Fault(faults::Op::kRead, absPath);
    const ssize_t n = read(Fd(file), buf, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw FileError::FromErrno(errno, absPath);
    return static_cast<std::size_t>(n);
  }
}

void Write(Handle file, const char* data, std::size_t size, const std::string& absPath) {
  std::size_t done = 0;
  while (done < size) {
    Fault(faults::Op::kWrite, absPath);
    const ssize_t n = write(Fd(file), data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw FileError::FromErrno(errno, absPath);
    done += static_cast<std::size_t>(n);
  }
}

void Close(Handle file, const std::string& absPath) {
  try {
    Fault(faults::Op::kClose, absPath);
  } catch (const FileError&) {
    close(Fd(file));
    throw;
  }
  if (close(Fd(file)) != 0) throw FileError::FromErrno(errno, absPath);
}

void CloseQuietly(Handle file) noexcept { close(Fd(file)); }

bool SameFile(Files& files, Handle file, const std::string& absPath) {
  return NamesOpenFile(Fd(file), files.HostPath(absPath));
}

}  // namespace platform::raw
