#include <shellapi.h>
#include <windows.h>

#include <vector>

#include "platform/trash.h"

namespace platform {

// The shell's delete with undo allowed sends the file to the Recycle Bin without asking.
int MoveToTrash(std::string_view winPath, std::string* reason) {
  std::vector<char> from(winPath.begin(), winPath.end());
  from.push_back('\0');
  from.push_back('\0');  // the name list ends with an empty name
  SHFILEOPSTRUCTA op{};
  op.hwnd = nullptr;
  op.wFunc = FO_DELETE;
  op.pFrom = from.data();
  op.pTo = nullptr;
  op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION;
  const int result = SHFileOperationA(&op);
  if (result != 0 && reason != nullptr) *reason = "shell file operation failed";
  return result;
}

}  // namespace platform
