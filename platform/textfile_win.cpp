#include <algorithm>

#include "platform/faults.h"
#include "platform/files_win.h"
#include "platform/rawfile.h"
#include "platform/wording.h"

// Files through the wide API: exclusive create is CREATE_NEW, a link (reparse point) is
// refused when asked, and what was written is made durable with FlushFileBuffers.
namespace platform::raw {

// What a Handle stands for: the system's handle and, for a file being written, the run's
// Files that flushes it while it is open.
struct OpenFile {
  HANDLE h;
  DriveView* files;
  std::string path;
};

namespace {

OpenFile* F(Handle file) { return reinterpret_cast<OpenFile*>(file); }
HANDLE H(Handle file) { return F(file)->h; }
Handle Of(HANDLE h, DriveView* files = nullptr, const std::string& path = std::string()) {
  auto* open = new OpenFile{h, files, path};
  if (files != nullptr) files->writing.insert(open);
  return reinterpret_cast<Handle>(open);
}

// Closes the system's handle; a file written is flushed by the next Flush of its run.
BOOL Release(Handle file) {
  OpenFile* open = F(file);
  if (open->files != nullptr) {
    open->files->writing.erase(open);
    open->files->Written(open->path);
  }
  const BOOL closed = CloseHandle(open->h);
  delete open;
  return closed;
}

[[noreturn]] void Throw(const std::string& absPath) { throw win::Error(GetLastError(), absPath); }

}  // namespace

Handle OpenRead(Files& files, const std::string& absPath, Links links,
                std::optional<FileError>* failure) {
  try {
    const std::string path = files.HostPath(absPath);
    Fault(faults::Op::kOpen, path);
    // Others may go on reading, writing, renaming or deleting the file meanwhile, as they
    // may with a file the C runtime opened.
    const DWORD flags = links == Links::kRefuse ? FILE_FLAG_OPEN_REPARSE_POINT : 0;
    HANDLE h = CreateFileW(win::LongPath(path).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) Throw(path);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ordinary = GetFileType(h) == FILE_TYPE_DISK &&
                          GetFileInformationByHandle(h, &info) &&
                          (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                          (links == Links::kFollow || IsOwnEntry(h, path));
    if (!ordinary) {
      CloseHandle(h);
      throw FileError(FileError::Kind::kOther, path, words::kNotOrdinary);
    }
    return Of(h);
  } catch (const FileError& e) {
    if (failure != nullptr) failure->emplace(e);
    return kNoFile;
  }
}

Handle OpenWrite(Files& files, const std::string& absPath, Create how) {
  const std::string path = files.HostPath(absPath);
  Fault(faults::Op::kCreate, path);
  // Shared as the C runtime shares, so that Files::Flush can flush it while it is open.
  const auto open = [&](DWORD access, DWORD disposition) {
    return CreateFileW(win::LongPath(path).c_str(), access,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  };
  const auto taken = [](DWORD err) {
    return err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS;
  };
  HANDLE h = INVALID_HANDLE_VALUE;
  if (how == Create::kEmpty) {
    // A file the run writes is never written through an entry already there: a hard link or
    // a symbolic link would carry the writing to a file elsewhere. The entry goes instead, a
    // link itself and not what it leads to.
    h = open(GENERIC_WRITE, CREATE_NEW);
    if (h == INVALID_HANDLE_VALUE && taken(GetLastError())) {
      RemoveEntry(path);
      h = open(GENERIC_WRITE, CREATE_NEW);
    }
  } else {
    // Created only where no entry is, so that a link that leads nowhere makes no file there.
    h = open(FILE_APPEND_DATA, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
      h = open(FILE_APPEND_DATA, CREATE_NEW);
      if (h == INVALID_HANDLE_VALUE && taken(GetLastError())) {
        throw FileError(FileError::Kind::kOther, path, words::kNotOrdinary);
      }
    }
  }
  if (h == INVALID_HANDLE_VALUE) Throw(path);
  BY_HANDLE_FILE_INFORMATION info{};
  if (how == Create::kAppend &&
      (!GetFileInformationByHandle(h, &info) || info.nNumberOfLinks > 1 ||
       (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
       !IsOwnEntry(h, path))) {
    CloseHandle(h);
    throw FileError(FileError::Kind::kOther, path,
                    info.nNumberOfLinks > 1 ? words::kHardLinked : words::kNotOrdinary);
  }
  DriveView& view = Access::View(files);
  view.Written(path);
  return Of(h, &view, path);
}

std::size_t Read(Handle file, char* buf, std::size_t size, const std::string& absPath) {
  Fault(faults::Op::kRead, absPath);
  DWORD n = 0;
  const auto want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
  if (!ReadFile(H(file), buf, want, &n, nullptr)) Throw(absPath);
  return n;
}

void Write(Handle file, const char* data, std::size_t size, const std::string& absPath) {
  std::size_t done = 0;
  while (done < size) {
    Fault(faults::Op::kWrite, absPath);
    DWORD n = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
    if (!WriteFile(H(file), data + done, chunk, &n, nullptr)) Throw(absPath);
    done += n;
  }
}

void Close(Handle file, const std::string& absPath) {
  try {
    Fault(faults::Op::kClose, absPath);
  } catch (const FileError&) {
    Release(file);
    throw;
  }
  if (!Release(file)) Throw(absPath);
}

void CloseQuietly(Handle file) noexcept { Release(file); }

bool SameFile(Files& files, Handle file, const std::string& absPath) {
  return NamesOpenFile(H(file), files.HostPath(absPath));
}

Handle OpenLockFile(Files& files, const std::string& absPath) {
  const std::string abs = files.HostPath(absPath);
  // Made when missing, else opened: never created through a link that leads nowhere.
  const auto open = [&](DWORD disposition) {
    return CreateFileW(win::LongPath(abs).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  };
  for (int pending = 0;;) {
    HANDLE h = open(CREATE_NEW);
    DWORD err = GetLastError();
    if (h == INVALID_HANDLE_VALUE && err == ERROR_FILE_EXISTS) {
      h = open(OPEN_EXISTING);
      err = GetLastError();
    }
    if (h != INVALID_HANDLE_VALUE) {
      // A link would take the lock, and its removal at the end, to a file elsewhere.
      if (!IsOwnEntry(h, abs)) {
        CloseHandle(h);
        throw FileError(FileError::Kind::kOther, abs, words::kNotOrdinary);
      }
      Access::View(files).Changed(abs);
      return Of(h);
    }
    // The run before is removing the file as it ends; its name goes with its last handle.
    if ((err == ERROR_ACCESS_DENIED || err == ERROR_FILE_NOT_FOUND) && ++pending < 100) {
      Sleep(10);
      continue;
    }
    // A name that is taken and yet opens nothing: a link that leads nowhere.
    if (err == ERROR_FILE_NOT_FOUND) {
      throw FileError(FileError::Kind::kOther, abs, words::kNotOrdinary);
    }
    throw win::Error(err, abs);
  }
}

// The same record lock under Wine as the Linux program's.
bool LockFirstByte(Handle file, const std::string& absPath) {
  OVERLAPPED first{};
  if (LockFileEx(H(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &first)) {
    return true;
  }
  const DWORD err = GetLastError();
  if (err == ERROR_LOCK_VIOLATION || err == ERROR_SHARING_VIOLATION) return false;
  throw win::Error(err, absPath);
}

// Through the handle, so that it is the file locked that goes, whatever the name holds by now.
void RemoveLockFile(Files& files, Handle file, const std::string& absPath) noexcept {
  FILE_DISPOSITION_INFO gone{TRUE};
  if (SetFileInformationByHandle(H(file), FileDispositionInfo, &gone, sizeof gone)) {
    try {
      Access::View(files).Changed(files.HostPath(absPath));
    } catch (const FileError&) {
    }
  }
}

}  // namespace platform::raw

namespace platform {

void DriveView::FlushWriting() {
  for (raw::OpenFile* open : writing) {
    if (!FlushFileBuffers(open->h)) throw win::Error(GetLastError(), open->path);
  }
}

void DriveView::DetachWriting() noexcept {
  for (raw::OpenFile* open : writing) open->files = nullptr;
  writing.clear();
}

}  // namespace platform
