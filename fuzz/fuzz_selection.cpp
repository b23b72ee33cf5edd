// Kelvaron.INI and Select.TXT: the input is split at its first NUL.
#include <string>

#include "fuzz/fuzz_station.h"
#include "platform/codepage.h"
#include "platform/file_error.h"
#include "platform/files.h"
#include "settings/selection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::WriteSplit(data, size, "Kelvaron.INI", "Bulls/Select.TXT");

  settings::GroupSelection sel;
  try {
    platform::Files files;
    settings::OpenParamFile(sel, files);
  } catch (const platform::FileError&) {
    FUZZ_CHECK(sel.GroupCount == 0);
    return 0;
  }
  FUZZ_CHECK(sel.GroupCount >= 0 && sel.GroupCount <= settings::kMaxGroups);
  for (int i = 1; i <= sel.GroupCount; ++i) {
    const std::string& name = sel.Groups[i];
    FUZZ_CHECK(!name.empty());
    FUZZ_CHECK(platform::UpperCase(name) == name);
    FUZZ_CHECK(name.find_first_of("\r\n") == std::string::npos);
  }
  return 0;
}
