#include <algorithm>
#include <new>
#include <utility>

#include "platform/drive_win.h"
#include "platform/file_error.h"
#include "platform/wording.h"

// Files through the wide API: exclusive create is CREATE_NEW, a link (reparse point) is
// refused when asked, and what was written is made durable with FlushFileBuffers.
namespace platform {

// The system's handle and, for a file being written, the drive that flushes it while it is
// open; none once that drive is gone.
class WinFile final : public OpenFile {
 public:
  WinFile(HANDLE h, std::string path, SystemDrive::State* writer = nullptr)
      : h_(h), path_(std::move(path)), writer_(writer) {
    if (writer_ != nullptr) writer_->writing.insert(this);
  }
  WinFile(const WinFile&) = delete;
  WinFile& operator=(const WinFile&) = delete;
  ~WinFile() override { Release(); }

  std::size_t Read(char* buf, std::size_t size) override {
    DWORD n = 0;
    const auto want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!ReadFile(h_, buf, want, &n, nullptr)) throw win::Error(GetLastError(), path_);
    return n;
  }

  void Seek(std::uint64_t offset) override {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(h_, at, nullptr, FILE_BEGIN)) throw win::Error(GetLastError(), path_);
  }

  std::size_t Write(const char* data, std::size_t size) override {
    DWORD n = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!WriteFile(h_, data, chunk, &n, nullptr)) throw win::Error(GetLastError(), path_);
    return n;
  }

  void Close() override {
    if (!Release()) throw win::Error(GetLastError(), path_);
  }

  static HANDLE Of(OpenFile& file) { return static_cast<WinFile&>(file).h_; }

  void Flush() {
    if (!FlushFileBuffers(h_)) throw win::Error(GetLastError(), path_);
  }
  void Detach() { writer_ = nullptr; }

 private:
  // Closes the system's handle; a file written is flushed by the next Flush of its drive, at
  // once where no memory is left to note it (this runs in the destructor too).
  bool Release() noexcept {
    if (h_ == INVALID_HANDLE_VALUE) return true;
    if (writer_ != nullptr) {
      writer_->writing.erase(this);
      try {
        writer_->unflushed.Data(path_);
      } catch (const std::bad_alloc&) {
        FlushFileBuffers(h_);
      }
      writer_ = nullptr;
    }
    return CloseHandle(std::exchange(h_, INVALID_HANDLE_VALUE)) != 0;
  }

  HANDLE h_;
  std::string path_;
  SystemDrive::State* writer_;
};

namespace {

// The entry itself, shared as the C runtime shares, so that the drive's Flush can flush a file
// being written while it is open.
HANDLE OpenToWrite(const std::string& abs, DWORD access, DWORD disposition) {
  return OpenShared(abs, access, disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT);
}

// Whether the path still names the open file (not another put in its place).
bool NamesOpenFile(HANDLE h, const std::string& abs) {
  BY_HANDLE_FILE_INFORMATION open{}, named{};
  return GetFileInformationByHandle(h, &open) && InfoAt(abs, named) &&
         open.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
         open.nFileIndexHigh == named.nFileIndexHigh && open.nFileIndexLow == named.nFileIndexLow;
}

bool Taken(DWORD err) { return err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS; }

// A file the run writes is never written through an entry already there: a hard link or a
// symbolic link would carry the writing to a file elsewhere. The entry goes instead, a link
// itself and not what it leads to.
HANDLE CreateEmpty(const std::string& abs) {
  HANDLE h = OpenToWrite(abs, GENERIC_WRITE, CREATE_NEW);
  if (h == INVALID_HANDLE_VALUE && Taken(GetLastError())) {
    RemoveEntry(abs);
    h = OpenToWrite(abs, GENERIC_WRITE, CREATE_NEW);
  }
  return h;
}

// Created only where no entry is, so that a link that leads nowhere makes no file there.
HANDLE OpenToAppend(const std::string& abs) {
  HANDLE h = OpenToWrite(abs, FILE_APPEND_DATA, OPEN_EXISTING);
  if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
    h = OpenToWrite(abs, FILE_APPEND_DATA, CREATE_NEW);
    if (h == INVALID_HANDLE_VALUE && Taken(GetLastError())) {
      throw FileError(FileError::Kind::kOther, abs, words::kNotOrdinary);
    }
  }
  return h;
}

