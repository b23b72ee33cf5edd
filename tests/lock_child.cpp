// Takes the run lock of the station on drive C:, for the test that runs the Linux program and
// Kelvaron.exe under Wine on one station at once. "hold": says "held" and keeps the lock until
// its input ends; "try": says "taken" or "refused" and lets go.
#include <cstdio>
#include <string>

#include "platform/files.h"

int main(int argc, char** argv) {
  const bool hold = argc > 1 && std::string(argv[1]) == "hold";
  platform::Files files;
  const bool taken = files.LockRun("C:\\Winpack\\BULLS\\MARKED.LCK");
  std::printf("%s\n", !taken ? "refused" : hold ? "held" : "taken");
  std::fflush(stdout);
  while (hold && taken && std::getchar() != EOF) {
  }
  return taken ? 0 : 1;
}
