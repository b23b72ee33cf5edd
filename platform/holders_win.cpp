#include <winternl.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "platform/codepage.h"
#include "platform/faults.h"
#include "platform/files_win.h"
#include "platform/rawfile.h"

// Who holds a file open, and what a link leads to. Windows tells both only through a handle:
// whether another program holds a file is found by opening it alone, which is done only by a
// name nobody else knows.
namespace platform {
namespace {

// A handle for the file itself (no access asked, every sharing allowed), or none.
HANDLE Inspect(const std::string& abs) {
  return CreateFileW(win::LongPath(abs).c_str(), 0,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// NtSetInformationFile's FileLinkInformation: the file `absFrom` names gets the name `absTo`
// as well, with `replace` in place of what bore it, through a handle that asks for no access
// another program's open could be refused for. The status, or -1 when the file would not open.
LONG Link(const std::string& absFrom, const std::string& absTo, bool replace) {
  using SetInformation = LONG(WINAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, int);
  constexpr int kFileLinkInformation = 11;  // the Win32 API names no such call
  static const auto set = reinterpret_cast<SetInformation>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtSetInformationFile")));
  if (set == nullptr) return -1;
  HANDLE h = CreateFileW(win::LongPath(absFrom).c_str(), FILE_WRITE_ATTRIBUTES | SYNCHRONIZE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return -1;
  const std::wstring to = L"\\??\\" + win::LongPath(absTo).substr(4);
  std::vector<char> buf(sizeof(FILE_RENAME_INFO) + to.size() * sizeof(wchar_t));
  auto* link = reinterpret_cast<FILE_RENAME_INFO*>(buf.data());  // the same layout
  link->ReplaceIfExists = replace ? TRUE : FALSE;
  link->RootDirectory = nullptr;
  link->FileNameLength = static_cast<DWORD>(to.size() * sizeof(wchar_t));
  std::copy(to.begin(), to.end(), link->FileName);
  IO_STATUS_BLOCK io{};
  const LONG status = set(h, &io, link, static_cast<ULONG>(buf.size()), kFileLinkInformation);
  CloseHandle(h);
  return status;
}

// Whether this system links so at all, found once by a name nobody else knows: a refused link
// in the list's place may mean that a program has the list open, or that the system wants
// more access for a link.
bool LinksWork(const std::string& absFrom) {
  static const bool work = [&] {
    const std::string probe = absFrom + ".lnk";
    DeleteFileW(win::LongPath(probe).c_str());  // one a stopped run left
    if (Link(absFrom, probe, false) != 0) return false;
    DeleteFileW(win::LongPath(probe).c_str());
    return true;
  }();
  return work;
}

// The new list's own name goes once no program has the list open, by a file of the run's own
// put in its place; one still there after a while goes with the next run's new list.
void DropName(const std::string& abs) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  for (;;) {
    try {
      RemoveEntryByAnother(abs);
      return;
    } catch (const FileError&) {
      if (std::chrono::steady_clock::now() > until) return;
    }
    Sleep(2);
  }
}

}  // namespace

// A rename's handle has delete access, and in the instant before it is closed an open of the
// list that does not share deletion (the C runtime's) is refused. The new list gets the list's
// name as a second name instead, in place of the old list, which Windows refuses while a
// program has it open; then its own name goes. A disk that keeps one name a file renames.
bool Files::ReplaceUnlessOpen(std::string_view from, std::string_view to) {
  const std::string absFrom = HostPath(from);
  const std::string absTo = HostPath(to);
  Fault(faults::Op::kRename, absTo);
  constexpr LONG kAccessDenied = static_cast<LONG>(0xC0000022);
  constexpr LONG kSharingViolation = static_cast<LONG>(0xC0000043);
  const LONG linked = Link(absFrom, absTo, true);
  if (linked == 0) {
    DropName(absFrom);
    view_->Renamed(absFrom, absTo);
    return true;
  }
  if ((linked == kAccessDenied || linked == kSharingViolation) && LinksWork(absFrom)) return false;
  if (MoveFileExW(win::LongPath(absFrom).c_str(), win::LongPath(absTo).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    view_->Renamed(absFrom, absTo);
    return true;
  }
  // A file another program has open cannot be replaced; Wine refuses it even when the
  // program shares it for deletion.
  const DWORD err = GetLastError();
  if (err == ERROR_ACCESS_DENIED || err == ERROR_SHARING_VIOLATION) return false;
  throw win::Error(err, absTo);
}

// Wine shows a Unix symbolic link as the file it leads to; the handle's final path tells
// where that is, as it tells for a Windows link.
std::string Files::FinalPath(std::string_view winPath) {
  const std::string abs = HostPath(winPath);
  Fault(faults::Op::kStat, abs);
  HANDLE h = Inspect(abs);
  if (h == INVALID_HANDLE_VALUE) return abs;
  wchar_t buf[MAX_PATH * 4];
  const DWORD n = GetFinalPathNameByHandleW(h, buf, MAX_PATH * 4, VOLUME_NAME_DOS);
  CloseHandle(h);
  if (n == 0 || n >= MAX_PATH * 4) return abs;
  std::string final = win::Narrow(std::wstring_view(buf, n));
  if (final.starts_with("\\\\?\\")) final.erase(0, 4);
  // A test program's drive C: is a scratch folder: the final path is taken back to it.
  if (std::string root = faults::TestDrive(); !root.empty()) {
    std::replace(root.begin(), root.end(), '/', '\\');
    if (UpperCase(final.substr(0, root.size())) == UpperCase(root)) {
      final = "C:" + final.substr(root.size());
    }
  }
  if (UpperCase(final) == UpperCase(abs)) return abs;
  if (final.size() < 3 || UpperChar(final[0]) != 'C' || final[1] != ':' || final[2] != '\\') {
    throw FileError(FileError::Kind::kOther, abs, "it is a link to a file off drive C:");
  }
  return final;
}

std::string Files::FileId(std::string_view winPath) {
  const std::string abs = HostPath(winPath);
  Fault(faults::Op::kStat, abs);
  HANDLE h = Inspect(abs);
  if (h == INVALID_HANDLE_VALUE) return {};
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  if (!known) return {};
  return std::to_string(info.dwVolumeSerialNumber) + ":" +
         std::to_string((static_cast<unsigned long long>(info.nFileIndexHigh) << 32) |
                        info.nFileIndexLow);
}

}  // namespace platform

namespace platform::raw {

// This program's own handle is in the way of the open that tells: it goes first.
bool OpenElsewhere(Files& files, Handle mine, const std::string& absPath, Files::Look look) {
  if (look == Files::Look::kLiveName) return false;
  if (mine != kNoFile) {
    throw FileError(FileError::Kind::kOther, absPath, "the run holds it open itself");
  }
  const std::string abs = files.HostPath(absPath);
  Fault(faults::Op::kOpen, abs);
  HANDLE h = CreateFileW(win::LongPath(abs).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    CloseHandle(h);
    return false;
  }
  const DWORD err = GetLastError();
  if (err == ERROR_SHARING_VIOLATION) return true;
  if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) return false;
  throw win::Error(err, abs);
}

// Windows tells no one when a file is closed.
bool AwaitAlone(Files& files, Handle mine, const std::string& absPath, Files::Look look,
                std::chrono::milliseconds limit) {
  return PollAlone(files, mine, absPath, look, limit);
}

}  // namespace platform::raw
