#include "platform/files_linux.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>
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
namespace {

// The other spellings of an ASCII name with at most three letters (an archive name such as
// 26120701.TXT has eight in all); false for other names.
bool FewSpellings(const std::string& name, std::vector<std::string>& spellings) {
  std::vector<std::size_t> letters;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c >= 0x80) return false;
    if (std::isalpha(c) != 0) letters.push_back(i);
  }
  if (letters.size() > 3) return false;
  spellings.clear();
  for (unsigned mask = 0; mask < (1u << letters.size()); ++mask) {
    std::string spelling = name;
    for (std::size_t k = 0; k < letters.size(); ++k) {
      const char c = spelling[letters[k]];
      spelling[letters[k]] = static_cast<char>((mask >> k) & 1 ? std::tolower(c) : std::toupper(c));
    }
    if (spelling != name) spellings.push_back(std::move(spelling));
  }
  return true;
}

// A folder in which a few names are looked up is not read whole: a group folder holds
// thousands of archive files, and a run names a few of them.
constexpr int kProbesBeforeListing = 64;

}  // namespace

bool Impl::Lookup(const std::string& hostDir, const std::string& utf8Name, std::string& host,
                  bool exactIsMissing) {
  host = hostDir + "/" + utf8Name;
  struct stat st {};
  const bool listed = listings.count(hostDir) != 0;
  bool exactMissing = exactIsMissing;
  if (!listed && !exactIsMissing) {
    if (lstat(host.c_str(), &st) == 0) return true;
    exactMissing = errno == ENOENT;
  }
  std::vector<std::string> spellings;
  if (!listed && exactMissing && FewSpellings(utf8Name, spellings) &&
      ++probesUnlisted[hostDir] <= kProbesBeforeListing) {
    bool found = false, answered = true;
    std::string first;
    for (const std::string& spelling : spellings) {
      if (lstat((hostDir + "/" + spelling).c_str(), &st) == 0) {
        if (!found || spelling < first) first = spelling;
        found = true;
      } else if (errno != ENOENT) {
        answered = false;  // the folder's listing says more
      }
    }
    if (answered) {
      if (found) host = hostDir + "/" + first;
      return found;
    }
  }
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

// Whether a host path is a folder. Below C:\Winpack (from the second component of a path
// on) a link is not followed: it could lead out of Winpack's tree.
bool IsFolder(const std::string& host, std::size_t component) {
  struct stat st {};
  const int found = component == 0 ? stat(host.c_str(), &st) : lstat(host.c_str(), &st);
  return found == 0 && S_ISDIR(st.st_mode);
}

// The number of components of an absolute Windows path: "C:\Winpack" has one.
std::size_t Depth(const std::string& abs) {
  return abs.size() <= 3 ? 0 : static_cast<std::size_t>(std::count(abs.begin(), abs.end(), '\\'));
}

std::size_t LastComponent(const std::string& abs) {
  const std::size_t depth = Depth(abs);
  return depth == 0 ? 0 : depth - 1;
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
    if (r.dirFound && IsFolder(r.dir, i)) {
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
  dirtyDirs.insert(hostPath.substr(0, hostPath.rfind('/')));
  std::string name;
  DirIndex* index = RememberedListing(hostPath, name);
  if (index == nullptr) return;
  Entry& entry = index->byFolded[FoldedName(name)];
  if (entry.count++ == 0 || name < entry.name) entry.name = name;
}

void Impl::NoteRemoved(const std::string& hostPath) {
  dirtyDirs.insert(hostPath.substr(0, hostPath.rfind('/')));
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
Files::~Files() { Unlock(); }

std::string Files::AbsoluteWinPath(std::string_view winPath) const {
  return impl_->Absolute(winPath);
}

std::string Files::HostPath(std::string_view winPath) { return impl_->HostPath(winPath); }

void Files::ChDir(std::string_view winPath) {
  std::string abs = impl_->Absolute(winPath);
  if (impl_->KnownFolder(abs) == nullptr) {
    const std::string host = impl_->HostPath(abs);
    struct stat st {};
    if (lstat(host.c_str(), &st) != 0) throw FileError::FromErrno(errno, abs);
    if (!IsFolder(host, LastComponent(abs))) throw FileError::FromErrno(ENOTDIR, abs);
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
  const std::string host = impl_->HostPath(abs);
  struct stat st {};
  if (lstat(host.c_str(), &st) == 0) return IsFolder(host, LastComponent(abs));
  if (errno == ENOENT || errno == ENOTDIR) return false;
  ProbeFailed(abs);
}

void Files::MakeDir(std::string_view winPath) {
  const std::string host = impl_->HostPath(winPath);
  if (Injected(faults::Op::kMakeDir) || mkdir(host.c_str(), 0777) != 0)
    throw FileError::FromErrno(errno, impl_->Absolute(winPath));
  impl_->NoteCreated(host);
}

void Files::RemoveDir(std::string_view winPath) {
  const std::string host = impl_->HostPath(winPath);
  if (Injected(faults::Op::kRemove) || rmdir(host.c_str()) != 0)
    throw FileError::FromErrno(errno, impl_->Absolute(winPath));
  impl_->foundDirs.clear();
  impl_->NoteRemoved(host);
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
}

bool Files::RenameNew(std::string_view from, std::string_view to) {
  const std::string hostFrom = impl_->HostPath(from);
  const std::string abs = impl_->Absolute(to);
  const Impl::Resolved r = WithWinName(abs, [&] { return impl_->Resolve(abs); });
  if (!r.dirFound) throw FileError::FromErrno(ENOENT, abs);
  const std::string hostTo = r.path();
  if (Injected(faults::Op::kRename)) throw FileError::FromErrno(errno, impl_->Absolute(to));
  if (renameat2(AT_FDCWD, hostFrom.c_str(), AT_FDCWD, hostTo.c_str(), RENAME_NOREPLACE) != 0) {
    if (errno == EEXIST) return false;
    // A file system without the atomic no-replace rename: a hard link fails on an existing
    // name just as well.
    if (errno != EINVAL && errno != ENOSYS) throw FileError::FromErrno(errno, impl_->Absolute(to));
    if (link(hostFrom.c_str(), hostTo.c_str()) != 0) {
      if (errno == EEXIST) return false;
      throw FileError::FromErrno(errno, impl_->Absolute(to));
    }
    if (unlink(hostFrom.c_str()) != 0) throw FileError::FromErrno(errno, impl_->Absolute(from));
  }
  impl_->NoteRemoved(hostFrom);
  impl_->NoteCreated(hostTo);
  return true;
}

std::vector<std::string> Files::FileNames(std::string_view folder) {
  const std::string abs = impl_->Absolute(folder);
  std::vector<std::string> names;
  if (!IsDirectory(abs)) return names;
  const std::string host = impl_->HostPath(abs);
  DIR* dir = Injected(faults::Op::kList) ? nullptr : opendir(host.c_str());
  if (dir == nullptr) throw FileError::FromErrno(errno, abs);
  while (const dirent* e = readdir(dir)) {
    struct stat st {};
    if (fstatat(dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)) {
      names.push_back(Utf8ToCp1252(e->d_name));
    }
  }
  closedir(dir);
  return names;
}

namespace {

// The Windows path of a host path below the drive, for messages.
std::string WinNameOfHost(const std::string& host) {
  const std::string root = DriveRoot();
  if (host.compare(0, root.size(), root) != 0) return host;
  std::string win = "C:" + Utf8ToCp1252(host.substr(root.size()));
  std::replace(win.begin(), win.end(), '/', '\\');
  return win.size() == 2 ? "C:\\" : win;
}

}  // namespace

// One syncfs per file system: a run changes thousands of files in a handful of folders,
// and a sync of each would cost a commit of the file system's journal apiece.
void Impl::Flush() {
  std::vector<dev_t> synced;
  // The drive's own file system always: what an interrupted run left there may not be on
  // disk yet when this run builds on it.
  dirtyDirs.insert(DriveRoot());
  for (const std::string& dir : dirtyDirs) {
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) continue;  // removed since: nothing of it to keep
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0) {
      const int err = errno;
      if (fd >= 0) close(fd);
      throw FileError::FromErrno(err, WinNameOfHost(dir));
    }
    if (std::find(synced.begin(), synced.end(), st.st_dev) != synced.end()) {
      close(fd);
      continue;
    }
    const int done = Injected(faults::Op::kSync) ? -1 : syncfs(fd);
    const int err = errno;
    close(fd);
    if (done != 0) throw FileError::FromErrno(err, WinNameOfHost(dir));
    synced.push_back(st.st_dev);
  }
  dirtyDirs.clear();
}

void Files::Flush() { impl_->Flush(); }

bool Files::LockRun(std::string_view lockFile) {
  const std::string abs = impl_->Absolute(lockFile);
  for (;;) {
    const std::string host = impl_->HostPath(abs);
    const int fd = Injected(faults::Op::kCreate)
                       ? -1
                       : open(host.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) throw FileError::FromErrno(errno, abs);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int err = errno;
      close(fd);
      if (err == EWOULDBLOCK) return false;
      throw FileError::FromErrno(err, abs);
    }
    // The run before may have removed the file as it ended, after this one opened it: only
    // the file that the name holds now is the lock.
    struct stat held {
    }, named{};
    if (fstat(fd, &held) == 0 && stat(host.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino) {
      impl_->lockFd = fd;
      impl_->lockHost = host;
      impl_->NoteCreated(host);
      return true;
    }
    close(fd);
    impl_->listings.erase(host.substr(0, host.rfind('/')));
  }
}

void Files::Unlock() noexcept {
  if (impl_ == nullptr || impl_->lockFd < 0) return;
  // Removed while still held, so that no other run can take a file about to go.
  if (unlink(impl_->lockHost.c_str()) == 0) impl_->NoteRemoved(impl_->lockHost);
  close(impl_->lockFd);
  impl_->lockFd = -1;
}

}  // namespace platform
