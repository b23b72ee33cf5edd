#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/spare_blocks.h"

// Sequential 8-bit text files. A line read ends at CR LF, LF or CR, and a last line without
// a line end is a line too; every line written ends in CR LF. The bytes of a line pass
// through unchanged. Paths are Windows paths found through the run's Files. Every failure
// throws FileError naming the Windows path.
namespace platform {

class TextWriter;

class TextReader {
 public:
  using Links = platform::Links;

  /// Opens an ordinary file for reading; a folder, a pipe or a device is refused (and never
  /// waited on), and with Links::kRefuse so is a symbolic link.
  TextReader(Files& files, std::string_view winPath, Links links = Links::kFollow);
  /// The same, for a file that may well be missing: nothing when it cannot be opened.
  static std::optional<TextReader> TryOpen(Files& files, std::string_view winPath,
                                           Links links = Links::kFollow);
  TextReader(TextReader&& other) noexcept = default;
  TextReader& operator=(TextReader&&) = delete;
  ~TextReader() = default;

  bool AtEnd();
  /// Reads the next line; reading past the end is an error.
  std::string ReadLine();
  /// The next line, or an empty one at the end of the file.
  std::string ReadLineOrEmpty();
  /// Reads the next line only when it is whole: false at the end of the file and while what
  /// is left has no line end yet (another program may be writing it); that part is read
  /// again from the file next time.
  bool ReadWholeLine(std::string& line);
  /// Writes every line not yet read to `out`.
  void CopyRestTo(TextWriter& out);
  /// The bytes of the file that the lines read so far took, their line ends included.
  std::uint64_t Consumed() const { return read_ - (end_ - pos_) - partial_.size(); }
  /// Passes over the first `bytes` bytes of the file, which a reader of it consumed before
  /// (Consumed), and the LF that ends a line there at a CR.
  void Skip(std::uint64_t bytes);
  void Close();
  const std::string& path() const { return path_; }
  /// Whether the file's path still names this file, rather than one put in its place since
  /// it was opened.
  bool StillNamed(Files& files) const { return NamedBy(files, path_); }
  /// Whether the path names this file.
  bool NamedBy(Files& files, const std::string& winPath) const;
  /// Waits until no program but this one has the file open (Files::AwaitAlone).
  bool AwaitAlone(Files& files, Files::Look look, std::chrono::milliseconds limit) const;

 private:
  TextReader(std::unique_ptr<OpenFile> file, std::string path);
  bool Fill();
  /// Whether a byte is left to read, refilling the buffer when it is used up.
  bool More() { return pos_ < end_ || Fill(); }
  /// Passes over an LF next, the second half of a CR LF.
  void PassLf() {
    if (More() && buf_[pos_] == '\n') ++pos_;
  }
  /// The next line; at the end of the file, one without a line end unless `whole`.
  bool NextLineInFile(std::string& line, bool whole);
  bool ReadAgainLater(std::size_t bytes);
  /// The next line when it stands whole in the buffer, as a view valid until the next read.
  bool LineInBuffer(std::string_view& line);

  std::unique_ptr<OpenFile> file_;
  std::string path_;
  Block buf_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  std::uint64_t read_ = 0;  // bytes of the file read into the buffer so far
  std::string partial_;     // the start of a line whose end is not yet in the file
};

class TextWriter {
 public:
  /// Creates the file, or empties it when it exists.
  static TextWriter Create(Files& files, std::string_view winPath);
  /// Opens the file to write at its end, creating it when missing.
  static TextWriter Append(Files& files, std::string_view winPath);

  TextWriter(TextWriter&& other) noexcept = default;
  TextWriter& operator=(TextWriter&&) = delete;
  ~TextWriter();

  void WriteLine(std::string_view line);
  /// The bytes written so far, buffered ones included.
  std::uint64_t size() const { return size_; }
  /// Writes what is buffered to the file (durable only after a sync or Files::Flush).
  void Flush();
  void Close();
  /// Closes and removes the file, for a copy that could not be completed. Never throws.
  void Discard() noexcept;
  const std::string& path() const { return path_; }

 private:
  friend class TextReader;  // copies lines in pieces

  TextWriter(Files& files, std::string_view winPath, platform::Create how);
  /// Bytes written through the buffer, as they are.
  void Buffer(std::string_view bytes);
  void Put(std::string_view bytes);

  Files* files_;
  std::unique_ptr<OpenFile> file_;
  std::string path_;
  std::string buf_;
  std::uint64_t size_ = 0;
};

}  // namespace platform
