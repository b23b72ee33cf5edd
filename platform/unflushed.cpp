#include "platform/unflushed.h"

#include <algorithm>
#include <numeric>

#include "platform/codepage.h"

namespace platform {

std::string Unflushed::Folded(std::string_view path) const {
  return foldCase_ ? UpperCase(path) : std::string(path);
}

// Looked up before it is made a key: on Linux the same few folders change thousands of times
// in a run, and a path the same as its key needs no copy to be found.
void Unflushed::FolderChanged(std::string_view folder) {
  const std::string folded = foldCase_ ? UpperCase(folder) : std::string();
  const std::string_view key = foldCase_ ? std::string_view(folded) : folder;
  if (folders_.find(key) == folders_.end()) folders_.emplace(key, folder);
}

std::vector<std::string> Unflushed::Files() const {
  std::vector<std::string> keys;
  keys.reserve(files_.size());
  for (const Event& e : files_) keys.push_back(Folded(e.path));
  std::vector<std::size_t> order(files_.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
  std::vector<std::string> files;
  for (std::size_t i = 0; i < order.size(); ++i) {
    const bool last = i + 1 == order.size() || keys[order[i + 1]] != keys[order[i]];
    if (last && !files_[order[i]].removed) files.push_back(files_[order[i]].path);
  }
  return files;
}

std::vector<std::string> Unflushed::Folders() const {
  std::vector<std::string> folders;
  folders.reserve(folders_.size());
  for (const auto& [key, path] : folders_) folders.push_back(path);
  return folders;
}

}  // namespace platform
