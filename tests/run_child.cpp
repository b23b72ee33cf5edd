// One archive run in a process of its own, which the crash tests kill at the file operation
// whose number is the argument.
#include <cstdio>
#include <cstdlib>

#include "platform/faults.h"
#include "run/run.h"
#include "tests/station.h"

namespace {

class Printer : public run::Reporter {
 public:
  void SetPanelText(int, const std::string&) override {}
  void ShowMessage(Kind, const std::string& text) override { std::printf("%s\n", text.c_str()); }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) platform::faults::KillAtCall(std::atoi(argv[1]));
  Printer printer;
  const test::FixedClock clock("07-12-2026");
  run::MnuArchive_Click(printer, clock);
  return 0;
}
