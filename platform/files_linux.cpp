#include "platform/files_linux.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/codepage.h"
#include "platform/faults.h"
#include "platform/file_error.h"

namespace platform {

using Impl = Files::Impl;

// False when there is no such folder. Throws when it exists but cannot be listed: a name
// that cannot be looked up must not be taken for a free one.
bool Impl::ReadListing(const std::string& hostDir, DirIndex& index) {
  const bool injected = Injected(faults::Op::kList);
  DIR* dir = injected ? nullptr : opendir(hostDir.c_str());
  if (dir == nullptr && !injected && (errno == ENOENT || errno == ENOTDIR)) return false;
  if (dir == nullptr) throw FileError::FromErrno(errno, hostDir);
  std::vector<std::string> names;
  while (const dirent* e = readdir(dir)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
      names.emplace_back(e->d_name);
    }
  }
  closedir(dir);
  index.byFolded.clear();
  index.byFolded.reserve(names.size());
  for (std::string& name : names) {
    Entry& entry = index.byFolded[FoldedName(name)];
    // Of names that differ only in case, the first in sorted order is the one found.
    if (entry.count++ == 0 || name < entry.name) entry.name = std::move(name);
  }
  return true;
}

const Impl::DirIndex* Impl::Listing(const std::string& hostDir) {
  if (auto found = listings.find(hostDir); found != listings.end()) return &found->second;
  DirIndex fresh;
  if (!ReadListing(hostDir, fresh)) return nullptr;
  return &(listings[hostDir] = std::move(fresh));
}

// Finds one name in a host folder: the exact name, else the first case-insensitive match.
// Sets `host` to the path found, or to the exact name when there is none (for a file about
// to be made), and tells whether one was found. A folder already listed is answered from
// its listing alone.
bool Impl::Lookup(const std::string& hostDir, const std::string& utf8Name, std::string& host,
                  bool exactIsMissing) {
  host = hostDir + "/" + utf8Name;
  struct stat st {};
  const bool listed = listings.count(hostDir) != 0;
  if (!listed && !exactIsMissing && lstat(host.c_str(), &st) == 0) return true;
  const DirIndex* index = Listing(hostDir);
  if (index == nullptr) return false;
  auto it = index->byFolded.find(FoldedName(utf8Name));
  if (it == index->byFolded.end()) return false;
  // Of several spellings the exact one wins; the listing keeps only the first.
  if (it->second.count > 1 && !exactIsMissing && lstat(host.c_str(), &st) == 0) return true;
  host = hostDir + "/" + it->second.name;
  return true;
}

