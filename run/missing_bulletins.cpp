#include "run/missing_bulletins.h"

#include <algorithm>
#include <utility>

#include "platform/file_error.h"

namespace run {
namespace {

// A run that names a few bulletins of a folder opens them: a bulletin folder may hold
// thousands of files.
constexpr int kMissesBeforeListing = 64;

bool PlainAscii(const std::string& name) {
  return std::all_of(name.begin(), name.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string AsciiUpper(std::string name) {
  for (char& c : name) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  return name;
}

}  // namespace

bool MissingBulletins::KnownGone(const std::string& bulletinPath) const {
  const std::size_t slash = bulletinPath.rfind('\\');
  if (slash == std::string::npos) return false;
  const auto folder = folders_.find(AsciiUpper(bulletinPath.substr(0, slash)));
  if (folder == folders_.end() || folder->second.known != Folder::Known::kListed) return false;
  const std::string name = bulletinPath.substr(slash + 1);
  return PlainAscii(name) && folder->second.names.count(AsciiUpper(name)) == 0;
}

void MissingBulletins::NoteMissing(const std::string& bulletinPath) {
  const std::size_t slash = bulletinPath.rfind('\\');
  if (slash == std::string::npos) return;
  const std::string path = bulletinPath.substr(0, slash);
  Folder& folder = folders_[AsciiUpper(path)];
  if (folder.known != Folder::Known::kMisses || ++folder.misses < kMissesBeforeListing) return;
  std::unordered_set<std::string> names;
  try {
    for (const std::string& name : files_.FileNames(path)) {
      if (!PlainAscii(name)) {
        folder.known = Folder::Known::kUnusable;
        return;
      }
      names.insert(AsciiUpper(name));
    }
  } catch (const platform::FileError&) {
    folder.known = Folder::Known::kUnusable;
    return;
  }
  folder.names = std::move(names);
  folder.known = Folder::Known::kListed;
}

}  // namespace run
