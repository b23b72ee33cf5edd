// clang-format off
#include "platform/files_win.h"
#include <shellapi.h>  // needs the types of windows.h
// clang-format on

#include <cstdio>

namespace platform {

// The shell's delete with undo sends the file to the Recycle Bin without a question. Where
// the bin cannot take it (too large, bin switched off, a removable drive) the shell would
// delete it for good; FOF_WANTNUKEWARNING has it ask first, and a "no" leaves the file where
// it is, reported as not recycled.
int Files::MoveToTrash(std::string_view winPath, std::string* reason) {
  std::string abs;
  try {
    abs = HostPath(winPath);
    Fault(faults::Op::kTrash, abs);
  } catch (const FileError& e) {
    if (reason != nullptr) *reason = e.reason();
    return 1;
  }
  // Asked to recycle a file that is not there, the shell would offer to delete it for good.
  if (GetFileAttributesW(win::LongPath(abs).c_str()) == INVALID_FILE_ATTRIBUTES) {
    const DWORD err = GetLastError();
    if (reason != nullptr) *reason = win::Reason(err);
    return static_cast<int>(err);
  }
  std::wstring from = win::Wide(abs);
  from.push_back(L'\0');  // the name list ends with an empty name
  SHFILEOPSTRUCTW op{};
  op.hwnd = nullptr;
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.pTo = nullptr;
  // No error box of the shell's own: the run names the bulletin in its message.
  op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_WANTNUKEWARNING | FOF_NOERRORUI;
  const int result = SHFileOperationW(&op);
  if (result == 0 && !op.fAnyOperationsAborted &&
      GetFileAttributesW(win::LongPath(abs).c_str()) == INVALID_FILE_ATTRIBUTES) {
    return 0;
  }
  if (reason != nullptr) {
    char code[64];
    std::snprintf(code, sizeof code, "the shell did not recycle it (code 0x%X)",
                  static_cast<unsigned>(result));
    *reason = op.fAnyOperationsAborted ? "the recycling was cancelled" : code;
  }
  return result != 0 ? result : 1;
}

}  // namespace platform
