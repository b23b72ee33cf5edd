// Lastnum.txt and the PRUNE_SIZE search of Packet.ini: the input is split at its first NUL.
#include <string>

#include "fuzz/fuzz_station.h"
#include "platform/codepage.h"
#include "platform/file_error.h"
#include "platform/files.h"
#include "platform/textfile.h"
#include "run/run_state.h"
#include "run/value.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::WriteSplit(data, size, "Bulls/Lastnum.txt", "Packet.ini");

  platform::Files files;
  try {
    const int32_t last = run::ReadLastNum(files);
    const int32_t limit = run::ApplyPruneSize(files, last);
    // The limit is the last number less the value of the first PRUNE_SIZE line's rest.
    platform::TextReader ini(files, "C:\\Winpack\\Packet.ini");
    std::string line = ini.ReadLine();
    while (platform::UpperCase(line.substr(0, 10)) != "PRUNE_SIZE") line = ini.ReadLine();
    const int32_t prune = run::RoundToWhole(run::ValueOfText(line.substr(11)));
    FUZZ_CHECK(int64_t{limit} == int64_t{last} - prune);
  } catch (const platform::FileError& e) {
    FUZZ_CHECK(!e.path().empty());
  }
  return 0;
}
