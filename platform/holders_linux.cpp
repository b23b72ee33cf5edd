#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "platform/codepage.h"
#include "platform/drive_linux.h"
#include "platform/file_error.h"

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
// program of another user is not Winpack's.
class HolderLook {
 public:
  HolderLook(const std::string& host, const FdFile* mine, const std::string& abs) : path_(abs) {
    found_ = (mine != nullptr ? fstat(mine->fd(), &file_) : stat(host.c_str(), &file_)) == 0;
    if (mine != nullptr) mine_ = std::to_string(getpid()) + "/fd/" + std::to_string(mine->fd());
  }
  bool found() const { return found_; }

  /// The open files that are the file, as "<pid>/fd/<n>" below /proc, looking at the
  /// processes of `first` first; with `one`, the first found only.
  std::vector<std::string> Scan(const std::vector<std::string>& first, bool one) const {
    const Dir proc = OpenProc();
    std::vector<std::string> held;
    const auto look = [&](const std::string& pid) {
      Dir fds(opendir(("/proc/" + pid + "/fd").c_str()));
      while (fds && (held.empty() || !one)) {
        const dirent* e = readdir(fds.get());
        if (e == nullptr) break;
        if (e->d_name[0] != '.' && Is(dirfd(proc.get()), pid + "/fd/" + e->d_name)) {
          held.push_back(pid + "/fd/" + e->d_name);
        }
      }
    };
    std::vector<std::string> pids;
    for (const std::string& fd : first) pids.push_back(fd.substr(0, fd.find('/')));
    for (const std::string& pid : pids) {
      if (held.empty() || !one) look(pid);
    }
    // One that let go is not looked at again in this look: it may open the file anew
    // meanwhile, and a file that can no longer be opened by name it cannot.
    while (held.empty() || !one) {
      const dirent* e = readdir(proc.get());
      if (e == nullptr) break;
      const std::string pid = e->d_name;
      if (pid[0] >= '0' && pid[0] <= '9' &&
          std::find(pids.begin(), pids.end(), pid) == pids.end()) {
        look(pid);
      }
    }
    return held;
  }

  /// Whether any of the open files Scan found still is the file: one look at each.
  bool AnyHolds(const std::vector<std::string>& held) const {
    const Dir proc = OpenProc();
    return std::any_of(held.begin(), held.end(),
                       [&](const std::string& fd) { return Is(dirfd(proc.get()), fd); });
  }

 private:
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
};

// The open files found holding a file last time are asked first: a look through every
// process takes a while, and a program that holds the file is likely to hold it still.
std::vector<std::string> lastHeld;

bool OpenElsewhere(const HolderLook& look) {
  if (!look.found()) return false;
  std::vector<std::string> held = look.Scan(lastHeld, true);
  if (!held.empty()) lastHeld = held;
  return !held.empty();
}

// How often every process is looked at again, for one that opened the file since.
constexpr auto kLookEverywhere = std::chrono::milliseconds(50);
// How long a program may take from finding a file by its name to having it open.
constexpr auto kLateOpen = std::chrono::milliseconds(50);

}  // namespace

// A program that keeps the list open may let go of it for a moment only, less than a look
// through every process takes. inotify tells of each close as it happens: then only the open
// files found holding it are looked at, at once, and every process again now and then for
// one that opened it since. One missed so holds the old list after its replacement, which
// the run finds then.
//
// A program that found a file by its name just before the name went elsewhere may have it
// open only a while later: behind FUSE the open waits its turn in the file system's own
// process. A file that lost its name counts as alone only once nobody has held it for that
// while.
bool SystemDrive::AwaitAlone(const std::string& abs, OpenFile* mine, Look look,
                             std::chrono::milliseconds limit) {
  const auto* own = static_cast<const FdFile*>(mine);
  const std::string host = own != nullptr ? std::string() : HostPath(abs);
  const HolderLook holders(host, own, abs);
  if (!holders.found()) return true;
  const auto settle = look == Look::kSecondName ? kLateOpen : std::chrono::milliseconds(0);
  // One inotify instance serves the process: closing one waits on the kernel for some
  // milliseconds, long enough for the program to open the file again.
  static const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  const std::string watched = own != nullptr ? "/proc/self/fd/" + std::to_string(own->fd()) : host;
  const int wd = watch < 0 ? -1 : inotify_add_watch(watch, watched.c_str(), IN_CLOSE);
  if (wd < 0) {
    const auto heldElsewhere = [&] { return OpenElsewhere(holders); };
    if (!PollAlone(heldElsewhere, limit)) return false;
    std::this_thread::sleep_for(settle);
    return PollAlone(heldElsewhere, limit);
  }
  const struct Unwatch {
    int watch, wd;
    ~Unwatch() { inotify_rm_watch(watch, wd); }
  } unwatch{watch, wd};  // also when a look throws: the instance serves the process
  using Clock = std::chrono::steady_clock;
  const auto until = Clock::now() + limit;
  auto scanAt = Clock::now();
  std::vector<std::string> held;
  bool alone = false;  // since `aloneSince`, as far as this run has seen
  Clock::time_point aloneSince;
  const auto nobody = [&](Clock::time_point now) {
    held.clear();
    if (!std::exchange(alone, true)) aloneSince = now;
    scanAt = aloneSince + settle;  // the last look, unless one is found holding it before
  };
  while (true) {
    const auto now = Clock::now();
    if (now >= scanAt) {
      held = holders.Scan(held, false);
      if (held.empty() && (settle.count() == 0 || (alone && now >= aloneSince + settle))) {
        return true;
      }
      if (held.empty()) {
        nobody(now);
      } else {
        alone = false;
        scanAt = now + kLookEverywhere;
      }
      continue;
    }
    if (now > until && !alone) return false;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(
        (alone ? scanAt : std::min(until, scanAt)) - now);
    pollfd event{watch, POLLIN, 0};
    if (poll(&event, 1, static_cast<int>(wait.count())) <= 0) continue;
    char drained[4096];
    while (read(watch, drained, sizeof drained) > 0) {
    }
    if (!held.empty() && !holders.AnyHolds(held)) {
      if (settle.count() == 0) return true;
      nobody(Clock::now());
    }
  }
}

}  // namespace platform
