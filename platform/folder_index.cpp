#include "platform/folder_index.h"

#include <cctype>
#include <utility>
#include <vector>

#include "platform/codepage.h"
#include "platform/file_error.h"

namespace platform {
namespace {

// The other spellings of an ASCII name with at most three letters (an archive name such as
// 26120701.TXT has eight in all); false for other names.
bool FewSpellings(const std::string& name, std::vector<std::string>& spellings) {
  std::vector<std::size_t> letters;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c >= 0x80) return false;
    if (std::isalpha(c) != 0) letters.push_back(i);
  }
  if (letters.size() > 3) return false;
  spellings.clear();
  for (unsigned mask = 0; mask < (1u << letters.size()); ++mask) {
    std::string spelling = name;
    for (std::size_t k = 0; k < letters.size(); ++k) {
      const char c = spelling[letters[k]];
      spelling[letters[k]] = static_cast<char>((mask >> k) & 1 ? std::tolower(c) : std::toupper(c));
    }
    if (spelling != name) spellings.push_back(std::move(spelling));
  }
  return true;
}

// A folder in which a few names are looked up is not read whole: a group folder holds
// thousands of archive files, and a run names a few of them.
constexpr int kProbesBeforeListing = 64;

}  // namespace

// Nothing when there is no such folder. Throws when it exists but cannot be listed: a name
// that cannot be looked up must not be taken for a free one.
const FoldedNames* FolderIndex::Listing(const std::string& hostDir) {
  if (auto found = listings_.find(hostDir); found != listings_.end()) return &found->second;
  std::optional<std::vector<std::string>> found = host_.List(hostDir);
  if (!found) return nullptr;
  FoldedNames& names = listings_.try_emplace(hostDir, found->size()).first->second;
  const CodePage& page = SystemCodePage();  // found once: a folder may hold many thousands
  for (const std::string& name : *found) names.Add(page.FoldedName(name), name);
  return &names;
}

bool FolderIndex::Lookup(const std::string& hostDir, const std::string& utf8Name, std::string& host,
                         bool exactIsMissing) {
  host = hostDir + "/" + utf8Name;
  using Found = HostFolders::Entry;
  const bool listed = listings_.count(hostDir) != 0;
  bool exactMissing = exactIsMissing;
  if (!listed && !exactIsMissing && present_.count(host) != 0) return true;
  if (!listed && !exactIsMissing) {
    const Found exact = host_.Has(host);
    if (exact == Found::kThere) return true;
    exactMissing = exact == Found::kNone;
  }
  std::vector<std::string> spellings;
  if (!listed && exactMissing && FewSpellings(utf8Name, spellings) &&
      ++probesUnlisted_[hostDir] <= kProbesBeforeListing) {
    bool found = false, answered = true;
    std::string first;
    for (const std::string& spelling : spellings) {
      const Found entry = host_.Has(hostDir + "/" + spelling);
      if (entry == Found::kThere) {
        if (!found || spelling < first) first = spelling;
        found = true;
      } else if (entry == Found::kUnknown) {
        answered = false;  // the folder's listing says more
      }
    }
    if (answered) {
      if (found) host = hostDir + "/" + first;
      return found;
    }
  }
  const FoldedNames* names = Listing(hostDir);
  if (names == nullptr) return false;
  const FoldedNames::Found entry = names->Find(FoldedName(utf8Name));
  if (entry.count == 0) return false;
  // Of several spellings the exact one wins; the listing keeps only the first.
  if (entry.count > 1 && !exactIsMissing && host_.Has(host) == Found::kThere) return true;
  host = hostDir + "/";
  host += entry.name;
  return true;
}

FoldedNames* FolderIndex::Remembered(const std::string& hostPath, std::string& name) {
  const std::size_t slash = hostPath.rfind('/');
  auto it = listings_.find(hostPath.substr(0, slash));
  if (it == listings_.end()) return nullptr;
  name = hostPath.substr(slash + 1);
  return &it->second;
}

void FolderIndex::NoteCreated(const std::string& hostPath) {
  std::string name;
  FoldedNames* names = Remembered(hostPath, name);
  if (names != nullptr) names->Add(FoldedName(name), name);
}

void FolderIndex::NotePresent(const std::string& hostPath) {
  // A batch's bulletins are opened and sent to the trash within a few thousand files.
  constexpr std::size_t kRemembered = 4096;
  if (present_.empty()) present_.reserve(kRemembered);
  if (present_.size() >= kRemembered) present_.clear();
  present_.insert(hostPath);
}

void FolderIndex::NoteRemoved(const std::string& hostPath) {
  present_.erase(hostPath);
  std::string name;
  FoldedNames* names = Remembered(hostPath, name);
  // Another spelling of the name remains; which one comes first is known only from the disk.
  if (names != nullptr && names->Remove(FoldedName(name)) > 1) {
    Forget(hostPath.substr(0, hostPath.rfind('/')));
  }
}

}  // namespace platform
