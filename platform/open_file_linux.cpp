#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <utility>

#include "platform/drive_linux.h"
#include "platform/wording.h"

namespace platform {

FdFile::FdFile(int fd, SystemDrive::State* writer, std::string host)
    : fd_(fd), writer_(writer), host_(std::move(host)) {
  if (writer_ != nullptr) writer_->writing.insert(this);
}

FdFile::~FdFile() {
  Release();
  if (fd_ >= 0) close(fd_);
}

// A file written is made durable by the next Flush of its drive, by its name once closed;
// at once where no memory is left to note it (this runs in the destructor too).
void FdFile::Release() noexcept {
  if (writer_ == nullptr) return;
  writer_->writing.erase(this);
  try {
    writer_->unflushed.Data(host_);
  } catch (const std::bad_alloc&) {
    fsync(fd_);
  }
  writer_ = nullptr;
}

std::size_t FdFile::Read(char* buf, std::size_t size) {
  for (;;) {
    const ssize_t n = read(fd_, buf, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) throw FileError::FromErrno(errno, "");
  }
}

void FdFile::Seek(std::uint64_t offset) {
  if (lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) throw FileError::FromErrno(errno, "");
}

std::size_t FdFile::Write(const char* data, std::size_t size) {
  for (;;) {
    const ssize_t n = write(fd_, data, size);
    written_ = true;
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) throw FileError::FromErrno(errno, "");
  }
}

void FdFile::Close() {
  Release();
  const int fd = std::exchange(fd_, -1);
  if (close(fd) != 0) throw FileError::FromErrno(errno, "");
}

std::unique_ptr<OpenFile> SystemDrive::OpenRead(const std::string& abs, Links links,
                                                std::optional<FileError>* failure) {
  // O_NONBLOCK: opening a pipe must not wait for a writer; it is refused below anyway.
  int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
  if (links == Links::kRefuse) flags |= O_NOFOLLOW;
  int fd = -1;
  try {
    fd = state_->OpenExisting(abs, flags);
  } catch (const FileError& e) {
    if (failure != nullptr) failure->emplace(e);
    return nullptr;
  }
  struct stat st {};
  if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) return std::make_unique<FdFile>(fd);
  if (failure == nullptr) {  // a missing bulletin is common, and its words would go unread
    if (fd >= 0) close(fd);
    return nullptr;
  }
  if (fd >= 0 || errno == ELOOP) {  // ELOOP: a link refused
    failure->emplace(FileError::Kind::kOther, abs, words::kNotOrdinary);
  } else {
    *failure = FileError::FromErrno(errno, abs);
  }
  if (fd >= 0) close(fd);
  return nullptr;
}

std::unique_ptr<OpenFile> SystemDrive::OpenWrite(const std::string& abs, Create how) {
  const std::string host = HostPath(abs);  // found in any letter case
  // A file the run writes is never written through an entry already there: a hard link or a
  // symbolic link would carry the writing to a file elsewhere. The entry goes instead.
  const int flags =
      O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | (how == Create::kAppend ? O_APPEND : O_EXCL);
  int fd = open(host.c_str(), flags, 0666);
  if (fd < 0 && errno == EEXIST && how == Create::kEmpty) {
    if (unlink(host.c_str()) != 0) throw FileError::FromErrno(errno, abs);
    state_->NoteRemoved(host);
    fd = open(host.c_str(), flags, 0666);
  }
  if (fd < 0 && errno == ELOOP) throw FileError(FileError::Kind::kOther, abs, words::kNotOrdinary);
  if (fd < 0) throw FileError::FromErrno(errno, abs);
  struct stat st {};
  if (how == Create::kAppend && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink > 1)) {
    close(fd);
    throw FileError(FileError::Kind::kOther, abs,
                    st.st_nlink > 1 ? words::kHardLinked : words::kNotOrdinary);
  }
  state_->NoteCreated(host);
  return std::make_unique<FdFile>(fd, state_.get(), host);
}

SystemDrive::State::~State() {
  for (FdFile* open : writing) open->Detach();
}

bool SystemDrive::Names(const std::string& abs, OpenFile& file) {
  return NamesOpenFile(static_cast<FdFile&>(file).fd(), HostPath(abs));
}

}  // namespace platform
