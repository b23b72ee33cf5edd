#include "platform/faults.h"
#include "platform/files.h"

// The run lock, one protocol for both systems' programs: the first byte of MARKED.LCK,
// locked alike by each, so that under Wine each refuses the other's run; the system lets go
// when the process ends, however it ends.
namespace platform {

bool Files::LockRun(std::string_view lockFile) {
  const std::string abs = AbsoluteWinPath(lockFile);
  for (;;) {
    Fault(faults::Op::kCreate, abs);
    std::unique_ptr<OpenFile> lock = drive_->OpenLockFile(abs);
    if (!drive_->LockFirstByte(*lock, abs)) return false;
    // The run before may have removed the file as it ended, after this one opened it: only
    // the file that the name holds now is the lock.
    if (drive_->Names(abs, *lock)) {
      lock_ = std::move(lock);
      lockPath_ = abs;
      return true;
    }
  }
}

// Removed while still held, so that no other run can take a file about to go.
void Files::Unlock() noexcept {
  if (!lock_) return;
  drive_->RemoveLockFile(*lock_, lockPath_);
  lock_.reset();
}

}  // namespace platform
