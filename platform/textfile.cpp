#include "platform/textfile.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "platform/faults.h"
#include "platform/file_error.h"

namespace platform {
namespace {

// The first CR or LF in [begin, stop), or stop.
const char* LineEnd(const char* begin, const char* stop) {
  const void* cr = std::memchr(begin, '\r', static_cast<std::size_t>(stop - begin));
  const char* limit = cr != nullptr ? static_cast<const char*>(cr) : stop;
  const void* lf = std::memchr(begin, '\n', static_cast<std::size_t>(limit - begin));
  return lf != nullptr ? static_cast<const char*>(lf) : limit;
}

}  // namespace

using faults::Op;

TextReader::TextReader(Files& files, std::string_view winPath, Links links)
    : path_(files.AbsoluteWinPath(winPath)), buf_(TakeBlock()) {
  Fault(Op::kOpen, path_);
  std::optional<FileError> failure;
  file_ = files.drive().OpenRead(path_, links, &failure);
  if (!file_) throw *failure;
}

TextReader::TextReader(std::unique_ptr<OpenFile> file, std::string path)
    : file_(std::move(file)), path_(std::move(path)), buf_(TakeBlock()) {}

std::optional<TextReader> TextReader::TryOpen(Files& files, std::string_view winPath, Links links) {
  std::string path = files.AbsoluteWinPath(winPath);
  try {
    Fault(Op::kOpen, path);
  } catch (const FileError&) {
    return std::nullopt;
  }
  std::unique_ptr<OpenFile> file = files.drive().OpenRead(path, links, nullptr);
  if (!file) return std::nullopt;
  return TextReader(std::move(file), std::move(path));
}

bool TextReader::Fill() {
  if (!file_) throw FileError(FileError::Kind::kOther, path_, "file is closed");
  pos_ = 0;
  end_ = 0;
  Fault(Op::kRead, path_);
  end_ = FileError::Naming(path_, [&] { return file_->Read(buf_.get(), kBlockSize); });
  read_ += end_;
  return end_ > 0;
}

void TextReader::Skip(std::uint64_t bytes) {
  char last = 0;
  while (bytes > 0) {
    if (!More()) return;
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(bytes, end_ - pos_));
    pos_ += n;
    bytes -= n;
    last = buf_[pos_ - 1];
  }
  if (last == '\r') PassLf();
}

bool TextReader::AtEnd() { return partial_.empty() && !More(); }

std::string TextReader::ReadLine() {
  if (AtEnd()) throw FileError(FileError::Kind::kOther, path_, "input past end of file");
  std::string line;
  NextLineInFile(line, false);
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

bool TextReader::ReadWholeLine(std::string& line) { return NextLineInFile(line, true); }

bool TextReader::NextLineInFile(std::string& line, bool whole) {
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
      const bool cr = *eol == '\r';  // before a Fill puts other bytes where it points
      const bool more = More();
      // A CR last in the file may be the first half of a CR LF still being written.
      if (whole && cr && !more) return ReadAgainLater(partial_.size() + 1);
      if (cr && more && buf_[pos_] == '\n') ++pos_;
      line.clear();
      line.swap(partial_);
      return true;
    }
    if (Fill()) continue;
    if (partial_.empty()) return false;
    if (!whole) {
      line.clear();
      line.swap(partial_);  // the last line, without a line end
      return true;
    }
    return ReadAgainLater(partial_.size());
  }
}

// What is past the last line end is read again next time, not kept: a network file system
// may show a file grown before the bytes written are in it, as zeros.
bool TextReader::ReadAgainLater(std::size_t bytes) {
  const std::uint64_t at = read_ - bytes;
  FileError::Naming(path_, [&] { file_->Seek(at); });
  read_ = at;
  partial_.clear();
  return false;
}

// A line goes on in pieces as it is read, never held whole: a bulletin's line may be of any
// length.
void TextReader::CopyRestTo(TextWriter& out) {
  bool inLine = !partial_.empty();
  out.Buffer(partial_);
  partial_.clear();
  while (More()) {
    const char* begin = buf_.get() + pos_;
    const char* eol = LineEnd(begin, buf_.get() + end_);
    const auto piece = static_cast<std::size_t>(eol - begin);
    out.Buffer(std::string_view(begin, piece));
    pos_ += piece;
    inLine = inLine || piece > 0;
    if (pos_ == end_) continue;
    ++pos_;
    if (*eol == '\r') PassLf();
    out.Buffer("\r\n");
    inLine = false;
  }
  if (inLine) out.Buffer("\r\n");  // the last line, without a line end
}

bool TextReader::NamedBy(Files& files, const std::string& winPath) const {
  return file_ && files.drive().Names(files.AbsoluteWinPath(winPath), *file_);
}

bool TextReader::AwaitAlone(Files& files, Files::Look look, std::chrono::milliseconds limit) const {
  Fault(Op::kStat, path_);
  return files.drive().AwaitAlone(path_, file_.get(), look, limit);
}

void TextReader::Close() { file_.reset(); }

TextWriter::TextWriter(Files& files, std::string_view winPath, platform::Create how)
    : files_(&files), path_(files.AbsoluteWinPath(winPath)) {
  Fault(Op::kCreate, path_);
  file_ = files.drive().OpenWrite(path_, how);
  buf_ = TakeText();
}

TextWriter TextWriter::Create(Files& files, std::string_view winPath) {
  return TextWriter(files, winPath, Create::kEmpty);
}

TextWriter TextWriter::Append(Files& files, std::string_view winPath) {
  return TextWriter(files, winPath, Create::kAppend);
}

TextWriter::~TextWriter() {
  try {
    Close();
  } catch (const FileError&) {
    // A writer left open is one whose owner already failed and reports that failure.
  }
  KeepText(buf_);
}

void TextWriter::WriteLine(std::string_view line) {
  Buffer(line);
  Buffer("\r\n");
}

void TextWriter::Buffer(std::string_view bytes) {
  if (!file_) throw FileError(FileError::Kind::kOther, path_, "file is closed");
  size_ += bytes.size();
  if (buf_.size() + bytes.size() > kBlockSize) Flush();
  if (bytes.size() > kBlockSize) {
    Put(bytes);  // more than the buffer holds goes to the file as it is, never copied
  } else {
    buf_.append(bytes);
  }
}

void TextWriter::Flush() {
  Put(buf_);
  buf_.clear();
}

void TextWriter::Put(std::string_view bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    Fault(Op::kWrite, path_);
    done += FileError::Naming(
        path_, [&] { return file_->Write(bytes.data() + done, bytes.size() - done); });
  }
}

void TextWriter::Close() {
  if (!file_) return;
  // Closed all the same when writing or closing fails: the caller reports that failure.
  struct Drop {
    std::unique_ptr<OpenFile>& file;
    ~Drop() { file.reset(); }
  } drop{file_};
  Flush();
  Fault(Op::kClose, path_);
  FileError::Naming(path_, [&] { file_->Close(); });
}

void TextWriter::Discard() noexcept {
  file_.reset();
  buf_.clear();
  try {
    files_->RemoveFile(path_);
  } catch (const std::exception&) {
    // What cannot be removed stays; the caller reports the failure that led here.
  }
}

}  // namespace platform
