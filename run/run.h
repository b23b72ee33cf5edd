#pragma once

#include <functional>
#include <memory>

#include "platform/clock.h"
#include "platform/drive.h"
#include "run/reporter.h"

namespace run {

/// One whole archive run: today's stamp and selection, the prune limit, what an interrupted
/// run left, the pass over MARKED.TXT, the new list in its place, and the closing messages.
/// Never throws: every failure is told through the Reporter, and only a completed run ends
/// with "Kelvaron is Finnished.". Each run starts afresh from the disk, which `drive` gives:
/// the system's, or one a test made.
using DriveSource = std::function<std::unique_ptr<platform::Drive>()>;
void ArchiveMarkedBulletins(Reporter& reporter, const platform::Clock& clock,
                            const DriveSource& drive = platform::HostDrive);

}  // namespace run
