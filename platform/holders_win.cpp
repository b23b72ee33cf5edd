#include <winternl.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <vector>

#include "platform/codepage.h"
#include "platform/drive_win.h"
#include "platform/faults.h"  // TestDrive only: where a test program's drive C: lies
#include "platform/file_error.h"
#include "platform/holders.h"

// Who holds a file open, and what a link leads to. Windows tells both only through a handle:
// whether another program holds a file is found by opening it alone, which is done only by a
// name nobody else knows.
namespace platform {
namespace {

// NtSetInformationFile's FileLinkInformation: the file `absFrom` names gets the name `absTo`
// as well, with `replace` in place of what bore it, through a handle that asks for no access
// another program's open could be refused for. The status, or -1 when the file would not open.
LONG Link(const std::string& absFrom, const std::string& absTo, bool replace) {
  using SetInformation = LONG(WINAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, int);
  constexpr int kFileLinkInformation = 11;  // the Win32 API names no such call
  static const auto set = reinterpret_cast<SetInformation>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtSetInformationFile")));
  if (set == nullptr) return -1;
  HANDLE h = OpenShared(absFrom, FILE_WRITE_ATTRIBUTES | SYNCHRONIZE, OPEN_EXISTING,
                        FILE_FLAG_OPEN_REPARSE_POINT);
  if (h == INVALID_HANDLE_VALUE) return -1;
  std::vector<char> link = RenameInfo(L"\\??\\" + win::LongPath(absTo).substr(4), replace);
  IO_STATUS_BLOCK io{};
  const LONG status =
      set(h, &io, link.data(), static_cast<ULONG>(link.size()), kFileLinkInformation);
  CloseHandle(h);
  return status;
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

// This program's own handle is in the way of the open that tells; the caller has none.
bool OpenElsewhere(const std::string& abs) {
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

// A test program's drive C: is a scratch folder: a final path in it is taken back to C:.
std::string OnTestDrive(std::string final) {
  if (std::string root = faults::TestDrive(); !root.empty()) {
    std::replace(root.begin(), root.end(), '/', '\\');
    if (UpperCase(final.substr(0, root.size())) == UpperCase(root)) {
      final = "C:" + final.substr(root.size());
    }
  }
  return final;
}

}  // namespace

// Found by a name nobody else knows, not from a refused link: one refused in the list's place
// may mean that a program has the list open, or that the system wants more access for a link,
// and Wine refuses access on a disk of Linux's that has no links.
// A file that would not open for the try (a scanner holding it) is no answer: it is asked again.
bool LinksWork(const std::string& absFrom) {
  static std::optional<bool> work;
  if (work) return *work;
  const std::string probe = absFrom + ".lnk";
  try {
    RemoveEntry(probe);  // one a stopped run left, as a name
  } catch (const FileError&) {
  }
  const LONG linked = Link(absFrom, probe, false);
  if (linked == -1) return false;
  if (linked == 0) DeleteFileW(win::LongPath(probe).c_str());
  work = linked == 0;
  return *work;
}

// A rename's handle has delete access, and in the instant before it is closed an open of the
// list that does not share deletion (the C runtime's) is refused. The new list gets the list's
// name as a second name instead, in place of the old list, which Windows refuses while a
// program has it open; then its own name goes. A disk that keeps one name a file renames: it
// is not asked for the link, which Wine tries only after taking the old name away, and leaves
// so when the link fails.
bool SystemDrive::ReplaceUnlessOpen(const std::string& from, const std::string& to) {
  HostPath(from);
  HostPath(to);
  constexpr LONG kAccessDenied = static_cast<LONG>(0xC0000022);
  constexpr LONG kSharingViolation = static_cast<LONG>(0xC0000043);
  if (LinksWork(from)) {
    const LONG linked = Link(from, to, true);
    if (linked == 0) {
      DropName(from);
      state_->unflushed.Renamed(from, to);
      return true;
    }
    if (linked == kAccessDenied || linked == kSharingViolation) return false;
  }
  if (MoveFileExW(win::LongPath(from).c_str(), win::LongPath(to).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    state_->unflushed.Renamed(from, to);
    return true;
  }
  // A file another program has open cannot be replaced; Wine refuses it even when the
  // program shares it for deletion.
  const DWORD err = GetLastError();
  if (err == ERROR_ACCESS_DENIED || err == ERROR_SHARING_VIOLATION) return false;
  throw win::Error(err, to);
}

// Wine shows a Unix symbolic link as the file it leads to; the handle's final path tells
// where that is, as it tells for a Windows link.
std::string SystemDrive::FinalPath(const std::string& abs) {
  HostPath(abs);
  HANDLE h = OpenShared(abs, 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  if (h == INVALID_HANDLE_VALUE) return abs;
  const std::wstring resolved = FinalPathOf(h);
  CloseHandle(h);
  if (resolved.empty() || resolved.size() >= MAX_PATH * 4) return abs;
  std::string final = win::Narrow(resolved);
  if (final.starts_with("\\\\?\\")) final.erase(0, 4);
  final = OnTestDrive(std::move(final));
  if (UpperCase(final) == UpperCase(abs)) return abs;
  const bool onDriveC =
      final.size() >= 3 && UpperChar(final[0]) == 'C' && final[1] == ':' && final[2] == '\\';
  return onDriveC ? final : std::string();
}

std::string SystemDrive::FileId(const std::string& abs) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!InfoAt(HostPath(abs), info)) return {};
  return std::to_string(info.dwVolumeSerialNumber) + ":" +
         std::to_string((static_cast<unsigned long long>(info.nFileIndexHigh) << 32) |
                        info.nFileIndexLow);
}

// Windows tells no one when a file is closed, nor who holds one: the file is opened alone
// again and again. A live name is never opened so (the replacement that follows finds out),
// and this program's own handle would be in the way.
bool SystemDrive::AwaitAlone(const std::string& abs, OpenFile* mine, Look look,
                             std::chrono::milliseconds limit) {
  if (look == Look::kLiveName) return true;
  if (mine != nullptr) {
    throw FileError(FileError::Kind::kOther, abs, "the run holds it open itself");
  }
  HostPath(abs);
  struct AloneOpens final : Holders {
    explicit AloneOpens(const std::string& path) : abs(path) {}
    std::vector<std::string> Scan(const std::vector<std::string>&) override {
      return OpenElsewhere(abs) ? std::vector<std::string>{abs} : std::vector<std::string>{};
    }
    bool AnyHolds(const std::vector<std::string>&) override { return OpenElsewhere(abs); }
    bool AwaitClose(std::chrono::milliseconds wait) override {
      Sleep(static_cast<DWORD>(std::min<long long>(wait.count(), 2)));
      return true;
    }
    const std::string& abs;
  } holders(abs);
  return platform::AwaitAlone(holders, std::chrono::milliseconds(0), limit);
}

}  // namespace platform
