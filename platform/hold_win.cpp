#include "platform/rawfile.h"

// Windows itself keeps a file that another program holds open from being replaced: the
// replacement fails, and the run leaves the list as it is.
namespace platform::raw {

bool OpenFilesCanBeReplaced() { return false; }

bool HoldAlone(Handle) { return true; }

void EndHold(Handle) noexcept {}

}  // namespace platform::raw
