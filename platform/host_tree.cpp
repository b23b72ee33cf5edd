#include "platform/host_tree.h"

#include <cerrno>
#include <utility>
#include <vector>

#include "platform/codepage.h"
#include "platform/file_error.h"
#include "platform/winpath.h"

namespace platform {
namespace {

// Folders once found are not looked up again: a run names thousands of files in a handful of
// folders.
std::string FolderKey(const std::string& abs, std::size_t end) {
  return UpperCase(std::string_view(abs).substr(0, end));
}

bool IsDriveRoot(const std::string& abs) {
  return abs.size() == 3 && UpperChar(abs[0]) == 'C' && abs[1] == ':' && abs[2] == '\\';
}

}  // namespace

// Windows' name for errors, whatever went wrong inside the lookup.
HostTree::Resolved HostTree::Resolve(const std::string& abs) {
  return FileError::Naming(abs, [&] {
    Resolved r;
    // A folder found before was a valid path then: only the last name is left to check.
    const std::size_t dirEnd = abs.rfind('\\');
    if (dirEnd != std::string::npos && dirEnd > 2) {
      auto it = foundDirs_.find(FolderKey(abs, dirEnd));
      const std::string_view leaf = std::string_view(abs).substr(dirEnd + 1);
      if (it != foundDirs_.end() && winpath::IsOneName(leaf)) {
        r.dir = it->second;
        r.leaf = AnsiToUtf8(leaf);
        return r;
      }
    }
    const std::vector<std::string> parts = winpath::Components(abs);
    r.leaf = AnsiToUtf8(parts.back());
    r.dir = root_;
    std::size_t end = 2;  // after "C:"
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
      end += 1 + parts[i].size();
      const std::string key = FolderKey(abs, end);
      if (auto it = foundDirs_.find(key); it != foundDirs_.end()) {
        r.dir = it->second;
        continue;
      }
      // Below a folder that is not there the names stay as written, so that the host path
      // names nothing outside the drive.
      std::string next = r.dir + "/" + AnsiToUtf8(parts[i]);
      r.dirFound = r.dirFound && names_.Lookup(r.dir, AnsiToUtf8(parts[i]), next);
      r.dir = std::move(next);
      r.dirFound = r.dirFound && host_.IsFolder(r.dir);
      if (r.dirFound) foundDirs_[key] = r.dir;
    }
    return r;
  });
}

std::string HostTree::HostPath(const std::string& abs) {
  if (IsDriveRoot(abs)) return root_;
  const Resolved r = Resolve(abs);
  std::string host = r.path();
  if (r.dirFound) FileError::Naming(abs, [&] { return names_.Lookup(r.dir, r.leaf, host); });
  return host;
}

std::string HostTree::HostOfNewName(const std::string& abs) {
  const Resolved r = Resolve(abs);
  if (!r.dirFound) throw FileError::FromErrno(ENOENT, abs);
  return r.path();
}

bool HostTree::EntryExists(const std::string& abs) {
  if (IsKnownFolder(abs)) return true;
  const Resolved r = Resolve(abs);
  std::string host;
  return r.dirFound && FileError::Naming(abs, [&] { return names_.Lookup(r.dir, r.leaf, host); });
}

bool HostTree::IsKnownFolder(const std::string& abs) const {
  return IsDriveRoot(abs) || foundDirs_.count(FolderKey(abs, abs.size())) != 0;
}

bool HostTree::OtherSpelling(const Resolved& r, std::string& host) {
  return names_.Lookup(r.dir, r.leaf, host, true);
}

void HostTree::NoteFolderRemoved(const std::string& host) {
  names_.NoteRemoved(host);
  for (auto it = foundDirs_.begin(); it != foundDirs_.end();) {
    it = it->second == host || it->second.rfind(host + "/", 0) == 0 ? foundDirs_.erase(it)
                                                                    : std::next(it);
  }
  names_.Forget(host);
}

}  // namespace platform
