#include <chrono>
#include <optional>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "platform/codepage.h"
#include "platform/file_error.h"
#include "platform/textfile.h"
#include "run/bulletin.h"
#include "run/marked_list.h"
#include "run/messages.h"
#include "run/paths.h"
#include "run/recovery.h"
#include "run/run.h"
#include "run/transfer.h"
#include "run/value.h"

namespace run {
namespace {

using platform::TextReader;
using platform::TextWriter;

// The pass over the marked list: each line up to the prune limit is handed to the transfer,
// and every line of a bulletin that moved (or that an interrupted run moved) gets its K mark.
class Pass {
 public:
  Pass(platform::Files& files, Reporter& reporter, const RunState& state, Journal& journal,
       const Recovery& recovery, Outcome& outcome)
      : files_(files),
        reporter_(reporter),
        state_(state),
        transfer_(files, reporter, state, journal),
        outcome_(outcome),
        moved_(recovery.marks) {}

  /// From the top through the first line whose number reaches the prune limit.
  void Process(TextReader& list, NewList& out) {
    std::string markedNum = "1", line;
    // The test looks at the line processed last, so the first line that reaches the limit is
    // processed too.
    while (outcome_.passError.empty() && ValueOfText(markedNum) < state_.PruneLimit &&
           NextLine(list, line)) {
      Bulletin bulletin = Bulletin::OfLine(std::move(line));
      markedNum = bulletin.number;
      Take(std::move(bulletin), out);
      if (batch_.empty()) {
        out.WriteHeld();  // nothing to wait for
      } else if (batch_.size() >= kBatchSize || out.held() >= kBatchSize * 64 ||
                 !outcome_.passError.empty()) {
        CompleteBatch(out);
      }
    }
    CompleteBatch(out);
  }

  /// The lines after the processed stretch, unchanged but for the K mark of a moved bulletin.
  void Copy(TextReader& list, TextWriter& out) {
    std::string line;
    while (NextLine(list, line)) {
      if (!moved_.empty() && !IsKMarked(line)) {
        const std::string key = KeyOf(line);
        if (moved_.count(key) != 0) {
          line = KMark(line);
          marked_.insert(key);
        }
      }
      out.WriteLine(line);
    }
  }

  int marked() const { return static_cast<int>(marked_.size()); }
  bool keepJournal() const { return transfer_.keepJournal(); }
  const std::vector<std::string>& notPortable() const { return transfer_.notPortable(); }
  void Tidy() noexcept { transfer_.RemoveStagingIfEmpty(); }

 private:
  void Take(Bulletin b, NewList& out) {
    reporter_.SetPanelText(1, b.entry.bullPath);
    if (moved_.count(b.key) != 0) {
      Mark(out, out.Hold(std::move(b.entry.line)), b.key);
      return;
    }
    if (auto it = waiting_.find(b.key); it != waiting_.end()) {
      // Marked twice: copied once, and every line of it waits for the copy.
      batch_[it->second].listLines.push_back(out.Hold(std::move(b.entry.line)));
      return;
    }
    bool staged = false;
    try {
      staged = transfer_.Stage(b);
    } catch (const std::exception& e) {
      // This line and every later one go to the new list unchanged, so the K marks of the
      // bulletins already moved are kept.
      outcome_.passError = e.what();
    }
    if (!staged) {
      out.Hold(std::move(b.entry.line));
      return;
    }
    b.listLines.push_back(out.Hold(b.entry.line));
    waiting_[b.key] = batch_.size();
    batch_.push_back(std::move(b));
  }

  void CompleteBatch(NewList& out) {
    try {
      transfer_.CompleteBatch(batch_);
      for (const Bulletin& b : batch_) {
        // A bulletin that left Winpack's folder otherwise (Winpack pruned it) is not there.
        if (!b.refusal.empty() && StillThere(files_, b.entry.bullPath)) {
          outcome_.notRecycled.push_back(b.entry.bullPath + ": " + b.refusal);
        }
        moved_.insert(b.key);
        for (std::size_t index : b.listLines) Mark(out, index, b.key);
        ++outcome_.archived;
      }
    } catch (const std::exception& e) {
      if (outcome_.passError.empty()) outcome_.passError = e.what();
    }
    waiting_.clear();
    batch_.clear();
    out.WriteHeld();
  }

  void Mark(NewList& out, std::size_t index, const std::string& key) {
    if (out.Mark(index)) marked_.insert(key);
  }

