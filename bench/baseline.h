#pragma once

#include <string>

namespace bench {

/// The archive run's outputs for the benchmark's station, by hand-written system calls.
/// Without `durable` it leaves out the flushes, to show what they cost.
void Baseline(const std::string& prefix, const std::string& dataHome, bool durable = true);

}  // namespace bench
