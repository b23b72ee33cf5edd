#include <vector>

#include "platform/codepage.h"
#include "platform/faults.h"
#include "platform/file_error.h"
#include "platform/files.h"
#include "platform/files_win.h"

// On Windows `C:\` is the real drive and the file system ignores letter case itself, so a
// path needs no lookup and nothing is remembered of the folders: a path is checked to stay
// on drive C: and handed to the system as it is.
namespace platform {
namespace {

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
  Fault(faults::Op::kStat, abs);
  const DWORD attrs = GetFileAttributesW(win::LongPath(abs).c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES) return attrs;
  const DWORD err = GetLastError();
  if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) return attrs;
  throw win::Error(err, abs);
}

}  // namespace

void Fault(faults::Op op, const std::string& absPath) {
  if (Injected(op)) throw FileError::FromErrno(errno, absPath);
}

std::string DriveRoot() { return "C:\\"; }

Files::Files() : impl_(std::make_unique<Impl>()) {}
Files::~Files() = default;

std::string Files::AbsoluteWinPath(std::string_view winPath) const {
  if (winPath.size() >= 2 && winPath[1] == ':') return Trimmed(std::string(winPath));
  if (!winPath.empty() && winPath[0] == '\\') return Trimmed("C:" + std::string(winPath));
  const std::string& cur = CurDir();
  return Trimmed(cur + (cur.back() == '\\' ? "" : "\\") + std::string(winPath));
}

std::string Files::HostPath(std::string_view winPath) {
  std::string abs = AbsoluteWinPath(winPath);
  Check(abs);
  return abs;
}

void Files::ChDir(std::string_view winPath) {
  std::string abs = HostPath(winPath);
  const DWORD attrs = Attributes(abs);
  if (attrs == INVALID_FILE_ATTRIBUTES) throw win::Error(ERROR_PATH_NOT_FOUND, abs);
  if ((attrs & FILE_ATTRIBUTE_DIRECTORY) == 0) throw win::Error(ERROR_DIRECTORY, abs);
  impl_->curDir = std::move(abs);
}

const std::string& Files::CurDir() const { return impl_->curDir; }

bool Files::EntryExists(std::string_view winPath) {
  return Attributes(HostPath(winPath)) != INVALID_FILE_ATTRIBUTES;
}

bool Files::IsDirectory(std::string_view winPath) {
  const DWORD attrs = Attributes(HostPath(winPath));
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void Files::MakeDir(std::string_view winPath) {
  const std::string abs = HostPath(winPath);
  Fault(faults::Op::kMakeDir, abs);
  if (!CreateDirectoryW(win::LongPath(abs).c_str(), nullptr)) throw win::Error(GetLastError(), abs);
}

void Files::RemoveFile(std::string_view winPath) {
  const std::string abs = HostPath(winPath);
  Fault(faults::Op::kRemove, abs);
  if (!DeleteFileW(win::LongPath(abs).c_str())) throw win::Error(GetLastError(), abs);
}

void Files::ReplaceFile(std::string_view from, std::string_view to) {
  const std::string absFrom = HostPath(from);
  const std::string absTo = HostPath(to);
  Fault(faults::Op::kRename, absTo);
  // Write-through: the call returns once the new name is on the disk. The new file's data
  // was flushed by its writer before.
  if (!MoveFileExW(win::LongPath(absFrom).c_str(), win::LongPath(absTo).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    throw win::Error(GetLastError(), absTo);
  }
}

}  // namespace platform