namespace {

[[noreturn]] void Unmappable(std::string_view winPath) {
  throw FileError(FileError::Kind::kNotFound, std::string(winPath),
                  "not a name of a file of drive C:");
}

// The components after the drive, each checked to stay a single host name.
std::vector<std::string> Components(const std::string& absPath) {
  if (absPath.size() < 2 || UpperChar(absPath[0]) != 'C' || absPath[1] != ':') Unmappable(absPath);
  std::vector<std::string> parts;
  std::size_t start = 3;
  while (start <= absPath.size()) {
    std::size_t end = absPath.find('\\', start);
    if (end == std::string::npos) end = absPath.size();
    std::string part = absPath.substr(start, end - start);
    if (part.empty() || part == "." || part == ".." || part.find('/') != std::string::npos ||
        part.find('\0') != std::string::npos) {
      Unmappable(absPath);
    }
    parts.push_back(std::move(part));
    start = end + 1;
  }
  return parts;
}

// Drops trailing backslashes but keeps the one of the drive root.
std::string Trimmed(std::string path) {
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

// Folders once found are not looked up again: a run names thousands of files in a handful of
// folders.
std::string FolderKey(const std::string& root, const std::string& abs, std::size_t end) {
  return root + '|' + UpperCase(abs.substr(0, end));
}

// Windows' name for errors, whatever went wrong inside the lookup.
template <typename F>
auto WithWinName(const std::string& abs, F&& f) {
  try {
    return f();
  } catch (const FileError& e) {
    throw FileError(e.kind(), abs, e.reason());
  }
}

bool IsDriveRoot(const std::string& abs) {
  if (abs.size() < 2 || UpperChar(abs[0]) != 'C' || abs[1] != ':') Unmappable(abs);
  return abs.size() <= 3;
}

// A failed look is not an answer: the caller must not take a name for free.
[[noreturn]] void ProbeFailed(const std::string& abs) { throw FileError::FromErrno(errno, abs); }

}  // namespace

std::string DriveRoot() {
  const char* prefix = std::getenv("WINEPREFIX");
  if (prefix != nullptr && *prefix != '\0') return std::string(prefix) + "/drive_c";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.wine/drive_c";
}

std::string Impl::Absolute(std::string_view winPath) const {
  if (winPath.size() >= 2 && winPath[1] == ':') return Trimmed(std::string(winPath));
  if (!winPath.empty() && winPath[0] == '\\') return Trimmed("C:" + std::string(winPath));
  return Trimmed(curDir + (curDir.back() == '\\' ? "" : "\\") + std::string(winPath));
}

Impl::Resolved Impl::Resolve(const std::string& abs) {
  const std::vector<std::string> parts = Components(abs);
  const std::string root = DriveRoot();
  Resolved r;
  r.leaf = Cp1252ToUtf8(parts.back());
  const std::size_t dirEnd = abs.rfind('\\');
  if (auto it = foundDirs.find(FolderKey(root, abs, dirEnd)); it != foundDirs.end()) {
    r.dir = it->second;
    return r;
  }
  r.dir = root;
  std::size_t end = 2;  // after "C:"
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    end += 1 + parts[i].size();
    const std::string key = FolderKey(root, abs, end);
    if (auto it = foundDirs.find(key); it != foundDirs.end()) {
      r.dir = it->second;
      continue;
    }
    std::string next;
    r.dirFound = r.dirFound && Lookup(r.dir, Cp1252ToUtf8(parts[i]), next);
    r.dir = std::move(next);
    struct stat st {};
    if (r.dirFound && stat(r.dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      foundDirs[key] = r.dir;
    } else {
      r.dirFound = false;
    }
  }
  return r;
}

const std::string* Impl::KnownFolder(const std::string& abs) {
  auto it = foundDirs.find(FolderKey(DriveRoot(), abs, abs.size()));
  return it == foundDirs.end() ? nullptr : &it->second;
}

std::string Impl::HostPath(std::string_view winPath) {
  const std::string abs = Absolute(winPath);
  if (IsDriveRoot(abs)) return DriveRoot();
  return WithWinName(abs, [&] {
    const Resolved r = Resolve(abs);
    std::string host = r.path();
    if (r.dirFound) Lookup(r.dir, r.leaf, host);
    return host;
  });
}

int Impl::OpenExisting(std::string_view winPath, int flags, std::string* hostPath) {
  const std::string abs = Absolute(winPath);
  return WithWinName(abs, [&] {
    const Resolved r = Resolve(abs);
    *hostPath = r.path();
    if (Injected(faults::Op::kOpen)) return -1;
    if (!r.dirFound) {
      errno = ENOENT;
      return -1;
    }
    // The exact name first: it is what Winpack wrote, and costs one call.
    const int fd = open(hostPath->c_str(), flags);
    if (fd >= 0 || errno != ENOENT) return fd;
    if (!Lookup(r.dir, r.leaf, *hostPath, true)) {
      errno = ENOENT;
      return -1;
    }
    return open(hostPath->c_str(), flags);
  });
}

Impl::DirIndex* Impl::RememberedListing(const std::string& hostPath, std::string& name) {
  const std::size_t slash = hostPath.rfind('/');
  auto it = listings.find(hostPath.substr(0, slash));
  if (it == listings.end()) return nullptr;
  name = hostPath.substr(slash + 1);
  return &it->second;
}

void Impl::NoteCreated(const std::string& hostPath) {
  std::string name;
  DirIndex* index = RememberedListing(hostPath, name);
  if (index == nullptr) return;
  Entry& entry = index->byFolded[FoldedName(name)];
  if (entry.count++ == 0 || name < entry.name) entry.name = name;
}

void Impl::NoteRemoved(const std::string& hostPath) {
  std::string name;
  DirIndex* index = RememberedListing(hostPath, name);
  if (index == nullptr) return;
  auto it = index->byFolded.find(FoldedName(name));
  if (it == index->byFolded.end()) return;
  if (it->second.count == 1) {
    index->byFolded.erase(it);
  } else {
    // Another spelling of the name remains; which one comes first is known only from the disk.
    listings.erase(hostPath.substr(0, hostPath.rfind('/')));
  }
}

Files::Files() : impl_(std::make_unique<Impl>()) {}
Files::~Files() = default;

std::string Files::AbsoluteWinPath(std::string_view winPath) const {
  return impl_->Absolute(winPath);
}

std::string Files::HostPath(std::string_view winPath) { return impl_->HostPath(winPath); }

void Files::ChDir(std::string_view winPath) {
  std::string abs = impl_->Absolute(winPath);
  if (impl_->KnownFolder(abs) == nullptr) {
    const std::string host = impl_->HostPath(abs);
    struct stat st {};
    if (stat(host.c_str(), &st) != 0) throw FileError::FromErrno(errno, abs);
    if (!S_ISDIR(st.st_mode)) throw FileError::FromErrno(ENOTDIR, abs);
    impl_->foundDirs[FolderKey(DriveRoot(), abs, abs.size())] = host;
  }
  impl_->curDir = std::move(abs);
}

const std::string& Files::CurDir() const { return impl_->curDir; }

bool Files::EntryExists(std::string_view winPath) {
  const std::string abs = impl_->Absolute(winPath);
  if (IsDriveRoot(abs) || impl_->KnownFolder(abs) != nullptr) return true;
  if (Injected(faults::Op::kStat)) ProbeFailed(abs);
  return WithWinName(abs, [&] {
    const Impl::Resolved r = impl_->Resolve(abs);
    std::string host;
    return r.dirFound && impl_->Lookup(r.dir, r.leaf, host);
  });
}

bool Files::IsDirectory(std::string_view winPath) {
  const std::string abs = impl_->Absolute(winPath);
  if (impl_->KnownFolder(abs) != nullptr) return true;
  if (Injected(faults::Op::kStat)) ProbeFailed(abs);
  struct stat st {};
  if (stat(impl_->HostPath(abs).c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (errno == ENOENT || errno == ENOTDIR) return false;
  ProbeFailed(abs);
}

void Files::MakeDir(std::string_view winPath) {
  const std::string host = impl_->HostPath(winPath);
  if (Injected(faults::Op::kMakeDir) || mkdir(host.c_str(), 0777) != 0)
    throw FileError::FromErrno(errno, impl_->Absolute(winPath));
  impl_->NoteCreated(host);
}

void Files::RemoveFile(std::string_view winPath) {
  const std::string host = impl_->HostPath(winPath);
  if (Injected(faults::Op::kRemove) || unlink(host.c_str()) != 0)
    throw FileError::FromErrno(errno, impl_->Absolute(winPath));
  impl_->NoteRemoved(host);
}

void Files::ReplaceFile(std::string_view from, std::string_view to) {
  const std::string hostFrom = impl_->HostPath(from);
  const std::string hostTo = impl_->HostPath(to);
  if (Injected(faults::Op::kRename) || rename(hostFrom.c_str(), hostTo.c_str()) != 0) {
    throw FileError::FromErrno(errno, impl_->Absolute(to));
  }
  impl_->NoteRemoved(hostFrom);
  impl_->NoteCreated(hostTo);
  const std::string dir = hostTo.substr(0, hostTo.rfind('/'));
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) throw FileError::FromErrno(errno, impl_->Absolute(to));
  const int synced = Injected(faults::Op::kSync) ? -1 : fsync(fd);
  const int err = errno;
  close(fd);
  if (synced != 0) throw FileError::FromErrno(err, impl_->Absolute(to));
}

}  // namespace platform
