#include <algorithm>
#include <vector>

#include "platform/codepage.h"
#include "platform/faults.h"
#include "platform/file_error.h"
#include "platform/files_win.h"
#include "platform/winpath.h"
#include "platform/wording.h"

// On Windows `C:\` is the real drive and the file system ignores letter case itself, so a
// path needs no lookup: it is checked to stay on drive C: and out of links, and handed to the
// system as it is.
namespace platform {
namespace {

std::string FoldedPath(const std::string& abs) { return UpperCase(abs); }

}  // namespace

DWORD RawAttributes(const std::string& abs) {
  const DWORD attrs = GetFileAttributesW(win::LongPath(abs).c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES) return attrs;
  const DWORD err = GetLastError();
  if (err != ERROR_FILE_NOT_FOUND && err != ERROR_PATH_NOT_FOUND) throw win::Error(err, abs);
  // A link whose target cannot be reached is an entry all the same: its folder's listing
  // shows it (a wildcard would list other names).
  if (err == ERROR_PATH_NOT_FOUND || abs.find_first_of("*?") != std::string::npos) return attrs;
  WIN32_FIND_DATAW found{};
  HANDLE find = FindFirstFileExW(win::LongPath(abs).c_str(), FindExInfoBasic, &found,
                                 FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return attrs;
  FindClose(find);
  return found.dwFileAttributes;
}

DWORD DriveView::Attributes(const std::string& abs) {
  Fault(faults::Op::kStat, abs);
  return RawAttributes(abs);
}

// A link to a folder (symbolic link or junction) is the folder, followed to where it leads:
// the operator may keep a part of Winpack's tree on another disk. Names that come from data
// are single names, checked by the run.
bool IsFolderAt(const std::string& abs, DWORD attrs) {
  if (attrs == INVALID_FILE_ATTRIBUTES) return false;
  if ((attrs & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
  HANDLE h = CreateFileW(win::LongPath(abs).c_str(), 0,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  return known && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string DriveView::Resolve(const std::string& abs) {
  winpath::Components(abs);
  return abs;
}

void DriveView::Written(const std::string& abs) {
  dirtyFiles[FoldedPath(abs)] = abs;
  Changed(abs);
}

void DriveView::Changed(const std::string& abs) {
  const std::string folder = winpath::Parent(abs);
  dirtyFolders[FoldedPath(folder)] = folder;
}

void DriveView::Renamed(const std::string& from, const std::string& to) {
  Changed(from);
  Changed(to);
  if (dirtyFiles.erase(FoldedPath(from)) != 0) dirtyFiles[FoldedPath(to)] = to;
}

std::string DriveRoot() { return "C:\\"; }

Files::Files() : view_(std::make_unique<DriveView>()) {}
Files::~Files() {
  view_->DetachWriting();
  Unlock();
}

std::string Files::AbsoluteWinPath(std::string_view winPath) const {
  return winpath::Absolute(winPath);
}

std::string Files::HostPath(std::string_view winPath) {
  return view_->Resolve(AbsoluteWinPath(winPath));
}

bool Files::EntryExists(std::string_view winPath) {
  return view_->Attributes(HostPath(winPath)) != INVALID_FILE_ATTRIBUTES;
}

bool Files::IsDirectory(std::string_view winPath) {
  const std::string abs = HostPath(winPath);
  return IsFolderAt(abs, view_->Attributes(abs));
}

void Files::MakeDir(std::string_view winPath) {
  const std::string abs = HostPath(winPath);
  Fault(faults::Op::kMakeDir, abs);
  if (!CreateDirectoryW(win::LongPath(abs).c_str(), nullptr)) throw win::Error(GetLastError(), abs);
  view_->Changed(abs);
}

namespace {

// Where the system resolves an open file or folder to, as `\\?\C:\...`; empty when it
// cannot tell.
std::wstring FinalPath(HANDLE h) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetFinalPathNameByHandleW(h, path.data(), static_cast<DWORD>(path.size()), 0);
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(n);
  }
}

// An empty file of the run's own takes the place of the entry `abs` in one step, whatever
// that entry is (a link to a file, or to nothing, included); its handle may delete it.
HANDLE TakePlace(const std::string& abs) {
  const std::string folder = winpath::Parent(abs);
  const std::string leaf = abs.substr(abs.rfind('\\') + 1);
  for (int n = 1;; ++n) {
    const std::string aside = folder + "\\" + leaf + "." + std::to_string(n) + ".del";
    HANDLE h = CreateFileW(win::LongPath(aside).c_str(), DELETE | SYNCHRONIZE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD err = GetLastError();
      if ((err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS) && n < 100) continue;
      throw win::Error(err, abs);
    }
    const std::wstring to = win::LongPath(abs);
    std::vector<char> buf(sizeof(FILE_RENAME_INFO) + to.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buf.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(to.size() * sizeof(wchar_t));
    std::copy(to.begin(), to.end(), rename->FileName);
    if (SetFileInformationByHandle(h, FileRenameInfo, rename, static_cast<DWORD>(buf.size()))) {
      return h;
    }
    const DWORD err = GetLastError();
    FILE_DISPOSITION_INFO gone{TRUE};
    SetFileInformationByHandle(h, FileDispositionInfo, &gone, sizeof gone);
    CloseHandle(h);
    throw win::Error(err, abs);
  }
}

// Deletes the file that the handle (opened with DELETE access) stands for, and closes it.
void DeleteOpen(HANDLE h, const std::string& abs) {
  FILE_DISPOSITION_INFO gone{TRUE};
  const bool deleted = SetFileInformationByHandle(h, FileDispositionInfo, &gone, sizeof gone) != 0;
  const DWORD err = GetLastError();
  CloseHandle(h);
  if (!deleted) throw win::Error(err, abs);
}

}  // namespace

// On Windows a link is a reparse point, and a handle opened with FILE_FLAG_OPEN_REPARSE_POINT
// is the link itself. Under Wine a Unix symbolic link to a file is no reparse point: it looks
// like the file it leads to, and every handle opened by its name is that file's. What tells
// it is where the handle resolves to: an entry of its own resolves to its folder's place and
// the name that the folder lists.
bool IsOwnEntry(HANDLE h, const std::string& abs) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return false;
  }
  // Most often the handle resolves to the very path it was opened by.
  const std::wstring actual = FinalPath(h);
  if (!actual.empty() && CompareStringOrdinal(actual.c_str(), -1, win::LongPath(abs).c_str(), -1,
                                              TRUE) == CSTR_EQUAL) {
    return true;
  }
  // Where the system cannot tell (a file system that keeps no final path), its attributes
  // are the answer, as they are on Windows: Wine always tells.
  WIN32_FIND_DATAW listed{};
  HANDLE find = FindFirstFileExW(win::LongPath(abs).c_str(), FindExInfoBasic, &listed,
                                 FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return true;
  FindClose(find);
  HANDLE folder = CreateFileW(win::LongPath(winpath::Parent(abs)).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return true;
  std::wstring expected = FinalPath(folder);
  CloseHandle(folder);
  if (expected.empty() || actual.empty()) return true;
  if (expected.back() != L'\\') expected += L'\\';
  return actual == expected + listed.cFileName;
}

namespace {

// Under Wine a rename by the name of a link moves the file it leads to: such a name is not
// renamed. Windows' own link is renamed as itself.
void RefuseWineLink(const std::string& abs) {
  HANDLE h =
      CreateFileW(win::LongPath(abs).c_str(), FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;  // the rename says why
  BY_HANDLE_FILE_INFORMATION info{};
  const bool own = !GetFileInformationByHandle(h, &info) ||
                   (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
                   IsOwnEntry(h, abs);
  CloseHandle(h);
  if (!own) throw FileError(FileError::Kind::kOther, abs, words::kNotOrdinary);
}

}  // namespace

void RemoveEntryByAnother(const std::string& abs) { DeleteOpen(TakePlace(abs), abs); }

void RemoveEntry(const std::string& abs) {
  HANDLE h =
      CreateFileW(win::LongPath(abs).c_str(), DELETE | FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = GetLastError();
    if (err != ERROR_FILE_NOT_FOUND) throw win::Error(err, abs);
    // Under Wine a link that leads nowhere opens nothing, yet holds its name: only creating
    // the name tells. Where nothing holds it, the file made to ask goes again at once.
    HANDLE probe = CreateFileW(win::LongPath(abs).c_str(), DELETE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (probe != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) {
      if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
      throw win::Error(err, abs);
    }
    return DeleteOpen(TakePlace(abs), abs);
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h, &info)) {
    const DWORD err = GetLastError();
    CloseHandle(h);
    throw win::Error(err, abs);
  }
  // A folder is no file to remove, as DeleteFileW answers for it.
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    CloseHandle(h);
    throw win::Error(ERROR_ACCESS_DENIED, abs);
  }
  // Windows' link is opened as itself; Wine's is the file it leads to, which stays.
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || IsOwnEntry(h, abs)) {
    return DeleteOpen(h, abs);
  }
  CloseHandle(h);
  DeleteOpen(TakePlace(abs), abs);
}

void Files::RemoveFile(std::string_view winPath) {
  const std::string abs = HostPath(winPath);
  Fault(faults::Op::kRemove, abs);
  RemoveEntry(abs);
  view_->dirtyFiles.erase(FoldedPath(abs));
  view_->Changed(abs);
}

std::vector<std::string> Files::FileNames(std::string_view folder) {
  std::vector<std::string> names;
  if (!IsDirectory(folder)) return names;
  const std::string abs = HostPath(folder);
  Fault(faults::Op::kList, abs);
  WIN32_FIND_DATAW found{};
  HANDLE find = FindFirstFileExW(win::LongPath(abs + "\\*").c_str(), FindExInfoBasic, &found,
                                 FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) {
    const DWORD err = GetLastError();
    if (err == ERROR_FILE_NOT_FOUND) return names;
    throw win::Error(err, abs);
  }
  do {
    if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0) {
      names.push_back(win::Narrow(found.cFileName));
    }
  } while (FindNextFileW(find, &found));
  const DWORD err = GetLastError();
  FindClose(find);
  if (err != ERROR_NO_MORE_FILES) throw win::Error(err, abs);
  return names;
}

void Files::RemoveDir(std::string_view winPath) {
  const std::string abs = HostPath(winPath);
  Fault(faults::Op::kRemove, abs);
  if (!RemoveDirectoryW(win::LongPath(abs).c_str())) throw win::Error(GetLastError(), abs);
  view_->Changed(abs);
}

void Files::ReplaceFile(std::string_view from, std::string_view to) {
  const std::string absFrom = HostPath(from);
  const std::string absTo = HostPath(to);
  Fault(faults::Op::kRename, absTo);
  // Write-through: the new name is on the disk when the call returns.
  if (!MoveFileExW(win::LongPath(absFrom).c_str(), win::LongPath(absTo).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    throw win::Error(GetLastError(), absTo);
  }
  view_->Renamed(absFrom, absTo);
}

bool Files::RenameNew(std::string_view from, std::string_view to) {
  const std::string absFrom = HostPath(from);
  const std::string absTo = HostPath(to);
  Fault(faults::Op::kRename, absTo);
  RefuseWineLink(absFrom);
  // Without MOVEFILE_REPLACE_EXISTING the system refuses a name that any entry bears, in
  // any letter case, in the same step as the rename.
  if (!MoveFileExW(win::LongPath(absFrom).c_str(), win::LongPath(absTo).c_str(),
                   MOVEFILE_WRITE_THROUGH)) {
    const DWORD err = GetLastError();
    if (err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS) return false;
    // A folder of the name answers "access denied".
    if (err == ERROR_ACCESS_DENIED && RawAttributes(absTo) != INVALID_FILE_ATTRIBUTES) {
      return false;
    }
    throw win::Error(err, absTo);
  }
  view_->Renamed(absFrom, absTo);
  return true;
}

bool Files::LinkNew(std::string_view existing, std::string_view name) {
  const std::string absFrom = HostPath(existing);
  const std::string absTo = HostPath(name);
  Fault(faults::Op::kCreate, absTo);  // a second name is made
  if (!CreateHardLinkW(win::LongPath(absTo).c_str(), win::LongPath(absFrom).c_str(), nullptr)) {
    const DWORD err = GetLastError();
    // FAT and exFAT keep one name a file.
    if (err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS || err == ERROR_INVALID_FUNCTION ||
        err == ERROR_NOT_SUPPORTED || err == ERROR_TOO_MANY_LINKS) {
      return false;
    }
    throw win::Error(err, absTo);
  }
  view_->Changed(absTo);
  return true;
}

// FlushFileBuffers of a file or folder by its path. A folder can be flushed only with
// write access to it; where that is refused, its entries are the journal's of NTFS and the
// renames were written through.
void FlushPath(const std::string& abs, bool folder) {
  HANDLE h = CreateFileW(win::LongPath(abs).c_str(), GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, folder ? FILE_FLAG_BACKUP_SEMANTICS : 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = GetLastError();
    if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) return;  // gone since
    if (folder && err == ERROR_ACCESS_DENIED) return;
    throw win::Error(err, abs);
  }
  const bool flushed = FlushFileBuffers(h) != 0;
  const DWORD err = GetLastError();
  CloseHandle(h);
  // Some file systems cannot flush a folder; their entries are written with the file.
  if (!flushed && !(folder && (err == ERROR_INVALID_FUNCTION || err == ERROR_ACCESS_DENIED))) {
    throw win::Error(err, abs);
  }
}

void Files::Flush() {
  Fault(faults::Op::kSync, "C:\\");
  view_->FlushWriting();
  for (const auto& [key, abs] : view_->dirtyFiles) FlushPath(abs, false);
  for (const auto& [key, abs] : view_->dirtyFolders) FlushPath(abs, true);
  view_->dirtyFiles.clear();
  view_->dirtyFolders.clear();
}

bool NamesOpenFile(HANDLE h, const std::string& abs) {
  BY_HANDLE_FILE_INFORMATION open{}, named{};
  if (!GetFileInformationByHandle(h, &open)) return false;
  HANDLE byName = CreateFileW(win::LongPath(abs).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (byName == INVALID_HANDLE_VALUE) return false;
  const bool known = GetFileInformationByHandle(byName, &named) != 0;
  CloseHandle(byName);
  return known && open.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
         open.nFileIndexHigh == named.nFileIndexHigh && open.nFileIndexLow == named.nFileIndexLow;
}

}  // namespace platform
