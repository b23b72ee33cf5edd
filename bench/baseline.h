#pragma once

#include <string>

namespace bench {

/// The archive run's outputs for the benchmark's station, by hand-written system calls.
/// Returns the seconds it waited for its flushes: what durability costs.
double Baseline(const std::string& prefix, const std::string& dataHome);

}  // namespace bench
