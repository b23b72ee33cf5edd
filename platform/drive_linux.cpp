#include "platform/drive_linux.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/codepage.h"
#include "platform/file_error.h"
#include "platform/winpath.h"
#include "platform/wording.h"

namespace platform {

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

HostFolders::Entry SystemDrive::State::Has(const std::string& host) {
  struct stat st {};
  if (lstat(host.c_str(), &st) == 0) return Entry::kThere;
  return errno == ENOENT ? Entry::kNone : Entry::kUnknown;
}

bool SystemDrive::State::IsFolder(const std::string& host) {
  struct stat st {};
  return stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::vector<std::string>> SystemDrive::State::List(const std::string& hostDir) {
  DIR* dir = opendir(hostDir.c_str());
  if (dir == nullptr && (errno == ENOENT || errno == ENOTDIR)) return std::nullopt;
  if (dir == nullptr) throw FileError::FromErrno(errno, hostDir);
  std::vector<std::string> names;
  while (const dirent* e = readdir(dir)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
      names.emplace_back(e->d_name);
    }
  }
  closedir(dir);
  return names;
}

std::string SystemDrive::HostPath(const std::string& abs) { return state_->tree.HostPath(abs); }

int SystemDrive::State::OpenExisting(const std::string& abs, int flags) {
  const HostTree::Resolved r = tree.Resolve(abs);
  std::string host = r.path();
  if (!r.dirFound) {
    errno = ENOENT;
    return -1;
  }
  // The exact name first: it is what Winpack wrote, and costs one call.
  const int fd = open(host.c_str(), flags);
  if (fd >= 0) tree.NotePresent(host);
  if (fd >= 0 || errno != ENOENT) return fd;
  if (!FileError::Naming(abs, [&] { return tree.OtherSpelling(r, host); })) {
    errno = ENOENT;
    return -1;
  }
  return open(host.c_str(), flags);
}

SystemDrive::SystemDrive() : state_(std::make_unique<State>()) {}
SystemDrive::~SystemDrive() = default;

bool SystemDrive::EntryExists(const std::string& abs) { return state_->tree.EntryExists(abs); }

bool SystemDrive::IsDirectory(const std::string& abs) {
  if (state_->tree.IsKnownFolder(abs)) return true;
  struct stat st {};
  if (stat(HostPath(abs).c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP) return false;
  throw FileError::FromErrno(errno, abs);
}

void SystemDrive::MakeDir(const std::string& abs) {
  const std::string host = HostPath(abs);
  if (mkdir(host.c_str(), 0777) != 0) throw FileError::FromErrno(errno, abs);
  state_->NoteCreated(host);
}

void SystemDrive::RemoveFile(const std::string& abs) {
  const std::string host = HostPath(abs);
  if (unlink(host.c_str()) != 0) throw FileError::FromErrno(errno, abs);
  state_->NoteRemoved(host);
}

void SystemDrive::RemoveDir(const std::string& abs) {
  const std::string host = HostPath(abs);
  if (rmdir(host.c_str()) != 0) throw FileError::FromErrno(errno, abs);
  state_->unflushed.Removed(host);
  state_->tree.NoteFolderRemoved(host);
}

void SystemDrive::ReplaceFile(const std::string& from, const std::string& to) {
  const std::string hostFrom = HostPath(from);
  const std::string hostTo = HostPath(to);
  if (rename(hostFrom.c_str(), hostTo.c_str()) != 0) throw FileError::FromErrno(errno, to);
  state_->NoteRemoved(hostFrom);
  state_->NoteCreated(hostTo);
}

int RenameNoReplace(const std::string& hostFrom, const std::string& hostTo) {
  const char* const from = hostFrom.c_str();
  const char* const to = hostTo.c_str();
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system without the atomic no-replace rename: a hard link fails on an existing
  // name just as well.
  if (link(from, to) == 0) return unlink(from) == 0 ? 0 : errno;
  if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) return errno;
  // Nor hard links (FAT or a network share through FUSE): the name is looked at first. The
  // names given so are the program's own, made under the run lock, so only a program foreign
  // to the station could take one in between.
  struct stat st {};
  if (lstat(to, &st) == 0) return EEXIST;
  if (errno != ENOENT) return errno;
  return rename(from, to) == 0 ? 0 : errno;
}

bool SystemDrive::RenameNew(const std::string& from, const std::string& to) {
  const std::string hostFrom = HostPath(from);
  const std::string hostTo = state_->tree.HostOfNewName(to);
  if (const int err = RenameNoReplace(hostFrom, hostTo); err == EEXIST) {
    return false;
  } else if (err != 0) {
    throw FileError::FromErrno(err, to);
  }
  state_->NoteRemoved(hostFrom);
  state_->NoteCreated(hostTo);
  return true;
}

// FUSE may give each name of a file a kernel inode of its own (libfuse's path-based API),
// each with its own size kept for a while: lines written by one name are then missed by a
// read through the other. There the old list gets no second name; the run holds it instead.
bool SystemDrive::LinkNew(const std::string& existing, const std::string& name) {
  const std::string hostFrom = HostPath(existing);
  const std::string hostTo = state_->tree.HostOfNewName(name);
  struct statfs fs {};
  if (statfs(hostFrom.c_str(), &fs) == 0 && fs.f_type == kFuseMagic) return false;
  if (link(hostFrom.c_str(), hostTo.c_str()) != 0) {
    if (errno == EEXIST || errno == EPERM || errno == EOPNOTSUPP || errno == EMLINK) return false;
    throw FileError::FromErrno(errno, name);
  }
  state_->NoteCreated(hostTo);
  return true;
}

std::vector<std::string> SystemDrive::FileNames(const std::string& abs) {
  std::vector<std::string> found;
  DIR* dir = opendir(HostPath(abs).c_str());
  if (dir == nullptr && (errno == ENOENT || errno == ENOTDIR)) return found;
  if (dir == nullptr) throw FileError::FromErrno(errno, abs);
  while (const dirent* e = readdir(dir)) {
    // The listing tells the type on most file systems: a bulletin folder holds thousands.
    struct stat st {};
    const bool file =
        e->d_type == DT_UNKNOWN
            ? fstatat(dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)
            : e->d_type == DT_REG;
    if (file) found.push_back(Utf8ToAnsi(e->d_name));
  }
  closedir(dir);
  return found;
}

bool NamesOpenFile(int fd, const std::string& host) {
  struct stat open {
  }, named{};
  return fstat(fd, &open) == 0 && stat(host.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
         open.st_ino == named.st_ino;
}

}  // namespace platform
