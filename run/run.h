#pragma once

#include "platform/clock.h"
#include "run/reporter.h"

namespace run {

/// One whole archive run: today's stamp and selection, the prune limit, what an interrupted
/// run left, the pass over MARKED.TXT, the new list in its place, and the closing messages.
/// Never throws: every failure is told through the Reporter, and only a completed run ends
/// with "Kelvaron is Finnished.". Each run starts afresh from the disk.
void ArchiveMarkedBulletins(Reporter& reporter, const platform::Clock& clock);

}  // namespace run
