#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/rawfile.h"

// A write lease: granted only while no other open file refers to the file, and while it is
// held, an open by anyone else waits until it is given up.
namespace platform::raw {

bool OpenFilesCanBeReplaced() { return true; }

bool HoldAlone(Handle file) {
  const int fd = static_cast<int>(file);
  constexpr int kTries = 100;
  constexpr auto kWait = std::chrono::milliseconds(30);
  for (int i = 0; i < kTries; ++i) {
    if (fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
      // The system would signal this process when another wants the file, and a signal
      // that nobody handles ends it: the other simply waits until Release.
      fcntl(fd, F_SETOWN, 0);
      return true;
    }
    if (errno != EAGAIN && errno != EBUSY) return true;  // not ours to lease, or no leases
    std::this_thread::sleep_for(kWait);
  }
  return false;
}

void EndHold(Handle file) noexcept { fcntl(static_cast<int>(file), F_SETLEASE, F_UNLCK); }

}  // namespace platform::raw
