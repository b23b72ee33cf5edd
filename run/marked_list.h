#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/textfile.h"

// Winpack's list of marked bulletins: a line per bulletin, its first six characters the
// bulletin's number, the rest Winpack's. A run changes a line only by its K mark.
namespace run {

/// The bulletin number of a marked line: its first six characters.
std::string MarkedNumOf(const std::string& line);

/// The bulletin file of a number: `C:\Winpack\Bulls\<last character>\<number>.TXT`.
std::string BulletinPath(const std::string& markedNum);

/// Whether a number names a file of its subfolder: one with a path separator, or one that
/// is `.` or `..`, would reach into other folders and is a bulletin that cannot be opened.
bool NamesOneFile(const std::string& markedNum);

/// The marked line with its K mark: "K" right after the first comma; ",K" appended to a
/// line without a comma. Every other character stays.
std::string KMark(const std::string& line);

/// Whether the line carries the K mark of an earlier run.
bool IsKMarked(const std::string& line);

/// Reads the next line of a list another program may be appending to: a last line without
/// its line end is given a moment to be finished, and taken as it is only if it stays so.
/// False at the end of the list.
bool NextLine(platform::TextReader& list, std::string& line);

/// The new list as it is written: lines wait here while a bulletin of theirs is on its way,
/// so each leaves with its K mark or without, never ahead of its bulletin.
class NewList {
 public:
  explicit NewList(platform::TextWriter out) : out_(std::move(out)) {}

  /// Holds a line back; returns its index, by which it can be marked until written.
  std::size_t Hold(std::string line);
  /// Gives a held line its K mark; false when it had one.
  bool Mark(std::size_t index);
  /// Writes every line held. Lines are written in the order they were held.
  void WriteHeld();
  std::size_t held() const { return held_.size(); }
  platform::TextWriter& out() { return out_; }

 private:
  platform::TextWriter out_;
  std::vector<std::string> held_;
  std::size_t first_ = 0;  // index of held_[0]
};

}  // namespace run
