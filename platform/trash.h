#pragma once

#include <string>
#include <string_view>

namespace platform {

/// Sends a file to the Recycle Bin / Trash, from where the user can restore it; never
/// deletes it instead. Returns 0 on success, else a non-zero code and the reason in `reason`.
int MoveToTrash(std::string_view winPath, std::string* reason = nullptr);

}  // namespace platform
