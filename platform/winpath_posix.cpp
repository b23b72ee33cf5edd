#include "platform/winpath.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <unordered_map>
#include <vector>

#include "platform/codepage.h"
#include "platform/file_error.h"

namespace platform {
namespace {

struct Entry {
  std::string name;  // the first host name in sorted order with this folded form
  int count = 0;     // how many host names fold to it
};

struct DirIndex {
  timespec mtime{};
  std::unordered_map<std::string, Entry> byFolded;
};

std::unordered_map<std::string, DirIndex> g_listings;      // host folder -> its names
std::unordered_map<std::string, std::string> g_foundDirs;  // root + folded Windows path -> host
std::string g_curDir = "C:\\";

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool ReadListing(const std::string& hostDir, DirIndex& index) {
  DIR* dir = opendir(hostDir.c_str());
  if (dir == nullptr) return false;
  std::vector<std::string> names;
  while (const dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(std::move(name));
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  index.byFolded.clear();
  for (auto& name : names) {
    Entry& entry = index.byFolded[FoldedName(name)];
    if (entry.count++ == 0) entry.name = std::move(name);
  }
  return true;
}

// The listing of a host folder, read again only when the folder has changed since.
const DirIndex* Listing(const std::string& hostDir) {
  struct stat st {};
  if (stat(hostDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return nullptr;
  auto found = g_listings.find(hostDir);
  if (found != g_listings.end() && SameTime(found->second.mtime, st.st_mtim)) return &found->second;
  DirIndex& index = g_listings[hostDir];
  index.mtime = st.st_mtim;
  if (!ReadListing(hostDir, index)) {
    g_listings.erase(hostDir);
    return nullptr;
  }
  return &index;
}

// The host path of one name in a host folder: exact, else the first case-insensitive match,
// else the name as given (for a file about to be made).
std::string Lookup(const std::string& hostDir, const std::string& utf8Name) {
  std::string exact = hostDir + "/" + utf8Name;
  struct stat st {};
  if (lstat(exact.c_str(), &st) == 0) return exact;
  if (const DirIndex* index = Listing(hostDir)) {
    auto it = index->byFolded.find(FoldedName(utf8Name));
    if (it != index->byFolded.end()) return hostDir + "/" + it->second.name;
  }
  return exact;
}

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

}  // namespace

std::string DriveRoot() {
  const char* prefix = std::getenv("WINEPREFIX");
  if (prefix != nullptr && *prefix != '\0') return std::string(prefix) + "/drive_c";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.wine/drive_c";
}

std::string AbsoluteWinPath(std::string_view winPath) {
  if (winPath.size() >= 2 && winPath[1] == ':') return Trimmed(std::string(winPath));
  if (!winPath.empty() && winPath[0] == '\\') return Trimmed("C:" + std::string(winPath));
  const std::string& cur = CurDir();
  return Trimmed(cur + (cur.back() == '\\' ? "" : "\\") + std::string(winPath));
}

std::string HostPath(std::string_view winPath) {
  const std::string abs = AbsoluteWinPath(winPath);
  if (abs.size() <= 3) {
    if (abs.size() < 2 || UpperChar(abs[0]) != 'C' || abs[1] != ':') Unmappable(abs);
    return DriveRoot();
  }
  const std::vector<std::string> parts = Components(abs);
  const std::string root = DriveRoot();

  // Folders once found are not looked up again: a run names thousands of files in a
  // handful of folders.
  const std::size_t lastSep = abs.rfind('\\');
  const std::string dirKey = root + '|' + UpperCase(abs.substr(0, lastSep));
  std::string hostDir;
  if (auto it = g_foundDirs.find(dirKey); it != g_foundDirs.end()) {
    hostDir = it->second;
  } else {
    hostDir = root;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i)
      hostDir = Lookup(hostDir, Cp1252ToUtf8(parts[i]));
    struct stat st {};
    if (stat(hostDir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) g_foundDirs[dirKey] = hostDir;
  }
  return Lookup(hostDir, Cp1252ToUtf8(parts.back()));
}

void ChDir(std::string_view winPath) {
  std::string abs = AbsoluteWinPath(winPath);
  const std::string host = HostPath(abs);
  struct stat st {};
  if (stat(host.c_str(), &st) != 0) throw FileError::FromErrno(errno, abs);
  if (!S_ISDIR(st.st_mode)) throw FileError::FromErrno(ENOTDIR, abs);
  g_curDir = std::move(abs);
}

const std::string& CurDir() { return g_curDir; }

bool EntryExists(std::string_view winPath) {
  struct stat st {};
  return lstat(HostPath(winPath).c_str(), &st) == 0;
}

bool IsDirectory(std::string_view winPath) {
  struct stat st {};
  return stat(HostPath(winPath).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void MakeDir(std::string_view winPath) {
  const std::string host = HostPath(winPath);
  if (mkdir(host.c_str(), 0777) != 0) throw FileError::FromErrno(errno, AbsoluteWinPath(winPath));
  NoteCreated(host);
}

void RemoveFile(std::string_view winPath) {
  const std::string host = HostPath(winPath);
  if (unlink(host.c_str()) != 0) throw FileError::FromErrno(errno, AbsoluteWinPath(winPath));
  NoteRemoved(host);
}

void ReplaceFile(std::string_view from, std::string_view to) {
  const std::string hostFrom = HostPath(from);
  const std::string hostTo = HostPath(to);
  if (rename(hostFrom.c_str(), hostTo.c_str()) != 0) {
    throw FileError::FromErrno(errno, AbsoluteWinPath(to));
  }
  NoteRemoved(hostFrom);
  NoteCreated(hostTo);
  const std::string dir = hostTo.substr(0, hostTo.rfind('/'));
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) throw FileError::FromErrno(errno, AbsoluteWinPath(to));
  const int synced = fsync(fd);
  const int err = errno;
  close(fd);
  if (synced != 0) throw FileError::FromErrno(err, AbsoluteWinPath(to));
}

void ForgetCachedNames() {
  g_listings.clear();
  g_foundDirs.clear();
}

namespace {

// The listing of the host path's folder, when one is remembered, with the folder's new time.
DirIndex* RememberedListing(const std::string& hostPath, std::string& name) {
  const std::size_t slash = hostPath.rfind('/');
  auto it = g_listings.find(hostPath.substr(0, slash));
  if (it == g_listings.end()) return nullptr;
  struct stat st {};
  if (stat(it->first.c_str(), &st) != 0) {
    g_listings.erase(it);
    return nullptr;
  }
  it->second.mtime = st.st_mtim;
  name = hostPath.substr(slash + 1);
  return &it->second;
}

}  // namespace

void NoteCreated(const std::string& hostPath) {
  std::string name;
  DirIndex* index = RememberedListing(hostPath, name);
  if (index == nullptr) return;
  Entry& entry = index->byFolded[FoldedName(name)];
  if (entry.count++ == 0 || name < entry.name) entry.name = name;
}

void NoteRemoved(const std::string& hostPath) {
  std::string name;
  DirIndex* index = RememberedListing(hostPath, name);
  if (index == nullptr) return;
  auto it = index->byFolded.find(FoldedName(name));
  if (it == index->byFolded.end()) return;
  if (it->second.count == 1) {
    index->byFolded.erase(it);
  } else {
    // Another spelling of the name remains; which one comes first is known only from the disk.
    g_listings.erase(hostPath.substr(0, hostPath.rfind('/')));
  }
}

}  // namespace platform
