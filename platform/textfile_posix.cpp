#include "platform/textfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>

#include "platform/faults.h"
#include "platform/file_error.h"
#include "platform/winpath.h"

namespace platform {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

}  // namespace

namespace {

// Opens an ordinary file for reading; -1 with errno set otherwise.
int OpenOrdinary(const std::string& path, TextReader::Links links) {
  // O_NONBLOCK: opening a pipe must not wait for a writer; it is refused below anyway.
  int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
  if (links == TextReader::Links::kRefuse) flags |= O_NOFOLLOW;
  std::string host;
  const int fd = OpenExisting(path, flags, &host);
  if (fd < 0) {
    if (errno == ELOOP) errno = EACCES;  // a refused link
    return -1;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return -1;
  }
  return fd;
}

}  // namespace

TextReader::TextReader(std::string_view winPath, Links links)
    : path_(AbsoluteWinPath(winPath)), buf_(new char[kBufferSize]) {
  fd_ = OpenOrdinary(path_, links);
  if (fd_ < 0) throw FileError::FromErrno(errno, path_);
}

TextReader::TextReader(int fd, std::string path)
    : fd_(fd), path_(std::move(path)), buf_(new char[kBufferSize]) {}

std::optional<TextReader> TextReader::TryOpen(std::string_view winPath, Links links) {
  std::string path;
  try {
    path = AbsoluteWinPath(winPath);
    const int fd = OpenOrdinary(path, links);
    if (fd < 0) return std::nullopt;
    return TextReader(fd, std::move(path));
  } catch (const FileError&) {
    return std::nullopt;
  }
}

TextReader::TextReader(TextReader&& other) noexcept
    : fd_(other.fd_),
      path_(std::move(other.path_)),
      buf_(std::move(other.buf_)),
      pos_(other.pos_),
      end_(other.end_) {
  other.fd_ = -1;
}

TextReader::~TextReader() {
  if (fd_ >= 0) close(fd_);
}

bool TextReader::Fill() {
  if (fd_ < 0) throw FileError(FileError::Kind::kOther, path_, "file is closed");
  for (;;) {
    const ssize_t n = Injected(faults::Op::kRead) ? -1 : read(fd_, buf_.get(), kBufferSize);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw FileError::FromErrno(errno, path_);
    pos_ = 0;
    end_ = static_cast<std::size_t>(n);
    return n > 0;
  }
}

bool TextReader::AtEnd() { return pos_ >= end_ && !Fill(); }

void TextReader::ReadLineInto(std::string& line) {
  line.clear();
  for (;;) {
    const char* begin = buf_.get() + pos_;
    const char* stop = buf_.get() + end_;
    const char* eol = std::find_if(begin, stop, [](char c) { return c == '\r' || c == '\n'; });
    line.append(begin, eol);
    pos_ += static_cast<std::size_t>(eol - begin);
    if (eol != stop) {
      ++pos_;
      if (*eol == '\r' && (pos_ < end_ || Fill()) && buf_[pos_] == '\n') ++pos_;
      return;
    }
    if (!Fill()) return;
  }
}

std::string TextReader::ReadLine() {
  if (AtEnd()) throw FileError(FileError::Kind::kOther, path_, "input past end of file");
  std::string line;
  ReadLineInto(line);
  return line;
}

std::string TextReader::ReadLineOrEmpty() { return AtEnd() ? std::string() : ReadLine(); }

void TextReader::Rewind() {
  if (lseek(fd_, 0, SEEK_SET) != 0) throw FileError::FromErrno(errno, path_);
  pos_ = end_ = 0;
}

void TextReader::CopyRestTo(TextWriter& out) {
  std::string line;
  while (!AtEnd()) {
    ReadLineInto(line);
    out.WriteLine(line);
  }
}

void TextReader::Close() {
  if (fd_ < 0) return;
  close(fd_);
  fd_ = -1;
}

TextWriter::TextWriter(int fd, std::string path, std::string hostPath)
    : fd_(fd), path_(std::move(path)), hostPath_(std::move(hostPath)) {
  buf_.reserve(kBufferSize);
  NoteCreated(hostPath_);
}

TextWriter TextWriter::Create(std::string_view winPath) {
  std::string path = AbsoluteWinPath(winPath);
  std::string host = HostPath(path);
  const int fd = Injected(faults::Op::kCreate)
                     ? -1
                     : open(host.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) throw FileError::FromErrno(errno, path);
  return TextWriter(fd, std::move(path), std::move(host));
}

std::optional<TextWriter> TextWriter::CreateNew(std::string_view winPath) {
  std::string path = AbsoluteWinPath(winPath);
  std::string host = HostPath(path);  // an entry in another letter case is found here
  const int fd = Injected(faults::Op::kCreate)
                     ? -1
                     : open(host.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0 && errno == EEXIST) return std::nullopt;
  if (fd < 0) throw FileError::FromErrno(errno, path);
  return TextWriter(fd, std::move(path), std::move(host));
}

TextWriter::TextWriter(TextWriter&& other) noexcept
    : fd_(other.fd_),
      path_(std::move(other.path_)),
      hostPath_(std::move(other.hostPath_)),
      buf_(std::move(other.buf_)) {
  other.fd_ = -1;
}

TextWriter::~TextWriter() {
  if (fd_ < 0) return;
  try {
    Close();
  } catch (const FileError&) {
    // A writer left open is one whose owner already failed and reports that failure.
  }
}

void TextWriter::WriteLine(std::string_view line) {
  if (fd_ < 0) throw FileError(FileError::Kind::kOther, path_, "file is closed");
  if (buf_.size() + line.size() + 2 > kBufferSize) Flush();
  if (line.size() + 2 > kBufferSize) {
    buf_.append(line);
    buf_ += "\r\n";
    Flush();
    return;
  }
  buf_.append(line);
  buf_ += "\r\n";
}

void TextWriter::Flush() {
  std::size_t done = 0;
  while (done < buf_.size()) {
    const ssize_t n =
        Injected(faults::Op::kWrite) ? -1 : write(fd_, buf_.data() + done, buf_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw FileError::FromErrno(errno, path_);
    done += static_cast<std::size_t>(n);
  }
  buf_.clear();
}

void TextWriter::Sync() {
  Flush();
  if (Injected(faults::Op::kSync) || fsync(fd_) != 0) throw FileError::FromErrno(errno, path_);
}

void TextWriter::Close() {
  if (fd_ < 0) return;
  std::exception_ptr failure;
  try {
    Flush();
  } catch (const FileError&) {
    failure = std::current_exception();
  }
  const int closed = Injected(faults::Op::kClose) ? (close(fd_), -1) : close(fd_);
  const int err = errno;
  fd_ = -1;
  if (failure) std::rethrow_exception(failure);
  if (closed != 0) throw FileError::FromErrno(err, path_);
}

void TextWriter::Discard() noexcept {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  buf_.clear();
  if (!Injected(faults::Op::kRemove) && unlink(hostPath_.c_str()) == 0) NoteRemoved(hostPath_);
}

}  // namespace platform
