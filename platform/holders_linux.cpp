#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "platform/codepage.h"
#include "platform/drive_linux.h"
#include "platform/file_error.h"
#include "platform/holders.h"

// Who holds a file open, and what a link leads to. Wine keeps the files of Windows programs
// open in the programs themselves or in its server, so /proc shows them as it shows Linux
// programs'.
namespace platform {
namespace {

std::string RealPath(const std::string& host) {
  std::unique_ptr<char, decltype(&std::free)> real(realpath(host.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : std::string();
}

}  // namespace

bool SystemDrive::ReplaceUnlessOpen(const std::string& from, const std::string& to) {
  ReplaceFile(from, to);  // Linux puts an open file out of place like any other
  return true;
}

std::string SystemDrive::FinalPath(const std::string& abs) {
  const std::string host = HostPath(abs);
  struct stat st {};
  if (lstat(host.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return abs;
  const std::string real = RealPath(host);
  if (real.empty()) return abs;  // a dangling link: opening it says why
  // The drive's own path may hold links too: it is compared as the system resolves it.
  const std::string root = RealPath(DriveRoot());
  if (root.empty() || real.compare(0, root.size() + 1, root + "/") != 0) return {};
  std::string win = "C:" + Utf8ToAnsi(real.substr(root.size()));
  for (char& c : win) c = c == '/' ? '\\' : c;
  return win;
}

std::string SystemDrive::FileId(const std::string& abs) {
  struct stat st {};
  if (stat(HostPath(abs).c_str(), &st) != 0) return {};
  return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

namespace {

struct CloseDir {
  void operator()(DIR* dir) const { closedir(dir); }
};
using Dir = std::unique_ptr<DIR, CloseDir>;

// Who holds a file open, found in /proc, where Wine's server and its programs show as Linux
// programs do. What this run cannot read (another user's processes) it cannot see, and a
// program of another user is not Winpack's. inotify tells of each close as it happens.
class ProcHolders final : public Holders {
 public:
  ProcHolders(const std::string& host, const FdFile* mine, const std::string& abs) : path_(abs) {
    found_ = (mine != nullptr ? fstat(mine->fd(), &file_) : stat(host.c_str(), &file_)) == 0;
    if (mine != nullptr) mine_ = std::to_string(getpid()) + "/fd/" + std::to_string(mine->fd());
    const std::string watched =
        mine != nullptr ? "/proc/self/fd/" + std::to_string(mine->fd()) : host;
    if (found_ && Watch() >= 0) wd_ = inotify_add_watch(Watch(), watched.c_str(), IN_CLOSE);
  }
  ~ProcHolders() override {
    if (wd_ >= 0) inotify_rm_watch(Watch(), wd_);
  }
  bool found() const { return found_; }

  std::vector<std::string> Scan(const std::vector<std::string>& first) override {
    const Dir proc = OpenProc();
    std::vector<std::string> held;
    const auto look = [&](const std::string& pid) {
      Dir fds(opendir(("/proc/" + pid + "/fd").c_str()));
      while (const dirent* e = fds ? readdir(fds.get()) : nullptr) {
        if (e->d_name[0] != '.' && Is(dirfd(proc.get()), pid + "/fd/" + e->d_name)) {
          held.push_back(pid + "/fd/" + e->d_name);
        }
      }
    };
    std::vector<std::string> pids;
    for (const std::string& fd : first) pids.push_back(fd.substr(0, fd.find('/')));
    for (const std::string& pid : pids) look(pid);
    // One that let go is not looked at again in this look: it may open the file anew
    // meanwhile, and a file that can no longer be opened by name it cannot.
    while (const dirent* e = readdir(proc.get())) {
      const std::string pid = e->d_name;
      if (pid[0] >= '0' && pid[0] <= '9' &&
          std::find(pids.begin(), pids.end(), pid) == pids.end()) {
        look(pid);
      }
    }
    return held;
  }

  bool AnyHolds(const std::vector<std::string>& held) override {
    const Dir proc = OpenProc();
    return std::any_of(held.begin(), held.end(),
                       [&](const std::string& fd) { return Is(dirfd(proc.get()), fd); });
  }

  bool AwaitClose(std::chrono::milliseconds wait) override {
    if (wd_ < 0) {
      std::this_thread::sleep_for(std::min(wait, std::chrono::milliseconds(2)));
      return true;
    }
    pollfd event{Watch(), POLLIN, 0};
    if (poll(&event, 1, static_cast<int>(wait.count())) <= 0) return false;
    char drained[4096];
    while (read(Watch(), drained, sizeof drained) > 0) {
    }
    return true;
  }

 private:
  // One inotify instance serves the process: closing one waits on the kernel for some
  // milliseconds, long enough for the program to open the file again.
  static int Watch() {
    static const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    return watch;
  }
  Dir OpenProc() const {
    Dir proc(opendir("/proc"));
    if (!proc) throw FileError::FromErrno(errno, path_);
    return proc;
  }
  bool Is(int proc, const std::string& fd) const {
    struct stat st {};
    return fd != mine_ && fstatat(proc, fd.c_str(), &st, 0) == 0 && st.st_dev == file_.st_dev &&
           st.st_ino == file_.st_ino;
  }

  std::string path_;
  struct stat file_ {};
  bool found_ = false;
  std::string mine_;  // this run's own open file, not counted
  int wd_ = -1;
};

// How long a program may take from finding a file by its name to having it open: behind FUSE
// the open waits its turn in the file system's own process.
constexpr auto kLateOpen = std::chrono::milliseconds(50);

}  // namespace

bool SystemDrive::AwaitAlone(const std::string& abs, OpenFile* mine, Look look,
                             std::chrono::milliseconds limit) {
  const auto* own = static_cast<const FdFile*>(mine);
  const std::string host = own != nullptr ? std::string() : HostPath(abs);
  ProcHolders holders(host, own, abs);
  if (!holders.found()) return true;
  const auto settle = look == Look::kSecondName ? kLateOpen : std::chrono::milliseconds(0);
  return platform::AwaitAlone(holders, settle, limit);
}

}  // namespace platform
