#include "platform/winpath.h"

#include <fcntl.h>
#include <io.h>

#include <vector>

#include "platform/codepage.h"
#include "platform/file_error.h"
#include "platform/wide_win.h"

// On Windows `C:\` is the real drive and the file system ignores letter case itself, so a
// path needs no lookup: it is checked to stay on drive C: and handed to the system as it is.
namespace platform {
namespace {

std::string g_curDir = "C:\\";

[[noreturn]] void Unmappable(std::string_view winPath) {
  throw FileError(FileError::Kind::kNotFound, std::string(winPath),
                  "not a name of a file of drive C:");
}

std::string Trimmed(std::string path) {
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

// Every component a single name: no empty, "." or ".." part, no '/' or NUL inside.
void Check(const std::string& abs) {
  if (abs.size() < 2 || UpperChar(abs[0]) != 'C' || abs[1] != ':') Unmappable(abs);
  if (abs.size() == 2) return;
  if (abs[2] != '\\') Unmappable(abs);
  std::size_t start = 3;
  while (start < abs.size()) {
    std::size_t end = abs.find('\\', start);
    if (end == std::string::npos) end = abs.size();
    const std::string_view part(abs.data() + start, end - start);
    if (part.empty() || part == "." || part == ".." || part.find('/') != std::string_view::npos ||
        part.find('\0') != std::string_view::npos) {
      Unmappable(abs);
    }
    start = end + 1;
  }
}

// The attributes of an entry; INVALID_FILE_ATTRIBUTES when there is none. Any other failure
// throws: a name that cannot be looked up must not be taken for a free one.
DWORD Attributes(const std::string& abs) {
  const DWORD attrs = GetFileAttributesW(win::LongPath(abs).c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES) return attrs;
  const DWORD err = GetLastError();
  if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) return attrs;
  throw win::Error(err, abs);
}

}  // namespace

std::string DriveRoot() { return "C:\\"; }

std::string AbsoluteWinPath(std::string_view winPath) {
  if (winPath.size() >= 2 && winPath[1] == ':') return Trimmed(std::string(winPath));
  if (!winPath.empty() && winPath[0] == '\\') return Trimmed("C:" + std::string(winPath));
  const std::string& cur = CurDir();
  return Trimmed(cur + (cur.back() == '\\' ? "" : "\\") + std::string(winPath));
}

std::string HostPath(std::string_view winPath) {
  std::string abs = AbsoluteWinPath(winPath);
  Check(abs);
  return abs;
}

int OpenExisting(std::string_view winPath, int flags, std::string* hostPath) {
  *hostPath = HostPath(winPath);
  return _wopen(win::LongPath(*hostPath).c_str(), flags | O_BINARY);
}

void ChDir(std::string_view winPath) {
  std::string abs = HostPath(winPath);
  const DWORD attrs = Attributes(abs);
  if (attrs == INVALID_FILE_ATTRIBUTES) throw win::Error(ERROR_PATH_NOT_FOUND, abs);
  if ((attrs & FILE_ATTRIBUTE_DIRECTORY) == 0) throw win::Error(ERROR_DIRECTORY, abs);
  g_curDir = std::move(abs);
}

const std::string& CurDir() { return g_curDir; }

bool EntryExists(std::string_view winPath) {
  return Attributes(HostPath(winPath)) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(std::string_view winPath) {
  const DWORD attrs = Attributes(HostPath(winPath));
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void MakeDir(std::string_view winPath) {
  const std::string abs = HostPath(winPath);
  if (!CreateDirectoryW(win::LongPath(abs).c_str(), nullptr)) throw win::Error(GetLastError(), abs);
}

void RemoveFile(std::string_view winPath) {
  const std::string abs = HostPath(winPath);
  if (!DeleteFileW(win::LongPath(abs).c_str())) throw win::Error(GetLastError(), abs);
}

void ReplaceFile(std::string_view from, std::string_view to) {
  const std::string absFrom = HostPath(from);
  const std::string absTo = HostPath(to);
  // Write-through: the call returns when the new name is on the disk.
  if (!MoveFileExW(win::LongPath(absFrom).c_str(), win::LongPath(absTo).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    throw win::Error(GetLastError(), absTo);
  }
}

// The file system answers every lookup itself; nothing is remembered.
void ForgetCachedNames() {}
void NoteCreated(const std::string&) {}
void NoteRemoved(const std::string&) {}

}  // namespace platform
