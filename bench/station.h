#pragma once

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace bench {

/// The day the benchmark's runs take place on, as the run's clock gives it.
inline constexpr char kDateText[] = "07-12-2026";
inline constexpr char kStamp[] = "261207";

/// The clock of the benchmark's runs: always that day.
class Clock : public platform::Clock {
 public:
  std::string DateText() const override { return kDateText; }
};

/// The process's own peak resident memory in KiB. (getrusage's maxrss would count the memory
/// of the parent it was spawned from, which lives on across exec.)
inline long PeakKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

/// Writes a synthetic Winpack station with `lines` marked bulletins into the Wine prefix
/// `prefix`: bulletins of 1 to 8 KB, 20 groups of which 10 selected, about 5 % of the lines
/// past the prune limit, 2 % of the bulletins missing, and group folders that already hold
/// up to 10,000 archive files of several days, today's first numbers among them.
void MakeStation(const std::string& prefix, int lines, unsigned seed);

/// The selected groups, in the order of Kelvaron.INI.
std::vector<std::string> SelectedGroups();

}  // namespace bench
