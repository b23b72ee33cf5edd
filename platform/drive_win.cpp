#include "platform/drive_win.h"

#include "platform/codepage.h"
#include "platform/file_error.h"
#include "platform/winpath.h"
#include "platform/wording.h"

namespace platform {
namespace {

// The raw attributes of a path; INVALID_FILE_ATTRIBUTES when there is no entry. Any other
// failure throws: a name that cannot be looked up must not be taken for a free one.
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

// A link to a folder (symbolic link or junction) is the folder, followed to where it leads:
// the operator may keep a part of Winpack's tree on another disk. Names that come from data
// are single names, checked by the run.
bool IsFolderAt(const std::string& abs, DWORD attrs) {
  if (attrs == INVALID_FILE_ATTRIBUTES) return false;
  if ((attrs & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
  BY_HANDLE_FILE_INFORMATION info{};
  return InfoAt(abs, info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Under Wine a rename by the name of a link moves the file it leads to: such a name is not
// renamed. Windows' own link is renamed as itself.
void RefuseWineLink(const std::string& abs) {
  HANDLE h = OpenShared(abs, FILE_READ_ATTRIBUTES, OPEN_EXISTING,
                        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS);
  if (h == INVALID_HANDLE_VALUE) return;  // the rename says why
  BY_HANDLE_FILE_INFORMATION info{};
  const bool own = !GetFileInformationByHandle(h, &info) ||
                   (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
                   IsOwnEntry(h, abs);
  CloseHandle(h);
  if (!own) throw FileError(FileError::Kind::kOther, abs, words::kNotOrdinary);
}

}  // namespace

SystemDrive::SystemDrive() : state_(std::make_unique<State>()) {}
SystemDrive::~SystemDrive() = default;

std::string DriveRoot() { return "C:\\"; }

HANDLE OpenShared(const std::string& abs, DWORD access, DWORD disposition, DWORD flags) {
  return CreateFileW(win::LongPath(abs).c_str(), access,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                     flags, nullptr);
}

bool InfoAt(const std::string& abs, BY_HANDLE_FILE_INFORMATION& info) {
  HANDLE h = OpenShared(abs, 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool known = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  return known;
}

std::string SystemDrive::HostPath(const std::string& abs) {
  winpath::Components(abs);
  return abs;
}

bool SystemDrive::EntryExists(const std::string& abs) {
  return RawAttributes(HostPath(abs)) != INVALID_FILE_ATTRIBUTES;
}

bool SystemDrive::IsDirectory(const std::string& abs) {
  HostPath(abs);
  return IsFolderAt(abs, RawAttributes(abs));
}

void SystemDrive::MakeDir(const std::string& abs) {
  HostPath(abs);
  if (!CreateDirectoryW(win::LongPath(abs).c_str(), nullptr)) throw win::Error(GetLastError(), abs);
  state_->unflushed.Changed(abs);
}

void SystemDrive::RemoveFile(const std::string& abs) {
  HostPath(abs);
  RemoveEntry(abs);
  state_->unflushed.Removed(abs);
}

void SystemDrive::RemoveDir(const std::string& abs) {
  HostPath(abs);
  if (!RemoveDirectoryW(win::LongPath(abs).c_str())) throw win::Error(GetLastError(), abs);
  state_->unflushed.Changed(abs);
}

std::vector<std::string> SystemDrive::FileNames(const std::string& abs) {
  std::vector<std::string> names;
  if (!IsDirectory(abs)) return names;
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

void SystemDrive::ReplaceFile(const std::string& from, const std::string& to) {
  HostPath(from);
  HostPath(to);
  // Write-through: the new name is on the disk when the call returns.
  if (!MoveFileExW(win::LongPath(from).c_str(), win::LongPath(to).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    throw win::Error(GetLastError(), to);
  }
  state_->unflushed.Renamed(from, to);
}

bool SystemDrive::RenameNew(const std::string& from, const std::string& to) {
  HostPath(from);
  HostPath(to);
  RefuseWineLink(from);
  // Without MOVEFILE_REPLACE_EXISTING the system refuses a name that any entry bears, in
  // any letter case, in the same step as the rename.
  if (!MoveFileExW(win::LongPath(from).c_str(), win::LongPath(to).c_str(),
                   MOVEFILE_WRITE_THROUGH)) {
    const DWORD err = GetLastError();
    if (err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS) return false;
    // A folder of the name answers "access denied".
    if (err == ERROR_ACCESS_DENIED && RawAttributes(to) != INVALID_FILE_ATTRIBUTES) return false;
    throw win::Error(err, to);
  }
  state_->unflushed.Renamed(from, to);
  return true;
}

bool SystemDrive::LinkNew(const std::string& existing, const std::string& name) {
  HostPath(existing);
  HostPath(name);
  if (!CreateHardLinkW(win::LongPath(name).c_str(), win::LongPath(existing).c_str(), nullptr)) {
    const DWORD err = GetLastError();
    // FAT and exFAT keep one name a file; under Wine such a disk of Linux's refuses access.
    if (err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS || err == ERROR_INVALID_FUNCTION ||
        err == ERROR_NOT_SUPPORTED || err == ERROR_TOO_MANY_LINKS ||
        (err == ERROR_ACCESS_DENIED && !LinksWork(existing))) {
      return false;
    }
    throw win::Error(err, name);
  }
  state_->unflushed.Changed(name);
  return true;
}

void SystemDrive::Flush() {
  state_->FlushWriting();
  for (const std::string& file : state_->unflushed.Files()) FlushPath(file, false);
  for (const std::string& folder : state_->unflushed.Folders()) FlushPath(folder, true);
  state_->unflushed.Clear();
}

void SystemDrive::Adopt(const std::string& abs) {
  HostPath(abs);
  // A read-only file cannot be opened to be flushed; its folder's entry still can.
  const DWORD attrs = GetFileAttributesW(win::LongPath(abs).c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY) == 0) {
    state_->unflushed.Written(abs);
  } else {
    state_->unflushed.Changed(abs);
  }
}

}  // namespace platform
