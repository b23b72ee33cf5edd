// What a stopped run left of its replacement of the list: second names of the old list, each
// finished by the note the run kept of it.
#include <cstddef>

#include "platform/codepage.h"
#include "run/list_swap.h"
#include "run/marked_list.h"

namespace run {

using platform::TextReader;

void ListSwap::TakeOver(const std::map<std::string, OldListNote>& notes) {
  const std::string listId = files_.FileId(names_.list);
  for (int i = 0; i < 2; ++i) {
    const std::string& name = names_.second[i];
    if (!files_.EntryExists(name)) continue;
    const std::string id = files_.FileId(name);
    // A run stopped between giving the list its second name and replacing it.
    if (!id.empty() && id == listId) {
      usable_[i] = TryRemove(name);
      continue;
    }
    usable_[i] = false;
    auto it = notes.find(platform::UpperCase(name.substr(name.rfind('\\') + 1)));
    if (it == notes.end()) {  // nothing says what of it is in the list: never removed unread
      outcome_.oldListsKept.push_back(name);
      continue;
    }
    const OldListNote& note = it->second;
    if (!note.inList.empty() && note.inList == listId) {
      files_.RemoveFile(name);
      usable_[i] = true;
      continue;
    }
    if (carry_.name >= 0 || !WaitAlone(name)) {
      held_[i] = note;
      continue;
    }
    carry_ = {i, note, LinesNotInList(name, note)};
  }
}

// The lines of a second name that a stopped run had not yet put in the list. Those it had
// put there after its last note, ahead of a power cut that may or may not have kept them,
// stand in the list from `at` on.
std::vector<std::string> ListSwap::LinesNotInList(const std::string& name,
                                                  const OldListNote& note) {
  std::vector<std::string> lines = LinesPast(name, note.carried);
  std::size_t there = 0;
  if (auto list = TextReader::TryOpen(files_, names_.list)) {
    list->Skip(note.at);
    std::string line;
    while (there < lines.size() && list->ReadWholeLine(line) &&
           (line == lines[there] || line == KMark(lines[there]))) {
      ++there;
    }
  }
  lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(there));
  return lines;
}

}  // namespace run
