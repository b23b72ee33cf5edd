#include "platform/files.h"

#include <string>
#include <vector>

namespace platform {

int Files::MoveToTrash(std::string_view winPath, std::string* reason) {
  std::vector<std::string> reasons;
  MoveToTrash({std::string(winPath)}, reasons);
  if (reasons[0].empty()) return 0;
  if (reason != nullptr) *reason = reasons[0];
  return -1;
}

}  // namespace platform
