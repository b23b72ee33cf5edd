// Takes the station's run lock for lock_win.sh: "hold" says "held" and keeps it until its
// input ends; "try" says "taken" or "refused" and lets go.
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
}
