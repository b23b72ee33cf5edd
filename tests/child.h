#pragma once

#include <cstdlib>
#include <string>

// What the fault tests do with a process of their own: the one thing that differs between
// the systems.
namespace test {

struct ChildEnd {
  bool completed = false;  // ran to its end and exited with 0
  bool killed = false;     // ended by the fault seam at the file operation asked for
  long code = -1;          // its exit code (128 + signal on Linux), -1 when it never started
};

/// Runs the run_child program (KELVARON_RUN_CHILD), which makes one archive run and kills
/// itself at file operation `killAt` (0: never). With `dir`, the run's drive and trash are in
/// that folder; with `out`, its messages go to that file. Empty `child` when none is set.
ChildEnd RunChild(const std::string& child, int killAt, const std::string& dir = "",
                  const std::string& out = "");

/// The run_child program, or empty when the tests were not given one.
inline std::string ChildProgram() {
  const char* child = std::getenv("KELVARON_RUN_CHILD");
  return child != nullptr ? child : "";
}

/// The process's peak memory so far, in KiB.
long PeakKiB();

/// Whether this system can give a run a file system of its own (a tmpfs, a loop-mounted
/// image): root on Linux; never under Windows.
bool CanMount();

/// Whether a run's drive C: can be put in a folder of the test's choosing (a Wine prefix).
bool DriveCanMove();

/// Runs a shell command quietly; its exit status.
int Shell(const std::string& command);

}  // namespace test
