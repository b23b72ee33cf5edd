#include "platform/holders.h"

#include <algorithm>
#include <utility>

namespace platform {
namespace {

// How often every process is looked at again, for one that opened the file since.
constexpr auto kLookEverywhere = std::chrono::milliseconds(50);

}  // namespace

// A program that keeps the file open may let go of it for a moment only, less than a Scan
// takes. A close is told as it happens: then only the open files found holding it are looked
// at, at once, and every one again now and then for one opened since. One missed so holds the
// old list after its replacement, which the run finds then.
bool AwaitAlone(Holders& holders, std::chrono::milliseconds settle,
                std::chrono::milliseconds limit) {
  using Clock = Holders::Clock;
  const auto until = holders.Now() + limit;
  auto scanAt = holders.Now();
  std::vector<std::string> held;
  bool alone = false;  // since `aloneSince`, as far as this run has seen
  Clock::time_point aloneSince;
  const auto nobody = [&](Clock::time_point now) {
    held.clear();
    if (!std::exchange(alone, true)) aloneSince = now;
    scanAt = aloneSince + settle;  // the last look, unless one is found holding it before
  };
  while (true) {
    const auto now = holders.Now();
    if (now >= scanAt) {
      held = holders.Scan(held);
      if (held.empty() && (settle.count() == 0 || (alone && now >= aloneSince + settle))) {
        return true;
      }
      if (held.empty()) {
        nobody(now);
      } else {
        alone = false;
        scanAt = now + kLookEverywhere;
      }
      continue;
    }
    if (now >= until && !alone) return false;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(
        (alone ? scanAt : std::min(until, scanAt)) - now);
    if (!holders.AwaitClose(wait)) continue;
    if (!held.empty() && !holders.AnyHolds(held)) {
      if (settle.count() == 0) return true;
      nobody(holders.Now());
    }
  }
}

}  // namespace platform
