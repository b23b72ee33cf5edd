#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// What a drive changed and has not made durable yet, in the paths its system opens: the
/// files written and the folders whose entries changed. Each system's Flush makes them durable
/// its own way (a whole file system at once, or file by file) and then forgets them. A file
/// still open for writing is the drive's to flush by its handle: it may be written after any
/// flush.
class Unflushed {
 public:
  /// `separator` parts a folder from its names; with `foldCase`, paths that differ only in
  /// letter case are one (Windows).
  Unflushed(char separator, bool foldCase) : separator_(separator), foldCase_(foldCase) {}

  /// A file or folder made, written, or given a name: what it holds and its entry.
  void Written(std::string_view path) {
    Data(path);
    Changed(path);
  }
  /// More of a file's data; its entry was noted when it was made.
  void Data(std::string_view file) { files_.push_back({std::string(file), false}); }
  /// An entry removed: its folder, and nothing is flushed by that name any more.
  void Removed(std::string_view path) {
    files_.push_back({std::string(path), true});
    Changed(path);
  }
  void Renamed(std::string_view from, std::string_view to) {
    Removed(from);
    Written(to);
  }
  /// An entry made or removed in the path's folder.
  void Changed(std::string_view path) { FolderChanged(path.substr(0, path.rfind(separator_))); }
  /// A folder whose entries changed otherwise (another program made them for this one).
  void FolderChanged(std::string_view folder);

  /// The files written that still bear their names, each once.
  std::vector<std::string> Files() const;
  /// The folders changed, each once, in the order of their paths.
  std::vector<std::string> Folders() const;
  void Clear() {
    files_.clear();
    folders_.clear();
  }

 private:
  struct Event {
    std::string path;
    bool removed;
  };

  std::string Folded(std::string_view path) const;

  char separator_;
  bool foldCase_;
  std::vector<Event> files_;  // in the order they came; the last for a name counts
  std::map<std::string, std::string, std::less<>> folders_;  // by folded path, to the path
};

}  // namespace platform