  platform::Files& files_;
  Reporter& reporter_;
  const RunState& state_;
  Transfer transfer_;
  Outcome& outcome_;
  std::unordered_set<std::string> moved_;   // numbers (upper case) whose lines get the K mark
  std::unordered_set<std::string> marked_;  // of them, those whose line got it in this run
  std::unordered_map<std::string, std::size_t> waiting_;  // key -> its place in batch_
  Batch batch_;                                           // staged, waiting for their trash
};

[[noreturn]] void ListPutInPlace(const std::string& path) {
  throw platform::FileError(platform::FileError::Kind::kOther, path,
                            "another program put a new list in its place during the run");
}

// Winpack appends to the list when the operator marks a bulletin: lines that came during the
// run are carried over. A list put in its place by another program is not replaced.
void CatchUp(Pass& pass, TextReader& list, platform::Files& files) {
  for (int round = 0; !list.AtEnd(); ++round) {
    if (round == 3) {
      throw platform::FileError(platform::FileError::Kind::kOther, list.path(),
                                "it keeps growing while the run tries to replace it");
    }
    TextWriter more = TextWriter::Append(files, kNewMarkedList);
    pass.Copy(list, more);
    more.Close();
    files.Flush();
  }
  if (!list.StillNamed(files)) ListPutInPlace(list.path());
}

// Carries what was written to the old list after the run's first `read` bytes over to the end
// of the new one. A program that opened the old list just before it was replaced may write a
// moment after: the old list is looked at again until it has stayed as it was for a while.
void CarryOver(Pass& pass, platform::Files& files, std::uint64_t read) {
  constexpr auto kSettle = std::chrono::milliseconds(20);
  TextReader old(files, kOldMarkedList);
  old.Skip(read);
  std::optional<TextWriter> carried;
  do {
    if (!old.AtEnd()) {
      if (!carried) carried.emplace(TextWriter::Append(files, kMarkedList));
      pass.Copy(old, *carried);
      carried->Flush();
    }
    std::this_thread::sleep_for(kSettle);
  } while (!old.AtEnd());
  if (carried) carried->Close();
  old.Close();
  files.RemoveFile(kOldMarkedList);
}

// Where no open file can be replaced, the run lets go of the list just before it replaces it.
// Winpack may append a line in that instant: the old list keeps a second name through the
// replacement, and what was written to it after the run's last read is carried over.
void ReplaceClosedList(Pass& pass, TextReader& list, platform::Files& files, Outcome& o) {
  if (files.EntryExists(kOldMarkedList)) files.RemoveFile(kOldMarkedList);  // a stopped run's
  const bool kept = files.LinkNew(kMarkedList, kOldMarkedList);
  const std::uint64_t read = list.Consumed();
  const bool same = !kept || list.NamedBy(files, kOldMarkedList);
  list.Close();
  try {
    if (!same) ListPutInPlace(list.path());
    ReplaceMarkedList(files);
  } catch (...) {
    try {
      if (kept) files.RemoveFile(kOldMarkedList);
    } catch (const std::exception&) {
      // The next run removes it; what the run says is about the list itself.
    }
    throw;
  }
  o.list = Outcome::List::kReplaced;
  if (kept) CarryOver(pass, files, read);
}

// Puts the new list in the place of the old one. Where an open file can be replaced, a
// program that opened the old list while the run held it writes into it once the run lets
// go: the run holds the new list meanwhile, and carries what was written over to its end
// before any other line.
void ReplaceHeldList(Pass& pass, TextReader& list, platform::Files& files, Outcome& o) {
  if (!platform::raw::OpenFilesCanBeReplaced()) return ReplaceClosedList(pass, list, files, o);
  TextWriter carried = TextWriter::Append(files, kNewMarkedList);
  carried.HoldAlone();  // nobody else knows the file yet
  ReplaceMarkedList(files);
  o.list = Outcome::List::kReplaced;
  list.Release();
  list.HoldAlone();  // until such a program has closed it; none can open it anew
  pass.Copy(list, carried);
  list.Close();
  carried.Close();
}

// Writes the new list through the pass, and puts it in the place of MARKED.TXT.
void RewriteList(Pass& pass, platform::Files& files, const Recovery& recovery, Outcome& o) {
  try {
    TextReader list(files, kMarkedList);
    NewList out(TextWriter::Create(files, kNewMarkedList));
    try {
      o.finished = FinishInterrupted(files, recovery, o.notRecycled);
      pass.Process(list, out);
      pass.Copy(list, out.out());
      out.out().Close();
      files.Flush();
      // A program that keeps the list open would go on writing into it after it is replaced.
      if (!list.HoldAlone()) {
        throw platform::FileError(platform::FileError::Kind::kOther, list.path(),
                                  "another program keeps it open");
      }
      CatchUp(pass, list, files);
    } catch (...) {
      out.out().Discard();
      throw;
    }
    ReplaceHeldList(pass, list, files, o);
    files.Flush();
    o.list = Outcome::List::kDurable;
  } catch (const std::exception& e) {
    o.listError = e.what();
  }
}

// Why the run cannot start while another holds the run lock, or nothing when it has it.
std::optional<std::string> TakeRunLock(platform::Files& files) {
  try {
    if (files.LockRun(kRunLock)) return std::nullopt;
    return std::string("Another archive run is in progress: it holds ") + kRunLock + ".";
  } catch (const std::exception& e) {
    return e.what();
  }
}

void Show(Reporter& reporter, const Message& message) {
  reporter.ShowMessage(message.kind, message.text);
}

}  // namespace

void MnuArchive_Click(Reporter& reporter, const platform::Clock& clock) {
  platform::Files files;  // holds the run lock until the run has told its end
  if (auto refusal = TakeRunLock(files)) return Show(reporter, NotStarted(*refusal));
  RunState state;
  Recovery recovery;
  try {
    state = StartRunState(files, clock);
    state.PruneLimit = ApplyPruneSize(files, ReadLastNum(files));
    recovery = RecoverInterrupted(files);
  } catch (const std::exception& e) {
    return Show(reporter, NotStarted(e.what()));
  }
  Journal journal(files, recovery.entries, recovery.claims);
  Outcome outcome;
  outcome.kept = recovery.kept;
  outcome.strays = recovery.strays;
  Pass pass(files, reporter, state, journal, recovery, outcome);
  RewriteList(pass, files, recovery, outcome);
  outcome.marked = pass.marked();
  outcome.inherited = static_cast<int>(recovery.marks.size()) - outcome.finished;
  outcome.notPortable = pass.notPortable();
  if (outcome.list == Outcome::List::kDurable && !pass.keepJournal()) journal.Remove();
  pass.Tidy();
  for (const Message& message : Messages(outcome)) Show(reporter, message);
}

}  // namespace run
