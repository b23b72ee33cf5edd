#include "platform/textfile.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <exception>

#include "platform/file_error.h"
#include "platform/wide_win.h"
#include "platform/winpath.h"

// The file is opened through the wide API (exclusive create, no link followed when asked)
// and then read and written through a C runtime descriptor.
namespace platform {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

// Sharing as the C runtime shares: others may read and write, and rename or delete a file we
// only read.
HANDLE OpenHandle(const std::string& path, DWORD access, DWORD disposition, DWORD flags) {
  const DWORD share =
      FILE_SHARE_READ | FILE_SHARE_WRITE | (access == GENERIC_READ ? FILE_SHARE_DELETE : 0);
  return CreateFileW(win::LongPath(path).c_str(), access, share, nullptr, disposition,
                     FILE_ATTRIBUTE_NORMAL | flags, nullptr);
}

// A descriptor for the handle, or -1 with the handle closed.
int Descriptor(HANDLE h, int mode) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), mode | _O_BINARY);
  if (fd < 0) CloseHandle(h);
  return fd;
}

// Opens an ordinary file for reading; -1 and the Win32 error in `err` otherwise.
int OpenOrdinary(const std::string& path, TextReader::Links links, DWORD& err) {
  const DWORD flags = links == TextReader::Links::kRefuse ? FILE_FLAG_OPEN_REPARSE_POINT : 0;
  HANDLE h = OpenHandle(path, GENERIC_READ, OPEN_EXISTING, flags);
  if (h == INVALID_HANDLE_VALUE) {
    err = GetLastError();
    return -1;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const bool ordinary = GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
                        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
  if (!ordinary) {
    CloseHandle(h);
    err = ERROR_ACCESS_DENIED;
    return -1;
  }
  return Descriptor(h, _O_RDONLY);
}

[[noreturn]] void Throw(const std::string& path) { throw win::Error(GetLastError(), path); }

}  // namespace

TextReader::TextReader(std::string_view winPath, Links links)
    : path_(AbsoluteWinPath(winPath)), buf_(new char[kBufferSize]) {
  DWORD err = 0;
  fd_ = OpenOrdinary(HostPath(path_), links, err);
  if (fd_ < 0) throw win::Error(err, path_);
}

TextReader::TextReader(int fd, std::string path)
    : fd_(fd), path_(std::move(path)), buf_(new char[kBufferSize]) {}

std::optional<TextReader> TextReader::TryOpen(std::string_view winPath, Links links) {
  std::string path;
  try {
    path = AbsoluteWinPath(winPath);
    DWORD err = 0;
    const int fd = OpenOrdinary(HostPath(path), links, err);
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
  if (fd_ >= 0) _close(fd_);
}

bool TextReader::Fill() {
  if (fd_ < 0) throw FileError(FileError::Kind::kOther, path_, "file is closed");
  for (;;) {
    const int n = _read(fd_, buf_.get(), static_cast<unsigned>(kBufferSize));
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
  if (_lseeki64(fd_, 0, SEEK_SET) != 0) throw FileError::FromErrno(errno, path_);
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
  _close(fd_);
  fd_ = -1;
}

TextWriter::TextWriter(int fd, std::string path, std::string hostPath)
    : fd_(fd), path_(std::move(path)), hostPath_(std::move(hostPath)) {
  buf_.reserve(kBufferSize);
}

TextWriter TextWriter::Create(std::string_view winPath) {
  std::string path = AbsoluteWinPath(winPath);
  std::string host = HostPath(path);
  HANDLE h = OpenHandle(host, GENERIC_WRITE, CREATE_ALWAYS, 0);
  if (h == INVALID_HANDLE_VALUE) Throw(path);
  const int fd = Descriptor(h, _O_WRONLY);
  if (fd < 0) throw FileError::FromErrno(errno, path);
  return TextWriter(fd, std::move(path), std::move(host));
}

std::optional<TextWriter> TextWriter::CreateNew(std::string_view winPath) {
  std::string path = AbsoluteWinPath(winPath);
  std::string host = HostPath(path);
  // CREATE_NEW fails for any entry of the name, in any letter case, file or folder.
  HANDLE h = OpenHandle(host, GENERIC_WRITE, CREATE_NEW, 0);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = GetLastError();
    if (err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS) return std::nullopt;
    // A folder of the name answers "access denied".
    if (err == ERROR_ACCESS_DENIED &&
        GetFileAttributesW(win::LongPath(host).c_str()) != INVALID_FILE_ATTRIBUTES) {
      return std::nullopt;
    }
    throw win::Error(err, path);
  }
  const int fd = Descriptor(h, _O_WRONLY);
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
    const std::size_t chunk = std::min<std::size_t>(buf_.size() - done, 1u << 30);
    const int n = _write(fd_, buf_.data() + done, static_cast<unsigned>(chunk));
    if (n < 0) throw FileError::FromErrno(errno, path_);
    done += static_cast<std::size_t>(n);
  }
  buf_.clear();
}

void TextWriter::Sync() {
  Flush();
  if (!FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(fd_)))) Throw(path_);
}

void TextWriter::Close() {
  if (fd_ < 0) return;
  std::exception_ptr failure;
  try {
    Flush();
  } catch (const FileError&) {
    failure = std::current_exception();
  }
  const int closed = _close(fd_);
  const int err = errno;
  fd_ = -1;
  if (failure) std::rethrow_exception(failure);
  if (closed != 0) throw FileError::FromErrno(err, path_);
}

void TextWriter::Discard() noexcept {
  if (fd_ >= 0) _close(fd_);
  fd_ = -1;
  buf_.clear();
  DeleteFileW(win::LongPath(hostPath_).c_str());
}

}  // namespace platform