// What is appended to is a plain file of this one name; the handle is closed otherwise.
void RefuseOtherThanPlain(HANDLE h, const std::string& abs) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h, &info) || info.nNumberOfLinks > 1 ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
      !IsOwnEntry(h, abs)) {
    CloseHandle(h);
    throw FileError(FileError::Kind::kOther, abs,
                    info.nNumberOfLinks > 1 ? words::kHardLinked : words::kNotOrdinary);
  }
}

}  // namespace

std::unique_ptr<OpenFile> SystemDrive::OpenRead(const std::string& abs, Links links,
                                                std::optional<FileError>* failure) {
  try {
    HostPath(abs);
    // Others may go on reading, writing, renaming or deleting the file meanwhile, as they
    // may with a file the C runtime opened.
    const DWORD flags = links == Links::kRefuse ? FILE_FLAG_OPEN_REPARSE_POINT : 0;
    HANDLE h = OpenShared(abs, GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | flags);
    if (h == INVALID_HANDLE_VALUE) throw win::Error(GetLastError(), abs);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ordinary = GetFileType(h) == FILE_TYPE_DISK &&
                          GetFileInformationByHandle(h, &info) &&
                          (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                          (links == Links::kFollow || IsOwnEntry(h, abs));
    if (!ordinary) {
      CloseHandle(h);
      throw FileError(FileError::Kind::kOther, abs, words::kNotOrdinary);
    }
    return std::make_unique<WinFile>(h, abs);
  } catch (const FileError& e) {
    if (failure != nullptr) failure->emplace(e);
    return nullptr;
  }
}

std::unique_ptr<OpenFile> SystemDrive::OpenWrite(const std::string& abs, Create how) {
  HostPath(abs);
  HANDLE h = how == Create::kEmpty ? CreateEmpty(abs) : OpenToAppend(abs);
  if (h == INVALID_HANDLE_VALUE) throw win::Error(GetLastError(), abs);
  if (how == Create::kAppend) RefuseOtherThanPlain(h, abs);
  state_->unflushed.Written(abs);
  return std::make_unique<WinFile>(h, abs, state_.get());
}

bool SystemDrive::Names(const std::string& abs, OpenFile& file) {
  return NamesOpenFile(WinFile::Of(file), HostPath(abs));
}

void SystemDrive::State::FlushWriting() {
  for (WinFile* open : writing) open->Flush();
}

SystemDrive::State::~State() {
  for (WinFile* open : writing) open->Detach();
}

std::unique_ptr<OpenFile> SystemDrive::OpenLockFile(const std::string& abs) {
  HostPath(abs);
  // Made when missing, else opened: never created through a link that leads nowhere.
  const auto open = [&](DWORD disposition) {
    return OpenToWrite(abs, GENERIC_READ | GENERIC_WRITE | DELETE, disposition);
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
      state_->unflushed.Changed(abs);
      return std::make_unique<WinFile>(h, abs);
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
bool SystemDrive::LockFirstByte(OpenFile& lock, const std::string& abs) {
  OVERLAPPED first{};
  if (LockFileEx(WinFile::Of(lock), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                 &first)) {
    return true;
  }
  const DWORD err = GetLastError();
  if (err == ERROR_LOCK_VIOLATION || err == ERROR_SHARING_VIOLATION) return false;
  throw win::Error(err, abs);
}

// Through the handle, so that it is the file locked that goes, whatever the name holds by now.
void SystemDrive::RemoveLockFile(OpenFile& lock, const std::string& abs) noexcept {
  FILE_DISPOSITION_INFO gone{TRUE};
  if (SetFileInformationByHandle(WinFile::Of(lock), FileDispositionInfo, &gone, sizeof gone)) {
    try {
      state_->unflushed.Changed(HostPath(abs));
    } catch (const FileError&) {
    }
  }
}

}  // namespace platform
