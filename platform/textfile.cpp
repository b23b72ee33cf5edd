#include "platform/textfile.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <thread>

#include "platform/file_error.h"

namespace platform {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

// The first CR or LF in [begin, stop), or stop.
const char* LineEnd(const char* begin, const char* stop) {
  const void* cr = std::memchr(begin, '\r', static_cast<std::size_t>(stop - begin));
  const char* limit = cr != nullptr ? static_cast<const char*>(cr) : stop;
  const void* lf = std::memchr(begin, '\n', static_cast<std::size_t>(limit - begin));
  return lf != nullptr ? static_cast<const char*>(lf) : limit;
}

}  // namespace

namespace raw {

bool PollAlone(Files& files, Handle mine, const std::string& absPath, Files::Look look,
               std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (OpenElsewhere(files, mine, absPath, look)) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace raw

bool Files::AwaitAlone(std::string_view winPath, Look look, std::chrono::milliseconds limit) {
  return raw::AwaitAlone(*this, raw::kNoFile, AbsoluteWinPath(winPath), look, limit);
}

TextReader::TextReader(Files& files, std::string_view winPath, Links links)
    : path_(files.AbsoluteWinPath(winPath)), buf_(new char[kBufferSize]) {
  std::optional<FileError> failure;
  file_ = raw::OpenRead(files, path_, links, &failure);
  if (file_ == raw::kNoFile) throw *failure;
}

TextReader::TextReader(raw::Handle file, std::string path)
    : file_(file), path_(std::move(path)), buf_(new char[kBufferSize]) {}

std::optional<TextReader> TextReader::TryOpen(Files& files, std::string_view winPath, Links links) {
  std::string path = files.AbsoluteWinPath(winPath);
  const raw::Handle file = raw::OpenRead(files, path, links, nullptr);
  if (file == raw::kNoFile) return std::nullopt;
  return TextReader(file, std::move(path));
}

TextReader::TextReader(TextReader&& other) noexcept
    : file_(other.file_),
      path_(std::move(other.path_)),
      buf_(std::move(other.buf_)),
      pos_(other.pos_),
      end_(other.end_),
      read_(other.read_),
      partial_(std::move(other.partial_)) {
  other.file_ = raw::kNoFile;
}

TextReader::~TextReader() {
  if (file_ != raw::kNoFile) raw::CloseQuietly(file_);
}

bool TextReader::Fill() {
  if (file_ == raw::kNoFile) throw FileError(FileError::Kind::kOther, path_, "file is closed");
  pos_ = 0;
  end_ = 0;
  end_ = raw::Read(file_, buf_.get(), kBufferSize, path_);
  read_ += end_;
  return end_ > 0;
}

void TextReader::Skip(std::uint64_t bytes) {
  char last = 0;
  while (bytes > 0) {
    if (pos_ >= end_ && !Fill()) return;
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(bytes, end_ - pos_));
    pos_ += n;
    bytes -= n;
    last = buf_[pos_ - 1];
  }
  if (last == '\r' && (pos_ < end_ || Fill()) && buf_[pos_] == '\n') ++pos_;
}

bool TextReader::AtEnd() { return partial_.empty() && pos_ >= end_ && !Fill(); }

void TextReader::ReadLineInto(std::string& line) {
  if (ReadWholeLine(line)) return;
  line.clear();
  line.swap(partial_);  // the last line, without a line end
}

std::string TextReader::ReadLine() {
  if (AtEnd()) throw FileError(FileError::Kind::kOther, path_, "input past end of file");
  std::string line;
  ReadLineInto(line);
  return line;
}

std::string TextReader::ReadLineOrEmpty() { return AtEnd() ? std::string() : ReadLine(); }

bool TextReader::LineInBuffer(std::string_view& line) {
  if (!partial_.empty()) return false;
  const char* begin = buf_.get() + pos_;
  const char* stop = buf_.get() + end_;
  const char* eol = LineEnd(begin, stop);
  // A CR at the buffer's end may yet be followed by its LF.
  if (eol == stop || (*eol == '\r' && eol + 1 == stop)) return false;
  line = std::string_view(begin, static_cast<std::size_t>(eol - begin));
  pos_ += line.size() + 1;
  if (*eol == '\r' && buf_[pos_] == '\n') ++pos_;
  return true;
}

bool TextReader::ReadWholeLine(std::string& line) {
  if (std::string_view view; LineInBuffer(view)) {
    line.assign(view);
    return true;
  }
  for (;;) {
    const char* begin = buf_.get() + pos_;
    const char* stop = buf_.get() + end_;
    const char* eol = LineEnd(begin, stop);
    partial_.append(begin, eol);
    pos_ += static_cast<std::size_t>(eol - begin);
    if (eol != stop) {
      ++pos_;
      if (*eol == '\r' && (pos_ < end_ || Fill()) && buf_[pos_] == '\n') ++pos_;
      line.clear();
      line.swap(partial_);
      return true;
    }
    if (!Fill()) return false;
  }
}

void TextReader::CopyRestTo(TextWriter& out) {
  std::string line;
  std::string_view view;
  while (!AtEnd()) {
    if (LineInBuffer(view)) {
      out.WriteLine(view);
    } else {
      ReadLineInto(line);
      out.WriteLine(line);
    }
  }
}

bool TextReader::NamedBy(Files& files, const std::string& winPath) const {
  return file_ != raw::kNoFile && raw::SameFile(files, file_, files.AbsoluteWinPath(winPath));
}

void TextReader::Close() {
  if (file_ == raw::kNoFile) return;
  raw::CloseQuietly(file_);
  file_ = raw::kNoFile;
}

TextWriter::TextWriter(Files& files, raw::Handle file, std::string path)
    : files_(&files), file_(file), path_(std::move(path)) {
  buf_.reserve(kBufferSize);
}

TextWriter TextWriter::Create(Files& files, std::string_view winPath) {
  std::string path = files.AbsoluteWinPath(winPath);
  const raw::Handle file = raw::OpenWrite(files, path, raw::Create::kEmpty);
  return TextWriter(files, file, std::move(path));
}

TextWriter TextWriter::Append(Files& files, std::string_view winPath) {
  std::string path = files.AbsoluteWinPath(winPath);
  const raw::Handle file = raw::OpenWrite(files, path, raw::Create::kAppend);
  return TextWriter(files, file, std::move(path));
}

TextWriter::TextWriter(TextWriter&& other) noexcept
    : files_(other.files_),
      file_(other.file_),
      path_(std::move(other.path_)),
      buf_(std::move(other.buf_)),
      size_(other.size_) {
  other.file_ = raw::kNoFile;
}

TextWriter::~TextWriter() {
  if (file_ == raw::kNoFile) return;
  try {
    Close();
  } catch (const FileError&) {
    // A writer left open is one whose owner already failed and reports that failure.
  }
}

void TextWriter::WriteLine(std::string_view line) {
  if (file_ == raw::kNoFile) throw FileError(FileError::Kind::kOther, path_, "file is closed");
  size_ += line.size() + 2;
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
  raw::Write(file_, buf_.data(), buf_.size(), path_);
  buf_.clear();
}

void TextWriter::Close() {
  if (file_ == raw::kNoFile) return;
  std::exception_ptr failure;
  try {
    Flush();
  } catch (const FileError&) {
    failure = std::current_exception();
  }
  const raw::Handle file = file_;
  file_ = raw::kNoFile;
  if (failure) {
    raw::CloseQuietly(file);
    std::rethrow_exception(failure);
  }
  raw::Close(file, path_);
}

void TextWriter::Discard() noexcept {
  if (file_ != raw::kNoFile) raw::CloseQuietly(file_);
  file_ = raw::kNoFile;
  buf_.clear();
  try {
    files_->RemoveFile(path_);
  } catch (const std::exception&) {
    // What cannot be removed stays; the caller reports the failure that led here.
  }
}

}  // namespace platform
