#pragma once

#include <string>
#include <unordered_map>
#include <unordered_set>

#include "platform/files.h"

namespace run {

/// Which bulletins a run already knows to be gone, so that a long list whose bulletins
/// Winpack has pruned costs no failed open per line: under Wine a failed open is a round
/// trip to its server and a search of the folder for every spelling of the name.
///
/// A folder is listed once, after a few of its bulletins were missing; a name not in that
/// listing is taken as gone for the rest of the run. Winpack writes no bulletin below the
/// prune limit while a run goes on, and one put back meanwhile moves with the next run. Only
/// names of plain ASCII are answered, and only from a folder whose names all are: there
/// Windows, Wine and this program's own lookup agree on what a letter's case is.
class MissingBulletins {
 public:
  explicit MissingBulletins(platform::Files& files) : files_(files) {}

  /// True when the bulletin is known to be gone; false when only opening it tells.
  bool KnownGone(const std::string& bulletinPath) const;
  /// Notes a bulletin that could not be opened.
  void NoteMissing(const std::string& bulletinPath);

 private:
  struct Folder {
    // kListed: `names` holds the folder's files, upper case; kUnusable: it could not be
    // listed, or not all its names are plain ASCII, and each bulletin is opened.
    enum class Known { kMisses, kListed, kUnusable };
    Known known = Known::kMisses;
    int misses = 0;
    std::unordered_set<std::string> names;
  };

  platform::Files& files_;
  std::unordered_map<std::string, Folder> folders_;  // by folder path, upper case
};

}  // namespace run
