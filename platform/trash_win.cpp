// clang-format off
#include "platform/drive_win.h"
#include "platform/wording.h"
#include <shellapi.h>  // needs the types of windows.h
// clang-format on

#include <algorithm>
#include <cstdio>
#include <vector>

namespace platform {

// The shell's delete with undo sends the file to the Recycle Bin without a question. Where
// the bin cannot take it (too large, bin switched off, a removable drive) the shell would
// delete it for good; FOF_WANTNUKEWARNING has it ask first, and a "no" leaves the file where
// it is, reported as not recycled.
namespace {

// One file to the Recycle Bin; empty when it went, else why not.
std::string Recycle(const std::string& abs) {
  // Asked to recycle a file that is not there, the shell would offer to delete it for good.
  if (GetFileAttributesW(win::LongPath(abs).c_str()) == INVALID_FILE_ATTRIBUTES) {
    return win::Reason(GetLastError());
  }
  std::wstring from = win::SystemPath(abs);
  from.push_back(L'\0');  // the name list ends with an empty name
  SHFILEOPSTRUCTW op{};
  op.hwnd = nullptr;
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.pTo = nullptr;
  // The shell's own error boxes stay on, as they always were: the operator learns at once
  // why a bulletin stays, and the run names it again in its closing message.
  op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_WANTNUKEWARNING;
  const int result = SHFileOperationW(&op);
  const bool gone = GetFileAttributesW(win::LongPath(abs).c_str()) == INVALID_FILE_ATTRIBUTES;
  if (result == 0 && !op.fAnyOperationsAborted && gone) return std::string();
  if (op.fAnyOperationsAborted) {
    return "the Recycle Bin cannot take it, and deleting it for good was declined";
  }
  char code[64];
  std::snprintf(code, sizeof code, "the shell did not recycle it (code 0x%X)",
                static_cast<unsigned>(result));
  return code;
}

// Under Wine the Recycle Bin is the desktop's trash ($XDG_DATA_HOME/Trash), reached through
// drive Z:; empty on Windows, whose Recycle Bin is the system's own.
std::string WineTrash() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr) return {};
  const auto env = [](const wchar_t* name) {
    std::wstring value(32768, L'\0');
    const DWORD n = GetEnvironmentVariableW(name, value.data(), 32768);
    value.resize(n < 32768 ? n : 0);
    return value;
  };
  std::wstring data = env(L"XDG_DATA_HOME");
  if (data.empty() && !env(L"HOME").empty()) data = env(L"HOME") + L"/.local/share";
  if (data.empty()) return {};
  std::replace(data.begin(), data.end(), L'/', L'\\');
  return win::Narrow(L"Z:" + data + L"\\Trash");
}

// Wine's shell writes the trash's records without a flush: each record of a file of that
// name, and the trash's two folders, are flushed here.
void FlushWineRecords(const std::string& trash, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    WIN32_FIND_DATAW found{};
    HANDLE find =
        FindFirstFileW(win::Wide(trash + "\\info\\" + name + "*.trashinfo").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) continue;
    do {
      FlushPath(trash + "\\info\\" + win::Narrow(found.cFileName), false);
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
  FlushPath(trash + "\\info", true);
  FlushPath(trash + "\\files", true);
}

}  // namespace

// Everything before is made durable first; the shell keeps its own record of where each
// file came from, which under Wine is flushed right after the file's move, before the next.
std::vector<std::string> SystemDrive::MoveToTrash(const std::vector<std::string>& abs,
                                                  TrashSteps& steps) {
  std::vector<std::string> reasons(abs.size());
  try {
    steps.Flush();
  } catch (const FileError& e) {
    for (std::string& r : reasons) r = words::kTrashNotDurable + std::string(e.what());
    return reasons;
  }
  const std::string wineTrash = WineTrash();
  for (std::size_t i = 0; i < abs.size(); ++i) {
    try {
      HostPath(abs[i]);
      steps.Moving(abs[i]);
      reasons[i] = Recycle(abs[i]);
      if (!reasons[i].empty()) continue;
      state_->unflushed.Removed(abs[i]);
      if (!wineTrash.empty()) {
        try {
          FlushWineRecords(wineTrash, {abs[i].substr(abs[i].rfind('\\') + 1)});
        } catch (const FileError& e) {
          reasons[i] = words::kTrashRecordNotDurable + std::string(e.what());
        }
      }
    } catch (const FileError& e) {
      reasons[i] = e.reason();
    }
  }
  return reasons;
}

}  // namespace platform
