// One line of MARKED.TXT: its K mark, and the bulletin path made from its number.
#include <string>

#include "fuzz/fuzz_station.h"
#include "platform/file_error.h"
#include "platform/files.h"
#include "run/marked_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string line(reinterpret_cast<const char*>(data), size);
  line = line.substr(0, line.find_first_of("\r\n"));

  // The mark keeps every character: taking the inserted K out gives the line back.
  const std::string marked = run::KMark(line);
  const std::size_t comma = line.find(',');
  FUZZ_CHECK(run::IsKMarked(marked));
  if (comma == std::string::npos) {
    FUZZ_CHECK(marked == line + ",K");
  } else {
    FUZZ_CHECK(marked.size() == line.size() + 1 && marked[comma + 1] == 'K');
    FUZZ_CHECK(marked.substr(0, comma + 1) + marked.substr(comma + 2) == line);
  }

  // The bulletin's path never leaves its subfolder of Winpack's bulletin folder.
  const std::string num = line.substr(0, 6);
  if (!run::NamesOneFile(num)) return 0;  // the run never opens it
  const std::string bulletinPath = run::BulletinPath(num);
  fuzz::Prefix();
  try {
    platform::Files files;
    const std::string host = files.HostPath(bulletinPath);
    const std::string bulls = platform::DriveRoot() + "/Winpack/Bulls/";
    FUZZ_CHECK(host.compare(0, bulls.size(), bulls) == 0);
    const std::string rest = host.substr(bulls.size());
    const std::size_t slash = rest.find('/');
    FUZZ_CHECK(slash != std::string::npos && slash == rest.rfind('/'));
    for (const std::string& part : {rest.substr(0, slash), rest.substr(slash + 1)}) {
      FUZZ_CHECK(!part.empty() && part != "." && part != "..");
    }
  } catch (const platform::FileError&) {
  }
  return 0;
}
