#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"

namespace run {

/// What a run learns before its pass, made fresh for each run: the date stamp of its archive
/// names, the selection list, and the prune limit.
struct RunState {
  std::string year, month, day;     // two digits each
  std::vector<std::string> groups;  // the selection list (settings::LoadSelection)
  int32_t pruneLimit = 0;           // last bulletin number less the prune size
};

/// Today's date stamp and the selection list (which may create Kelvaron.INI). Throws
/// FileError for a date that is not day-first digits and for a list that cannot be read.
RunState StartRunState(platform::Files& files, const platform::Clock& clock);

/// The last bulletin number, from the first line of Lastnum.txt. Throws FileError.
int32_t ReadLastNum(platform::Files& files);

/// The last number less the PRUNE_SIZE of Packet.ini: the prune limit. Throws FileError.
int32_t ApplyPruneSize(platform::Files& files, int32_t lastNum);

}  // namespace run
