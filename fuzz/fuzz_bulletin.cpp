// A bulletin's second header line: its group field, and the folder that group would get.
#include <string>

#include "fuzz/fuzz_station.h"
#include "platform/file_error.h"
#include "platform/files.h"
#include "run/naming.h"
#include "run/paths.h"
#include "run/transfer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string line(reinterpret_cast<const char*>(data), size);
  line = line.substr(0, line.find_first_of("\r\n"));

  const std::string group = run::GroupField(line);
  FUZZ_CHECK(group.size() <= 6);
  FUZZ_CHECK(group.empty() || group.back() != ' ');
  FUZZ_CHECK(group.empty() || line.compare(13, group.size(), group) == 0);

  // A group that may become a folder gives a folder right inside the archive root.
  if (!run::IsPortableFolderName(group)) return 0;
  const std::string folder = run::FolderForm(group);
  FUZZ_CHECK(folder.size() == group.size());
  fuzz::Prefix();
  platform::Files files;
  const std::string root = files.HostPath(run::kArchiveRoot);
  const std::string host = files.HostPath(std::string(run::kArchiveRoot) + "\\" + folder);
  FUZZ_CHECK(host.compare(0, root.size() + 1, root + "/") == 0);
  FUZZ_CHECK(host.find('/', root.size() + 1) == std::string::npos);
  FUZZ_CHECK(host.substr(root.size() + 1) != ".." && host.substr(root.size() + 1) != ".");
  return 0;
}
