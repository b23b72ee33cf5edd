#include <algorithm>

#include "platform/drive_win.h"
#include "platform/file_error.h"
#include "platform/winpath.h"

// An entry apart from what it leads to: a link is removed or renamed as itself, never the file
// it names, which may lie outside the station.
namespace platform {
namespace {

// An empty file of the run's own takes the place of the entry `abs` in one step, whatever
// that entry is (a link to a file, or to nothing, included); its handle may delete it.
HANDLE TakePlace(const std::string& abs) {
  const std::string folder = winpath::Parent(abs);
  const std::string leaf = abs.substr(abs.rfind('\\') + 1);
  for (int n = 1;; ++n) {
    const std::string aside = folder + "\\" + leaf + "." + std::to_string(n) + ".del";
    HANDLE h = OpenShared(aside, DELETE | SYNCHRONIZE, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD err = GetLastError();
      if ((err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS) && n < 100) continue;
      throw win::Error(err, abs);
    }
    std::vector<char> rename = RenameInfo(win::LongPath(abs), true);
    if (SetFileInformationByHandle(h, FileRenameInfo, rename.data(),
                                   static_cast<DWORD>(rename.size()))) {
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

// Under Wine a link that leads nowhere opens nothing (`err`), yet holds its name: only
// creating the name tells. Where nothing holds it, the file made to ask goes again at once.
void RemoveDangling(const std::string& abs, DWORD err) {
  HANDLE probe = OpenShared(abs, DELETE, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE);
  if (probe != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) {
    if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
    throw win::Error(err, abs);
  }
  RemoveEntryByAnother(abs);
}

}  // namespace

std::wstring FinalPathOf(HANDLE h) {
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

std::vector<char> RenameInfo(const std::wstring& to, bool replace) {
  std::vector<char> buf(sizeof(FILE_RENAME_INFO) + to.size() * sizeof(wchar_t));
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buf.data());
  info->ReplaceIfExists = replace ? TRUE : FALSE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(to.size() * sizeof(wchar_t));
  std::copy(to.begin(), to.end(), info->FileName);
  return buf;
}

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
  const std::wstring actual = FinalPathOf(h);
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
  HANDLE folder = OpenShared(winpath::Parent(abs), 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  if (folder == INVALID_HANDLE_VALUE) return true;
  std::wstring expected = FinalPathOf(folder);
  CloseHandle(folder);
  if (expected.empty() || actual.empty()) return true;
  if (expected.back() != L'\\') expected += L'\\';
  return actual == expected + listed.cFileName;
}

void RemoveEntryByAnother(const std::string& abs) { DeleteOpen(TakePlace(abs), abs); }

void RemoveEntry(const std::string& abs) {
  HANDLE h = OpenShared(abs, DELETE | FILE_READ_ATTRIBUTES, OPEN_EXISTING,
                        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = GetLastError();
    if (err != ERROR_FILE_NOT_FOUND) throw win::Error(err, abs);
    return RemoveDangling(abs, err);
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
  RemoveEntryByAnother(abs);
}

// FlushFileBuffers of a file or folder by its path. A folder can be flushed only with
// write access to it; where that is refused, its entries are the journal's of NTFS and the
// renames were written through.
void FlushPath(const std::string& abs, bool folder) {
  HANDLE h = OpenShared(abs, GENERIC_WRITE, OPEN_EXISTING, folder ? FILE_FLAG_BACKUP_SEMANTICS : 0);
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

}  // namespace platform
