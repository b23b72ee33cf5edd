#pragma once

// What a run's Files keeps on Windows; shared by the Windows files of the platform only.
#include <string>

// clang-format off
#include "platform/wide_win.h"  // first: it takes back the names windows.h takes
#include "platform/faults.h"
#include "platform/files.h"
// clang-format on

namespace platform {

struct Files::Impl {
  std::string curDir = "C:\\";
};

/// Throws the failure that the test seam injects into `op`, if any.
void Fault(faults::Op op, const std::string& absPath);

}  // namespace platform
