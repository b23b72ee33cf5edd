#include <optional>
#include <unordered_map>

#include "platform/codepage.h"
#include "platform/file_error.h"
#include "platform/textfile.h"
#include "run/bulletin.h"
#include "run/list_swap.h"
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
        outcome_(outcome) {
    for (const std::string& key : recovery.marks) moved_.emplace(key, false);
  }

  /// From the top through the first line whose number reaches the prune limit.
  void Process(TextReader& list, NewList& out) {
    std::string markedNum = "1", line;
    // The test looks at the line processed last, so the first line that reaches the limit is
    // processed too.
    while (outcome_.passError.empty() && ValueOfText(markedNum) < state_.pruneLimit &&
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
    while (NextLine(list, line)) out.WriteLine(Marked(std::move(line)));
  }

  /// A line after the processed stretch as the new list has it.
  std::string Marked(std::string line) {
    if (!moved_.empty() && !IsKMarked(line)) {
      if (auto it = moved_.find(KeyOf(line)); it != moved_.end()) {
        line = KMark(line);
        NoteMarked(it->second);
      }
    }
    return line;
  }

  int marked() const { return marked_; }
  bool keepJournal() const { return transfer_.keepJournal(); }
  const std::vector<std::string>& notPortable() const { return transfer_.notPortable(); }
  void Tidy() noexcept { transfer_.RemoveStagingIfEmpty(); }

 private:
  void Take(Bulletin b, NewList& out) {
    reporter_.SetPanelText(1, b.entry.bulletinPath);
    if (auto it = moved_.find(b.key); it != moved_.end()) {
      Mark(out, out.Hold(std::move(b.entry.line)), it->second);
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
        if (!b.refusal.empty() && StillThere(files_, b.entry.bulletinPath)) {
          outcome_.notRecycled.push_back(b.entry.bulletinPath + ": " + b.refusal);
        }
        bool& marked = moved_[b.key];
        for (std::size_t index : b.listLines) Mark(out, index, marked);
        ++outcome_.archived;
      }
    } catch (const std::exception& e) {
      if (outcome_.passError.empty()) outcome_.passError = e.what();
    }
    waiting_.clear();
    batch_.clear();
    out.WriteHeld();
  }

  void Mark(NewList& out, std::size_t index, bool& marked) {
    if (out.Mark(index)) NoteMarked(marked);
  }

  void NoteMarked(bool& marked) {
    if (!marked) ++marked_;
    marked = true;
  }

  platform::Files& files_;
  Reporter& reporter_;
  const RunState& state_;
  Transfer transfer_;
  Outcome& outcome_;
  // Numbers (upper case) whose lines get the K mark, and whether a line got it in this run.
  std::unordered_map<std::string, bool> moved_;
  int marked_ = 0;  // numbers whose line got the mark in this run
  std::unordered_map<std::string, std::size_t> waiting_;  // key -> its place in batch_
  Batch batch_;                                           // staged, waiting for their trash
};

// Writes the new list through the pass, and puts it in the place of MARKED.TXT with every line
// Winpack writes meanwhile.
void RewriteList(Pass& pass, platform::Files& files, Journal& journal, const Recovery& recovery,
                 Outcome& o) {
  try {
    ListFiles names = FindListFiles(files);
    ListSwap swap(
        files, journal, names, [&](std::string line) { return pass.Marked(line); }, o);
    swap.TakeOver(recovery.oldLists);
    TextReader list(files, names.list);
    NewList out(TextWriter::Create(files, names.fresh));
    try {
      o.finished = FinishInterrupted(files, recovery, o.notRecycled);
      pass.Process(list, out);
      pass.Copy(list, out.out());
      swap.Replace(list, out.out());
    } catch (...) {
      if (o.list == Outcome::List::kUnchanged) out.out().Discard();
      throw;
    }
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

void ArchiveMarkedBulletins(Reporter& reporter, const platform::Clock& clock,
                            const DriveSource& drive) {
  platform::Files files(drive());  // holds the run lock until the run has told its end
  if (auto refusal = TakeRunLock(files)) return Show(reporter, NotStarted(*refusal));
  RunState state;
  Recovery recovery;
  try {
    state = StartRunState(files, clock);
    state.pruneLimit = ApplyPruneSize(files, ReadLastNum(files));
    recovery = RecoverInterrupted(files);
  } catch (const std::exception& e) {
    return Show(reporter, NotStarted(e.what()));
  }
  Journal journal(files, recovery.entries, recovery.claims, recovery.oldLists);
  Outcome outcome;
  outcome.kept = recovery.kept;
  outcome.strays = recovery.strays;
  Pass pass(files, reporter, state, journal, recovery, outcome);
  RewriteList(pass, files, journal, recovery, outcome);
  outcome.marked = pass.marked();
  outcome.inherited = static_cast<int>(recovery.marks.size()) - outcome.finished;
  outcome.notPortable = pass.notPortable();
  if (outcome.list == Outcome::List::kDurable && !pass.keepJournal() &&
      outcome.oldListLeft.empty()) {
    journal.Remove(recovery.keptAsStaged);
  }
  pass.Tidy();
  for (const Message& message : Messages(outcome)) Show(reporter, message);
}

}  // namespace run
