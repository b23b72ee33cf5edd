#include "platform/winpath.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "platform/codepage.h"
#include "platform/faults.h"
#include "platform/file_error.h"

namespace platform {
namespace {

struct Entry {
  std::string name;  // the first host name in sorted order with this folded form
  int count = 0;     // how many host names fold to it
};

struct DirIndex {
  std::unordered_map<std::string, Entry> byFolded;
};

std::unordered_map<std::string, DirIndex> g_listings;      // host folder -> its names
std::unordered_map<std::string, std::string> g_foundDirs;  // root + folded Windows path -> host
std::string g_curDir = "C:\\";

// False when there is no such folder. Throws when it exists but cannot be listed: a name
// that cannot be looked up must not be taken for a free one.
bool ReadListing(const std::string& hostDir, DirIndex& index) {
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

// A folder's names are read once in a run and then kept in step with the program's own
// changes: nothing else changes Winpack's folders while a run goes on, and a run starts by
// forgetting them.
const DirIndex* Listing(const std::string& hostDir) {
  if (auto found = g_listings.find(hostDir); found != g_listings.end()) return &found->second;
  DirIndex fresh;
  if (!ReadListing(hostDir, fresh)) return nullptr;
  return &(g_listings[hostDir] = std::move(fresh));
}

// Finds one name in a host folder: the exact name, else the first case-insensitive match.
// Sets `host` to the path found, or to the exact name when there is none (for a file about
// to be made), and tells whether one was found. A folder already listed is answered from
// its listing alone.
bool Lookup(const std::string& hostDir, const std::string& utf8Name, std::string& host,
            bool exactIsMissing = false) {
  host = hostDir + "/" + utf8Name;
  struct stat st {};
  const bool listed = g_listings.count(hostDir) != 0;
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

namespace {

// The host folder of an absolute Windows path and its last name, in UTF-8; `dirFound` is
// false when the folder does not exist.
struct Resolved {
  std::string dir;
  std::string leaf;
  bool dirFound = true;
  std::string path() const { return dir + "/" + leaf; }
};

// Folders once found are not looked up again: a run names thousands of files in a handful of
// folders.
std::string FolderKey(const std::string& root, const std::string& abs, std::size_t end) {
  return root + '|' + UpperCase(abs.substr(0, end));
}

Resolved Resolve(const std::string& abs) {
  const std::vector<std::string> parts = Components(abs);
  const std::string root = DriveRoot();
  Resolved r;
  r.leaf = Cp1252ToUtf8(parts.back());
  const std::size_t dirEnd = abs.rfind('\\');
  if (auto it = g_foundDirs.find(FolderKey(root, abs, dirEnd)); it != g_foundDirs.end()) {
    r.dir = it->second;
    return r;
  }
  r.dir = root;
  std::size_t end = 2;  // after "C:"
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    end += 1 + parts[i].size();
    const std::string key = FolderKey(root, abs, end);
    if (auto it = g_foundDirs.find(key); it != g_foundDirs.end()) {
      r.dir = it->second;
      continue;
    }
    std::string next;
    r.dirFound = r.dirFound && Lookup(r.dir, Cp1252ToUtf8(parts[i]), next);
    r.dir = std::move(next);
    struct stat st {};
    if (r.dirFound && stat(r.dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      g_foundDirs[key] = r.dir;
    } else {
      r.dirFound = false;
    }
  }
  return r;
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

// The host folder of an absolute Windows path that was found to be a folder in this run.
const std::string* KnownFolder(const std::string& abs) {
  auto it = g_foundDirs.find(FolderKey(DriveRoot(), abs, abs.size()));
  return it == g_foundDirs.end() ? nullptr : &it->second;
}

bool IsDriveRoot(const std::string& abs) {
  if (abs.size() < 2 || UpperChar(abs[0]) != 'C' || abs[1] != ':') Unmappable(abs);
  return abs.size() <= 3;
}

}  // namespace

std::string HostPath(std::string_view winPath) {
  const std::string abs = AbsoluteWinPath(winPath);
  if (IsDriveRoot(abs)) return DriveRoot();
  return WithWinName(abs, [&] {
    const Resolved r = Resolve(abs);
    std::string host = r.path();
    if (r.dirFound) Lookup(r.dir, r.leaf, host);
    return host;
  });
}

int OpenExisting(std::string_view winPath, int flags, std::string* hostPath) {
  const std::string abs = AbsoluteWinPath(winPath);
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

void ChDir(std::string_view winPath) {
  std::string abs = AbsoluteWinPath(winPath);
  if (KnownFolder(abs) == nullptr) {
    const std::string host = HostPath(abs);
    struct stat st {};
    if (stat(host.c_str(), &st) != 0) throw FileError::FromErrno(errno, abs);
    if (!S_ISDIR(st.st_mode)) throw FileError::FromErrno(ENOTDIR, abs);
    g_foundDirs[FolderKey(DriveRoot(), abs, abs.size())] = host;
  }
  g_curDir = std::move(abs);
}

const std::string& CurDir() { return g_curDir; }

namespace {

// A failed look is not an answer: the caller must not take a name for free.
[[noreturn]] void ProbeFailed(std::string_view winPath) {
  throw FileError::FromErrno(errno, AbsoluteWinPath(winPath));
}

}  // namespace

bool EntryExists(std::string_view winPath) {
  const std::string abs = AbsoluteWinPath(winPath);
  if (IsDriveRoot(abs) || KnownFolder(abs) != nullptr) return true;
  if (Injected(faults::Op::kStat)) ProbeFailed(abs);
  return WithWinName(abs, [&] {
    const Resolved r = Resolve(abs);
    std::string host;
    return r.dirFound && Lookup(r.dir, r.leaf, host);
  });
}

bool IsDirectory(std::string_view winPath) {
  const std::string abs = AbsoluteWinPath(winPath);
  if (KnownFolder(abs) != nullptr) return true;
  if (Injected(faults::Op::kStat)) ProbeFailed(abs);
  struct stat st {};
  if (stat(HostPath(abs).c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (errno == ENOENT || errno == ENOTDIR) return false;
  ProbeFailed(abs);
}

void MakeDir(std::string_view winPath) {
  const std::string host = HostPath(winPath);
  if (Injected(faults::Op::kMakeDir) || mkdir(host.c_str(), 0777) != 0)
    throw FileError::FromErrno(errno, AbsoluteWinPath(winPath));
  NoteCreated(host);
}

void RemoveFile(std::string_view winPath) {
  const std::string host = HostPath(winPath);
  if (Injected(faults::Op::kRemove) || unlink(host.c_str()) != 0)
    throw FileError::FromErrno(errno, AbsoluteWinPath(winPath));
  NoteRemoved(host);
}

void ReplaceFile(std::string_view from, std::string_view to) {
  const std::string hostFrom = HostPath(from);
  const std::string hostTo = HostPath(to);
  if (Injected(faults::Op::kRename) || rename(hostFrom.c_str(), hostTo.c_str()) != 0) {
    throw FileError::FromErrno(errno, AbsoluteWinPath(to));
  }
  NoteRemoved(hostFrom);
  NoteCreated(hostTo);
  const std::string dir = hostTo.substr(0, hostTo.rfind('/'));
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) throw FileError::FromErrno(errno, AbsoluteWinPath(to));
  const int synced = Injected(faults::Op::kSync) ? -1 : fsync(fd);
  const int err = errno;
  close(fd);
  if (synced != 0) throw FileError::FromErrno(err, AbsoluteWinPath(to));
}

void ForgetCachedNames() {
  g_listings.clear();
  g_foundDirs.clear();
}

namespace {

// The listing of the host path's folder, when one is remembered, and the path's last name.
DirIndex* RememberedListing(const std::string& hostPath, std::string& name) {
  const std::size_t slash = hostPath.rfind('/');
  auto it = g_listings.find(hostPath.substr(0, slash));
  if (it == g_listings.end()) return nullptr;
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
