#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

#include "platform/codepage.h"
#include "platform/faults.h"
#include "platform/file_error.h"
#include "platform/files_linux.h"
#include "platform/rawfile.h"

// Who holds a file open, and what a link leads to. Wine keeps the files of Windows programs
// open in the programs themselves or in its server, so /proc shows them as it shows Linux
// programs'.
namespace platform {
namespace {

// Whether any open file of the process (`fdDir`, its /proc/<pid>/fd) but `skip` is the file.
bool ProcessHolds(int fdDir, const struct stat& file, const std::string& skip) {
  DIR* fds = fdopendir(fdDir);
  if (fds == nullptr) {
    close(fdDir);
    return false;
  }
  bool holds = false;
  while (const dirent* e = readdir(fds)) {
    struct stat st {};
    if (e->d_name[0] != '.' && e->d_name != skip && fstatat(dirfd(fds), e->d_name, &st, 0) == 0 &&
        st.st_dev == file.st_dev && st.st_ino == file.st_ino) {
      holds = true;
      break;
    }
  }
  closedir(fds);
  return holds;
}

std::string RealPath(const std::string& host) {
  std::unique_ptr<char, decltype(&std::free)> real(realpath(host.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : std::string();
}

}  // namespace

bool Files::ReplaceUnlessOpen(std::string_view from, std::string_view to) {
  ReplaceFile(from, to);  // Linux puts an open file out of place like any other
  return true;
}

std::string Files::FinalPath(std::string_view winPath) {
  const std::string abs = AbsoluteWinPath(winPath);
  const std::string host = HostPath(abs);
  struct stat st {};
  if (lstat(host.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return abs;
  const std::string real = RealPath(host);
  if (real.empty()) return abs;  // a dangling link: opening it says why
  // The drive's own path may hold links too: it is compared as the system resolves it.
  const std::string root = RealPath(DriveRoot());
  if (root.empty() || real.compare(0, root.size() + 1, root + "/") != 0) {
    throw FileError(FileError::Kind::kOther, abs, "it is a link to a file off drive C:");
  }
  std::string win = "C:" + Utf8ToAnsi(real.substr(root.size()));
  for (char& c : win) c = c == '/' ? '\\' : c;
  return win;
}

std::string Files::FileId(std::string_view winPath) {
  const std::string abs = AbsoluteWinPath(winPath);
  Fault(faults::Op::kStat, abs);
  struct stat st {};
  if (stat(HostPath(abs).c_str(), &st) != 0) return {};
  return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

bool Files::OpenElsewhere(std::string_view winPath, Look look) {
  return raw::OpenElsewhere(*this, raw::kNoFile, AbsoluteWinPath(winPath), look);
}

}  // namespace platform

namespace platform::raw {

// Every process's open files are looked at: what this run cannot read (another user's
// processes) it cannot see, and a program of another user is not Winpack's.
bool OpenElsewhere(Files& files, Handle mine, const std::string& absPath, Files::Look) {
  Fault(faults::Op::kStat, absPath);
  struct stat file {};
  const int found = mine != kNoFile ? fstat(static_cast<int>(mine), &file)
                                    : stat(files.HostPath(absPath).c_str(), &file);
  if (found != 0) return false;
  const std::string self = std::to_string(getpid());
  const std::string skip = mine != kNoFile ? std::to_string(mine) : std::string();
  const auto holds = [&](int parent, const char* pid) {
    const int fdDir =
        openat(parent, (std::string(pid) + "/fd").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return fdDir >= 0 && ProcessHolds(fdDir, file, pid == self ? skip : std::string());
  };
  // The process found holding the file last time is asked first: a look through every
  // process takes a while, and a program that holds the file is likely to hold it still.
  static std::string lastHolder;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) throw FileError::FromErrno(errno, absPath);
  // Once it has let go, it is not looked at again in this look: it may open the file anew
  // meanwhile, and a file that can no longer be opened by name it cannot.
  bool held = !lastHolder.empty() && holds(dirfd(proc), lastHolder.c_str());
  const dirent* e = nullptr;
  while (!held && (e = readdir(proc)) != nullptr) {
    if (e->d_name[0] < '0' || e->d_name[0] > '9' || e->d_name == lastHolder) continue;
    if (holds(dirfd(proc), e->d_name)) {
      held = true;
      lastHolder = e->d_name;
    }
  }
  closedir(proc);
  return held;
}

}  // namespace platform::raw
