// The old list's second names: the one this run finishes once its new list is in place, and
// those a stopped run left, each finished by the note the run kept of it.
#include <cstdint>
#include <utility>

#include "platform/codepage.h"
#include "run/list_swap.h"
#include "run/marked_list.h"

namespace run {

using platform::TextReader;
using platform::TextWriter;
using Look = platform::Files::Look;

// Nobody can open the old list by name any more; once nobody holds it, it is final, and what
// was written to it after the run's last look is to be carried. Without a second name, and
// not held by the run through its replacement (Wine and Windows), it is gone with its handle:
// the limit of a disk that keeps one name a file.
bool ListSwap::FinishOldList(TextReader& list, const Step& step) {
  if (step.held) return FinishHeldList(list, step);
  if (!step.linked) return true;
  const std::string& old = names_.second[step.second];
  if (!WaitAlone(old)) {
    Leave(step.second);
    return true;
  }
  std::vector<std::string> lines = LinesPast(old, step.read);
  if (lines.empty()) {
    files_.RemoveFile(old);
    return true;
  }
  usable_[step.second] = false;
  carry_ = {step.second, step.note, std::move(lines)};
  base_ = step.written;
  return false;
}

// The old list, replaced while the run held it, has no name by which a stopped run's
// successor would find what was written to it in the instant: once nobody else holds it,
// those lines get a second name of their own, noted before they are written, and are carried
// as a second name's are; without one (both left by earlier runs, or a disk that refuses
// it), in memory. One that another program holds for longer writes on into a file that
// nobody can open any more: the limit of a disk that keeps one name a file.
bool ListSwap::FinishHeldList(TextReader& list, const Step& step) {
  try {
    list.AwaitAlone(files_, Look::kSecondName, kHoldLimit);
  } catch (const platform::FileError&) {  // read all the same: there is no other way to it
  }
  std::vector<std::string> lines = ReadHeld(list);
  if (lines.empty()) return true;
  carry_ = {-1, {0, step.written, {}}, std::move(lines)};
  base_ = step.written;
  try {
    const int name = FreeName();
    if (name < 0) return false;
    Note(name, carry_.note);
    TextWriter kept = TextWriter::Create(files_, names_.second[name]);
    for (const std::string& carried : carry_.lines) kept.WriteLine(carried);
    kept.Close();
    files_.Flush();
    carry_.name = name;
    usable_[name] = false;
  } catch (const platform::FileError&) {
  }
  return false;
}

// The rest of the old list the run held through its replacement. The run's handle is the only
// way to it, so a read that fails is tried again.
std::vector<std::string> ListSwap::ReadHeld(TextReader& list) {
  std::vector<std::string> lines;
  std::string line;
  for (int tries = 1;; ++tries) {
    try {
      while (NextLine(list, line)) lines.push_back(line);
      list.Close();
      return lines;
    } catch (const platform::FileError&) {
      if (tries == kReadTries) throw;
    }
  }
}

std::vector<std::string> ListSwap::LinesPast(const std::string& path, std::uint64_t from) {
  TextReader old(files_, path, TextReader::Links::kRefuse);
  old.Skip(from);
  std::vector<std::string> lines;
  std::string line;
  while (NextLine(old, line)) lines.push_back(line);
  return lines;
}

// A second name of the list in place, which Windows and Wine keep while a program holds the
// list without sharing its deletion: it stays, and the next run removes it.
bool ListSwap::TryRemove(const std::string& name) {
  try {
    files_.RemoveFile(name);
    return true;
  } catch (const platform::FileError&) {
    return false;
  }
}

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
      usable_[i] = TryRemove(name);
      continue;
    }
    if (carry_.name >= 0 || !WaitAlone(name)) {
      held_[i] = note.carried;
      try {
        held_[i] = CarriedThrough(name, note);
      } catch (const platform::FileError&) {  // a program holds it without sharing it
      }
      continue;
    }
    std::vector<std::string> lines = LinesNotInList(name, note);
    if (lines.empty() && TryRemove(name)) {
      usable_[i] = true;
      continue;
    }
    carry_ = {i, note, std::move(lines)};
  }
}

// The lines of a second name that a stopped run had not yet put in the list.
std::vector<std::string> ListSwap::LinesNotInList(const std::string& name,
                                                  const OldListNote& note) {
  return LinesPast(name, CarriedThrough(name, note));
}

// How much of a second name the list holds: what the note says was carried, and the lines
// that a stopped run put in the list after its last note, ahead of a power cut that may or may
// not have kept them, which stand in the list from `at` on.
std::uint64_t ListSwap::CarriedThrough(const std::string& name, const OldListNote& note) {
  TextReader old(files_, name, TextReader::Links::kRefuse);
  old.Skip(note.carried);
  std::uint64_t through = note.carried;
  if (auto list = TextReader::TryOpen(files_, names_.list)) {
    list->Skip(note.at);
    std::string line, listed;
    while (NextLine(old, line) && list->ReadWholeLine(listed) &&
           (listed == line || listed == KMark(line))) {
      through = old.Consumed();
    }
  }
  return through;
}

}  // namespace run
