#include "platform/faults.h"
#include "platform/files.h"
#include "platform/rawfile.h"

// The run lock, one protocol for both systems' programs: the first byte of MARKED.LCK,
// locked alike by each, so that under Wine each refuses the other's run; the system lets go
// when the process ends, however it ends.
namespace platform {

bool Files::LockRun(std::string_view lockFile) {
  const std::string abs = AbsoluteWinPath(lockFile);
  for (;;) {
    Fault(faults::Op::kCreate, abs);
    const raw::Handle lock = raw::OpenLockFile(*this, abs);
    if (!raw::LockFirstByte(lock, abs)) {
      raw::CloseQuietly(lock);
      return false;
    }
    // The run before may have removed the file as it ended, after this one opened it: only
    // the file that the name holds now is the lock.
    if (raw::SameFile(*this, lock, abs)) {
      lock_ = lock;
      lockPath_ = abs;
      return true;
    }
    raw::CloseQuietly(lock);
  }
}

// Removed while still held, so that no other run can take a file about to go.
void Files::Unlock() noexcept {
  if (lock_ == raw::kNoFile) return;
  raw::RemoveLockFile(*this, lock_, lockPath_);
  raw::CloseQuietly(lock_);
  lock_ = raw::kNoFile;
}

}  // namespace platform
