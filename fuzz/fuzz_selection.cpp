// Kelvaron.INI and Select.TXT: the input is split at its first NUL.
#include <string>
#include <vector>

#include "fuzz/fuzz_station.h"
#include "platform/codepage.h"
#include "platform/file_error.h"
#include "platform/files.h"
#include "settings/selection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::WriteSplit(data, size, "Kelvaron.INI", "Bulls/Select.TXT");

  std::vector<std::string> groups;
  try {
    platform::Files files;
    groups = settings::LoadSelection(files);
  } catch (const platform::FileError&) {
    FUZZ_CHECK(groups.empty());
    return 0;
  }
  FUZZ_CHECK(groups.size() <= settings::kMaxGroups);
  for (const std::string& name : groups) {
    FUZZ_CHECK(!name.empty());
    FUZZ_CHECK(platform::UpperCase(name) == name);
    FUZZ_CHECK(name.find_first_of("\r\n") == std::string::npos);
  }
  return 0;
}
