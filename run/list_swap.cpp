#include "run/list_swap.h"

#include <chrono>
#include <cstddef>
#include <thread>
#include <utility>

#include "platform/file_error.h"
#include "platform/winpath.h"
#include "run/marked_list.h"
#include "run/paths.h"

namespace run {
namespace {

using platform::FileError;
using platform::TextReader;
using platform::TextWriter;
using Look = platform::Files::Look;

constexpr auto kLookAgain = std::chrono::milliseconds(2);
// Each round puts in place the lines Winpack wrote during the one before. A Winpack that
// writes in every round has what it wrote in the last kept under the second name for the next
// run: appending it to the list in place could meet Winpack's own append, and Wine's appends
// are not atomic.
constexpr int kRounds = 16;

std::string Leaf(const std::string& path) { return path.substr(path.rfind('\\') + 1); }

// Looks again while `inTheWay` says a program holds the file, up to `wait`.
template <typename Test>
bool WaitFor(std::chrono::seconds wait, Test inTheWay) {
  const auto limit = std::chrono::steady_clock::now() + wait;
  while (inTheWay()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::sleep_for(kLookAgain);
  }
  return true;
}

}  // namespace

// A list that links to a file elsewhere is the operator's layout: the file it names is
// replaced, from beside it, so that the new list takes its place in one step.
ListFiles FindListFiles(platform::Files& files) {
  ListFiles names;
  names.list = files.FinalPath(kMarkedList);
  const std::string folder = platform::winpath::Parent(names.list) + "\\";
  names.fresh = folder + Leaf(kNewMarkedList);
  names.second[0] = folder + Leaf(kOldMarkedList);
  names.second[1] = folder + Leaf(kOtherOldMarkedList);
  return names;
}

void ListSwap::Replace(TextReader& firstList, TextWriter& firstFresh) {
  for (int i = 0; i < 2; ++i) {
    if (held_[i]) {
      // The journal this run began may no longer say it; none of its lines past those the
      // list has is in the list this run writes, whose own lines end here.
      Note(i, {*held_[i], firstFresh.size(), {}});
      outcome_.oldListLeft = names_.second[i];
    }
  }
  for (const std::string& line : carry_.lines) firstFresh.WriteLine(mark_(line));
  TextReader* list = &firstList;
  TextWriter* fresh = &firstFresh;
  std::optional<TextReader> nextList;
  std::optional<TextWriter> nextFresh;
  for (int round = 0;; ++round) {
    try {
      if (Round(*list, *fresh)) return;
    } catch (const std::exception&) {
      if (round == 0) throw;
      // The list in place has every line but those of the name carried: they wait for the
      // next run.
      if (nextFresh) nextFresh->Discard();
      Note(carry_.name, carry_.note);
      Leave(carry_.name);
      return;
    }
    if (round + 1 == kRounds || !StartNextRound(nextList, nextFresh)) {
      Leave(carry_.name);
      return;
    }
    list = &*nextList;
    fresh = &*nextFresh;
  }
}

// The new list of the next round: what the run put in place, the lines carried, then what
// Winpack wrote to the list in place since. False, nothing left behind, when it cannot be
// made: the lines carried then wait for the next run.
bool ListSwap::StartNextRound(std::optional<TextReader>& list, std::optional<TextWriter>& fresh) {
  try {
    list.emplace(files_, names_.list);
    fresh.emplace(TextWriter::Create(files_, names_.fresh));
    std::string line;
    while (list->Consumed() < base_ && list->ReadWholeLine(line)) fresh->WriteLine(line);
    for (const std::string& carried : carry_.lines) fresh->WriteLine(mark_(carried));
    return true;
  } catch (const std::exception&) {
    if (fresh) fresh->Discard();
    return false;
  }
}

// One replacement: true when it is complete, false when lines written to the replaced list
// in its instant are to be carried (carry_) by another.
bool ListSwap::Round(TextReader& list, TextWriter& fresh) {
  Step step = NoteStep(list, fresh);
  GiveSecondName(list, step);
  PutInPlace(list, fresh, step);
  try {
    return FinishOldList(list, step);
  } catch (const std::exception&) {
    if (step.linked) Leave(step.second);  // it keeps the old list's last lines, as noted
    throw;
  }
}

// Notes what the new list holds of the old one, and of the lines it carries, before either
// changes: the new list through `at`, and the notes, are durable; what is caught up after may
// be lost to a power cut, and the next run looks for it in the list from `at` on.
ListSwap::Step ListSwap::NoteStep(TextReader& list, TextWriter& fresh) {
  CatchUp(list, fresh);
  fresh.Flush();
  Step step;
  step.second = FreeName();
  step.carried = carry_.name;
  step.note = {list.Consumed(), fresh.size(), {}};
  if (step.second >= 0) Note(step.second, step.note);
  if (step.carried >= 0) {
    OldListNote in = carry_.note;
    in.inList = files_.FileId(names_.fresh);
    Note(step.carried, in);
  }
  files_.Flush();
  return step;
}

// The old list's second name, by which its last lines are found once the new list has its
// name; none on a disk that keeps one name a file.
void ListSwap::GiveSecondName(const TextReader& list, Step& step) {
  step.linked = step.second >= 0 && files_.LinkNew(names_.list, names_.second[step.second]);
  if (step.linked ? !list.NamedBy(files_, names_.second[step.second]) : !list.StillNamed(files_)) {
    GiveUp(step, FileError(FileError::Kind::kOther, list.path(),
                           "another program put a new list in its place during the run"));
  }
}

// A program that keeps the list open would write on into the old one: it keeps it. All else
// is done first, so that the list is replaced the instant the program lets go of it.
void ListSwap::PutInPlace(TextReader& list, TextWriter& fresh, Step& step) {
  const FileError keptOpen(FileError::Kind::kOther, list.path(), "another program keeps it open");
  if (!WaitAlone(list)) GiveUp(step, keptOpen);
  CatchUp(list, fresh);  // last before the replacement, so that little may come after it
  step.read = list.Consumed();
  step.written = fresh.size();
  fresh.Close();
  // Without a second name, the run's own hold is the only way to what is written to the old
  // list in the instant: where the system puts an open file out of place, it is replaced
  // while held. Wine and Windows replace no file that is open, this run's own included.
  step.held = !step.linked && files_.ReplaceUnlessOpen(names_.fresh, names_.list);
  if (!step.held) list.Close();
  // Windows and Wine replace no list that a program has open: it is tried again until the
  // program has closed it, each time with what it wrote until just before.
  bool again = !step.linked;  // a try while held, refused
  const bool replaced = step.held || WaitFor(kHoldLimit, [&] {
                          if (std::exchange(again, true)) TakeInLate(step);
                          return !files_.ReplaceUnlessOpen(names_.fresh, names_.list);
                        });
  if (!replaced) GiveUp(step, keptOpen);
  if (outcome_.list == Outcome::List::kUnchanged) outcome_.list = Outcome::List::kReplaced;
  if (step.carried >= 0) {  // all its lines are in the list in place, as noted
    usable_[step.carried] = TryRemove(names_.second[step.carried]);
    carry_ = {};
  }
}

// What was written to the old list since the run's last look, taken into the new one before
// another try: read by the old list's second name or, without one, by its own.
void ListSwap::TakeInLate(Step& step) {
  const std::string& name = step.linked ? names_.second[step.second] : names_.list;
  TextReader old(files_, name, TextReader::Links::kRefuse);
  old.Skip(step.read);
  TextWriter more = TextWriter::Append(files_, names_.fresh);
  CatchUp(old, more);
  step.read = old.Consumed();
  step.written += more.size();
  more.Close();
}

// The list stays as it is: the second name given goes, and the name carried keeps the note
// it had before the new list was to go.
void ListSwap::GiveUp(const Step& step, const FileError& why) {
  if (step.linked) TryRemove(names_.second[step.second]);
  if (step.carried >= 0) Note(step.carried, carry_.note);
  throw why;
}

void ListSwap::CatchUp(TextReader& list, TextWriter& fresh) {
  std::string line;
  while (NextLine(list, line)) fresh.WriteLine(mark_(std::move(line)));
}

bool ListSwap::WaitAlone(const std::string& path) {
  return files_.AwaitAlone(path, Look::kSecondName, kHoldLimit);
}

bool ListSwap::WaitAlone(const TextReader& list) {
  return list.AwaitAlone(files_, Look::kLiveName, kHoldLimit);
}

void ListSwap::Note(int name, const OldListNote& note) {
  if (name < 0) return;
  journal_.NoteOldList(Leaf(names_.second[name]), note);
}

// What is carried goes to the next run: by its second name, or else shown to the user.
void ListSwap::Leave(int name) {
  if (name >= 0) outcome_.oldListLeft = names_.second[name];
  if (name < 0) outcome_.linesNotPut = carry_.lines;
  files_.Flush();
}

int ListSwap::FreeName() const {
  for (int i = 0; i < 2; ++i) {
    if (usable_[i] && i != carry_.name && !files_.EntryExists(names_.second[i])) return i;
  }
  return -1;
}

}  // namespace run
