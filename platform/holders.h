#pragma once

#include <chrono>
#include <string>
#include <vector>

// Waiting until a file is no program's but this one's: the timing is the same on both
// systems; what each can see of the programs holding a file is its own (holders_linux.cpp,
// holders_win.cpp).
namespace platform {

/// What a system tells of the programs that hold one file open.
class Holders {
 public:
  using Clock = std::chrono::steady_clock;

  virtual ~Holders() = default;
  /// The open files that are the file now, in whatever form the system names them; those
  /// in `first` are looked at first, as they are likely to hold it still.
  virtual std::vector<std::string> Scan(const std::vector<std::string>& first) = 0;
  /// Whether any of the open files Scan found still is the file: quicker than a Scan.
  virtual bool AnyHolds(const std::vector<std::string>& held) = 0;
  /// Waits up to `wait` for the file to be closed somewhere: false when the time ran out with
  /// no sign of a close. A system that tells no one of closes waits a moment and says true.
  virtual bool AwaitClose(std::chrono::milliseconds wait) = 0;
  virtual Clock::time_point Now() { return Clock::now(); }
};

/// Waits up to `limit` until nobody holds the file: false when one still does then. Once
/// nobody does, it waits `settle` more, through `limit` if need be, and looks again: a
/// program that found the file by a name it lost just before may open it only that while
/// later.
bool AwaitAlone(Holders& holders, std::chrono::milliseconds settle,
                std::chrono::milliseconds limit);

}  // namespace platform
