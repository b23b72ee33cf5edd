// Lastnum.txt and the PRUNE_SIZE search of Packet.ini: the input is split at its first NUL.
#include <string>

#include "fuzz/fuzz_station.h"
#include "platform/codepage.h"
#include "platform/file_error.h"
#include "platform/files.h"
#include "run/archive_run.h"
#include "run/value.h"

namespace {

class Silent : public run::Reporter {
 public:
  void SetPanelText(int, const std::string&) override {}
  void ShowMessage(Kind, const std::string&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::WriteSplit(data, size, "Bulls/Lastnum.txt", "Packet.ini");

  run::RunState state;
  Silent silent;
  platform::SystemClock clock;
  run::ArchiveRun run(state, silent, clock);
  try {
    run.ReadLastNum();
    const int32_t last = state.PruneLimit;
    run.ApplyPruneSize();
    FUZZ_CHECK(platform::UpperCase(state.HeadLine1.substr(0, 10)) == "PRUNE_SIZE");
    FUZZ_CHECK(state.PruneSize == run::LongOfValue(run::ValueOfText(state.HeadLine1.substr(11))));
    FUZZ_CHECK(int64_t{state.PruneLimit} == int64_t{last} - state.PruneSize);
  } catch (const platform::FileError& e) {
    FUZZ_CHECK(!e.path().empty());
  }
  return 0;
}
