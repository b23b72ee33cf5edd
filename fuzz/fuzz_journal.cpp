// MARKED.JNL as an interrupted run, a power cut or another hand may have left it: every entry
// the next run acts on names its own line's bulletin, a staged copy of a prefix the journal
// claims, and an archive file right inside a group folder.

#include <algorithm>

#include "fuzz/fuzz_station.h"
#include "platform/codepage.h"
#include "platform/file_error.h"
#include "platform/files.h"
#include "run/journal.h"
#include "run/marked_list.h"
#include "run/paths.h"

namespace {

bool Under(const std::string& path, const std::string& folder, int depth) {
  const std::string prefix = platform::UpperCase(folder) + "\\";
  if (platform::UpperCase(path.substr(0, prefix.size())) != prefix) return false;
  const std::string rest = path.substr(prefix.size());
  return static_cast<int>(std::count(rest.begin(), rest.end(), '\\')) == depth - 1 &&
         rest.find("\\\\") == std::string::npos && rest.find("..") != 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Write("Bulls/MARKED.JNL", std::string(reinterpret_cast<const char*>(data), size));
  platform::Files files;
  try {
    const run::JournalContents journal = run::ReadJournal(files);
    for (const run::JournalEntry& e : journal.entries) {
      FUZZ_CHECK(run::Trusted(e, journal.tokens));
      FUZZ_CHECK(platform::UpperCase(e.bulletinPath) ==
                 platform::UpperCase(run::BulletinPath(run::MarkedNumOf(e.line))));
      FUZZ_CHECK(Under(e.bulletinPath, run::kBulls, 2));
      FUZZ_CHECK(Under(e.tempPath, run::kStaging, 1));
      FUZZ_CHECK(Under(e.archivePath, run::kArchiveRoot, 2));
    }
  } catch (const platform::FileError&) {
  }
  return 0;
}
