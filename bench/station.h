#pragma once

#include <string>
#include <vector>

namespace bench {

/// The day the benchmark's runs take place on, as the run's clock gives it.
inline constexpr char kDateText[] = "07-12-2026";
inline constexpr char kStamp[] = "261207";

/// Writes a synthetic Winpack station with `lines` marked bulletins into the Wine prefix
/// `prefix`: bulletins of 1 to 8 KB, 20 groups of which 10 selected, about 5 % of the lines
/// past the prune limit, 2 % of the bulletins missing, and group folders that already hold
/// up to 10,000 archive files of several days, today's first numbers among them.
void MakeStation(const std::string& prefix, int lines, unsigned seed);

/// The selected groups, in the order of Kelvaron.INI.
std::vector<std::string> SelectedGroups();

}  // namespace bench
