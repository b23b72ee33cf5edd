#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <string>
#include <vector>

#include "platform/drive_linux.h"
#include "platform/file_error.h"

namespace platform {
namespace {

// Makes a folder's entries durable: its whole file system once per Flush, or the folder alone
// where that reaches no disk. 0, else -1 with errno set.
int SyncFolder(int fd, std::set<dev_t>& eachFile, std::vector<dev_t>& synced) {
  struct stat st {};
  if (fstat(fd, &st) != 0) return -1;
  if (eachFile.count(st.st_dev) != 0) return fsync(fd);
  if (std::find(synced.begin(), synced.end(), st.st_dev) != synced.end()) return 0;
  struct statfs fs {};
  if (fstatfs(fd, &fs) != 0) return -1;
  if (fs.f_type == kFuseMagic) {
    eachFile.insert(st.st_dev);
    return fsync(fd);
  }
  synced.push_back(st.st_dev);
  return syncfs(fd);
}

}  // namespace

// One syncfs per file system: a run changes thousands of files in a handful of folders,
// and a sync of each would cost a commit of the file system's journal apiece. FUSE passes no
// syncfs on to the program behind the mount (ntfs-3g, sshfs): there each folder and file goes
// alone.
void SystemDrive::Flush() {
  std::vector<dev_t> synced;
  // The drive's own file system always: what an interrupted run left there may not be on
  // disk yet when this run builds on it.
  state_->unflushed.FolderChanged(state_->tree.root());
  for (const std::string& dir : state_->unflushed.Folders()) {
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) continue;  // removed since: nothing of it to keep
    const int done = fd < 0 ? -1 : SyncFolder(fd, state_->eachFile, synced);
    const int err = errno;
    if (fd >= 0) close(fd);
    if (done != 0) throw FileError::FromErrno(err, WinNameOfHost(dir));
  }
  state_->SyncEach();
  state_->unflushed.Clear();
}

void SystemDrive::Adopt(const std::string& abs) { state_->unflushed.Written(HostPath(abs)); }

void SystemDrive::State::SyncEach() {
  const auto alone = [&](int fd) {
    struct stat st {};
    return fstat(fd, &st) == 0 && eachFile.count(st.st_dev) != 0;
  };
  if (eachFile.empty()) return;
  std::vector<std::string> made = unflushed.Files();
  // A file still open is synced by its descriptor, its name noted at its opening with it.
  for (FdFile* file : writing) {
    const bool written = file->TakeWritten();
    const bool named = std::erase(made, file->host()) > 0;
    if ((written || named) && alone(file->fd()) && fsync(file->fd()) != 0) {
      const int err = errno;
      throw FileError::FromErrno(err, WinNameOfHost(file->host()));
    }
  }
  for (const std::string& host : made) {
    const int fd = open(host.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    // Gone since, or a link in its place: no file of the run's.
    if (fd < 0 && (errno == ENOENT || errno == ELOOP)) continue;
    const int done = fd < 0 ? -1 : alone(fd) ? fsync(fd) : 0;
    const int err = errno;
    if (fd >= 0) close(fd);
    if (done != 0) throw FileError::FromErrno(err, WinNameOfHost(host));
  }
}

}  // namespace platform
