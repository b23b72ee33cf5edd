#pragma once

#include <functional>
#include <string>

#include "platform/file_error.h"

// A seam for tests that prove a run loses nothing when the system fails: any call of a file
// operation can be made to fail, or the process to die there. Only test programs link the
// working seam (faults.cpp); the program links faults_none.cpp, which never injects.
namespace platform::faults {

enum class Op {
  kOpen,
  kCreate,
  kRead,
  kWrite,
  kSync,
  kClose,
  kRename,
  kMakeDir,
  kRemove,
  kStat,
  kList,
  kTrash,
  kCount
};

/// Makes the nth call (counted from 1 after Reset) of `op` fail with errno `err`.
void FailNth(Op op, int n, int err);
/// Kills the process with SIGKILL at the nth call of any operation.
void KillAtCall(int n);
/// Does `action` (what another program does meanwhile) before every call of `op`.
void BeforeEach(Op op, std::function<void()> action);
/// Counts from zero again and injects nothing.
void Reset();
int Calls(Op op);

/// Called by the platform before each operation: the errno to fail with, or 0.
int Check(Op op);

const char* Name(Op op);

/// Where a test program's drive C: lies on Windows: the folder named by KELVARON_TEST_DRIVE
/// (a scratch folder, so that a test run on an operator's machine never touches the real
/// C:\Winpack), else empty for the real drive. Always empty in the program.
const std::string& TestDrive();

}  // namespace platform::faults

namespace platform {

/// Throws the failure that the seam injects into this call of `op`, naming `winPath`, if any.
inline void Fault(faults::Op op, const std::string& winPath) {
  if (const int err = faults::Check(op)) throw FileError::FromErrno(err, winPath);
}

}  // namespace platform
