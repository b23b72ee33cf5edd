#include "platform/files_linux.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/codepage.h"
#include "platform/faults.h"
#include "platform/file_error.h"
#include "platform/winpath.h"
#include "platform/wording.h"

namespace platform {
namespace {

// Folders once found are not looked up again: a run names thousands of files in a handful of
// folders.
std::string FolderKey(const std::string& abs, std::size_t end) {
  return UpperCase(std::string_view(abs).substr(0, end));
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
  return abs.size() == 3 && UpperChar(abs[0]) == 'C' && abs[1] == ':' && abs[2] == '\\';
}

// A link to a folder is the folder: the operator may keep a part of Winpack's tree (the
// archive, say) on another disk. Names that come from data are single names, checked by
// the run, so no link is reached through them that Winpack's tree does not hold.
bool IsFolder(const std::string& host) {
  struct stat st {};
  return stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string DriveRoot() {
  const char* prefix = std::getenv("WINEPREFIX");
  if (prefix != nullptr && *prefix != '\0') return std::string(prefix) + "/drive_c";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.wine/drive_c";
}

std::string WinNameOfHost(const std::string& host) {
  const std::string root = DriveRoot();
  if (host.compare(0, root.size(), root) != 0) return host;
  std::string win = "C:" + Utf8ToAnsi(host.substr(root.size()));
  std::replace(win.begin(), win.end(), '/', '\\');
  return win.size() == 2 ? "C:\\" : win;
}

DriveView::Resolved DriveView::Resolve(const std::string& abs) {
  Resolved r;
  // A folder found before was a valid path then: only the last name is left to check.
  const std::size_t dirEnd = abs.rfind('\\');
  if (dirEnd != std::string::npos && dirEnd > 2) {
    auto it = foundDirs.find(FolderKey(abs, dirEnd));
    const std::string_view leaf = std::string_view(abs).substr(dirEnd + 1);
    if (it != foundDirs.end() && winpath::IsOneName(leaf)) {
      r.dir = it->second;
      r.leaf = AnsiToUtf8(leaf);
      return r;
    }
  }
  const std::vector<std::string> parts = winpath::Components(abs);
  r.leaf = AnsiToUtf8(parts.back());
  r.dir = root;
  std::size_t end = 2;  // after "C:"
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    end += 1 + parts[i].size();
    const std::string key = FolderKey(abs, end);
    if (auto it = foundDirs.find(key); it != foundDirs.end()) {
      r.dir = it->second;
      continue;
    }
    // Below a folder that is not there the names stay as written, so that the host path
    // names nothing outside the drive.
    std::string next = r.dir + "/" + AnsiToUtf8(parts[i]);
    r.dirFound = r.dirFound && names.Lookup(r.dir, AnsiToUtf8(parts[i]), next);
    r.dir = std::move(next);
    if (r.dirFound && IsFolder(r.dir)) {
      foundDirs[key] = r.dir;
    } else {
      r.dirFound = false;
    }
  }
  return r;
}

const std::string* DriveView::KnownFolder(const std::string& abs) {
  auto it = foundDirs.find(FolderKey(abs, abs.size()));
  return it == foundDirs.end() ? nullptr : &it->second;
}

std::string DriveView::HostPath(const std::string& abs) {
  if (IsDriveRoot(abs)) return root;
  return WithWinName(abs, [&] {
    const Resolved r = Resolve(abs);
    std::string host = r.path();
    if (r.dirFound) names.Lookup(r.dir, r.leaf, host);
    return host;
  });
}

int DriveView::OpenExisting(const std::string& abs, int flags) {
  return WithWinName(abs, [&] {
    const Resolved r = Resolve(abs);
    std::string host = r.path();
    Fault(faults::Op::kOpen, abs);
    if (!r.dirFound) {
      errno = ENOENT;
      return -1;
    }
    // The exact name first: it is what Winpack wrote, and costs one call.
    const int fd = open(host.c_str(), flags);
    if (fd >= 0) names.NotePresent(host);
    if (fd >= 0 || errno != ENOENT) return fd;
    if (!names.Lookup(r.dir, r.leaf, host, true)) {
      errno = ENOENT;
      return -1;
    }
    return open(host.c_str(), flags);
  });
}

void DriveView::NoteCreated(const std::string& hostPath) {
  dirtyDirs.insert(hostPath.substr(0, hostPath.rfind('/')));
  names.NoteCreated(hostPath);
}

void DriveView::NoteRemoved(const std::string& hostPath) {
  dirtyDirs.insert(hostPath.substr(0, hostPath.rfind('/')));
  names.NoteRemoved(hostPath);
}

// One syncfs per file system: a run changes thousands of files in a handful of folders,
// and a sync of each would cost a commit of the file system's journal apiece.
void DriveView::Flush() {
  std::vector<dev_t> synced;
  // The drive's own file system always: what an interrupted run left there may not be on
  // disk yet when this run builds on it.
  dirtyDirs.insert(root);
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
    try {
      Fault(faults::Op::kSync, WinNameOfHost(dir));
    } catch (const FileError&) {
      close(fd);
      throw;
    }
    const int done = syncfs(fd);
    const int err = errno;
    close(fd);
    if (done != 0) throw FileError::FromErrno(err, WinNameOfHost(dir));
    synced.push_back(st.st_dev);
  }
  dirtyDirs.clear();
}

Files::Files() : view_(std::make_unique<DriveView>()) {}
Files::~Files() { Unlock(); }

std::string Files::AbsoluteWinPath(std::string_view winPath) const {
  return winpath::Absolute(winPath);
}

std::string Files::HostPath(std::string_view winPath) {
  return view_->HostPath(AbsoluteWinPath(winPath));
}

bool Files::EntryExists(std::string_view winPath) {
  const std::string abs = AbsoluteWinPath(winPath);
  if (IsDriveRoot(abs) || view_->KnownFolder(abs) != nullptr) return true;
  Fault(faults::Op::kStat, abs);
  return WithWinName(abs, [&] {
    const DriveView::Resolved r = view_->Resolve(abs);
    std::string host;
    return r.dirFound && view_->names.Lookup(r.dir, r.leaf, host);
  });
}

bool Files::IsDirectory(std::string_view winPath) {
  const std::string abs = AbsoluteWinPath(winPath);
  if (view_->KnownFolder(abs) != nullptr) return true;
  Fault(faults::Op::kStat, abs);
  const std::string host = view_->HostPath(abs);
  struct stat st {};
  if (stat(host.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP) return false;
  throw FileError::FromErrno(errno, abs);
}

void Files::MakeDir(std::string_view winPath) {
  const std::string abs = AbsoluteWinPath(winPath);
  const std::string host = view_->HostPath(abs);
  Fault(faults::Op::kMakeDir, abs);
  if (mkdir(host.c_str(), 0777) != 0) throw FileError::FromErrno(errno, abs);
  view_->NoteCreated(host);
}

void Files::RemoveFile(std::string_view winPath) {
  const std::string abs = AbsoluteWinPath(winPath);
  const std::string host = view_->HostPath(abs);
  Fault(faults::Op::kRemove, abs);
  if (unlink(host.c_str()) != 0) throw FileError::FromErrno(errno, abs);
  view_->NoteRemoved(host);
}

void Files::RemoveDir(std::string_view winPath) {
  const std::string abs = AbsoluteWinPath(winPath);
  const std::string host = view_->HostPath(abs);
  Fault(faults::Op::kRemove, abs);
  if (rmdir(host.c_str()) != 0) throw FileError::FromErrno(errno, abs);
  view_->NoteRemoved(host);
  for (auto it = view_->foundDirs.begin(); it != view_->foundDirs.end();) {
    it = it->second == host || it->second.rfind(host + "/", 0) == 0 ? view_->foundDirs.erase(it)
                                                                    : std::next(it);
  }
  view_->names.Forget(host);
}

namespace {

// The host path of a name a file is to get: as written, or the spelling already there; the
// fault seam counts it as a rename, or as a creation for a second name.
std::string HostOfNewName(DriveView& view, const std::string& abs,
                          faults::Op op = faults::Op::kRename) {
  const DriveView::Resolved r = WithWinName(abs, [&] { return view.Resolve(abs); });
  if (!r.dirFound) throw FileError::FromErrno(ENOENT, abs);
  Fault(op, abs);
  return r.path();
}

}  // namespace

void Files::ReplaceFile(std::string_view from, std::string_view to) {
  const std::string absTo = AbsoluteWinPath(to);
  const std::string hostFrom = HostPath(from);
  const std::string hostTo = view_->HostPath(absTo);
  Fault(faults::Op::kRename, absTo);
  if (rename(hostFrom.c_str(), hostTo.c_str()) != 0) throw FileError::FromErrno(errno, absTo);
  view_->NoteRemoved(hostFrom);
  view_->NoteCreated(hostTo);
}

bool Files::RenameNew(std::string_view from, std::string_view to) {
  const std::string hostFrom = HostPath(from);
  const std::string abs = AbsoluteWinPath(to);
  const std::string hostTo = HostOfNewName(*view_, abs);
  if (renameat2(AT_FDCWD, hostFrom.c_str(), AT_FDCWD, hostTo.c_str(), RENAME_NOREPLACE) != 0) {
    if (errno == EEXIST) return false;
    // A file system without the atomic no-replace rename: a hard link fails on an existing
    // name just as well.
    if (errno != EINVAL && errno != ENOSYS) throw FileError::FromErrno(errno, abs);
    if (link(hostFrom.c_str(), hostTo.c_str()) != 0) {
      if (errno == EEXIST) return false;
      throw FileError::FromErrno(errno, abs);
    }
    if (unlink(hostFrom.c_str()) != 0) throw FileError::FromErrno(errno, AbsoluteWinPath(from));
  }
  view_->NoteRemoved(hostFrom);
  view_->NoteCreated(hostTo);
  return true;
}

bool Files::LinkNew(std::string_view existing, std::string_view name) {
  const std::string hostFrom = HostPath(existing);
  const std::string abs = AbsoluteWinPath(name);
  const std::string hostTo = HostOfNewName(*view_, abs, faults::Op::kCreate);
  if (link(hostFrom.c_str(), hostTo.c_str()) != 0) {
    if (errno == EEXIST || errno == EPERM || errno == EOPNOTSUPP || errno == EMLINK) return false;
    throw FileError::FromErrno(errno, abs);
  }
  view_->NoteCreated(hostTo);
  return true;
}

std::vector<std::string> Files::FileNames(std::string_view folder) {
  const std::string abs = AbsoluteWinPath(folder);
  std::vector<std::string> found;
  if (!IsDirectory(abs)) return found;
  const std::string host = view_->HostPath(abs);
  Fault(faults::Op::kList, abs);
  DIR* dir = opendir(host.c_str());
  if (dir == nullptr) throw FileError::FromErrno(errno, abs);
  while (const dirent* e = readdir(dir)) {
    struct stat st {};
    if (fstatat(dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)) {
      found.push_back(Utf8ToAnsi(e->d_name));
    }
  }
  closedir(dir);
  return found;
}

void Files::Flush() { view_->Flush(); }

bool NamesOpenFile(int fd, const std::string& host) {
  struct stat open {
  }, named{};
  return fstat(fd, &open) == 0 && stat(host.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
         open.st_ino == named.st_ino;
}

}  // namespace platform
