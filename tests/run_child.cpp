// One archive run in a process of its own, which the crash tests kill at the file operation
// whose number is the argument. With "pause" the run stops at its first bulletin, lock held,
// says "running" and goes on once its input ends, so that another program can be started
// while it is surely in progress.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/faults.h"
#include "run/run.h"
#include "tests/station.h"

namespace {

class Printer : public run::Reporter {
 public:
  explicit Printer(bool pause) : pause_(pause) {}
  void SetPanelText(int, const std::string&) override {
    if (!pause_) return;
    pause_ = false;
    std::printf("running\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
  }
  void ShowMessage(Kind, const std::string& text) override { std::printf("%s\n", text.c_str()); }

 private:
  bool pause_;
};

}  // namespace

int main(int argc, char** argv) {
  const bool pause = argc > 1 && std::string(argv[1]) == "pause";
  if (argc > 1 && !pause) platform::faults::KillAtCall(std::atoi(argv[1]));
  Printer printer(pause);
  const test::FixedClock clock("07-12-2026");
  run::ArchiveMarkedBulletins(printer, clock);
  return 0;
}
