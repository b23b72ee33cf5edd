#include <algorithm>
#include <stdexcept>

#include "platform/codepage.h"
#include "platform/file_error.h"
#include "run/archive_run.h"
#include "run/value.h"

namespace run {
namespace {

using platform::FileError;

[[noreturn]] void Fail(const std::string& path, const std::string& reason) {
  throw FileError(FileError::Kind::kOther, path, reason);
}

bool IsDigits(const std::string& text) {
  return text.size() == 2 && text.find_first_not_of("0123456789") == std::string::npos;
}

int32_t LongOf(const std::string& text, const std::string& path) {
  try {
    return LongOfValue(ValueOfText(text));
  } catch (const std::overflow_error& e) {
    Fail(path, e.what());
  }
}

// Whether a path a journal names is one of the run's own staged copies: the journal is a file
// anyone can edit, and only such a copy may be renamed on its word.
bool IsStagedName(const std::string& path) {
  const std::string folder = platform::UpperCase(std::string(kStaging) + "\\");
  return path.size() > folder.size() &&
         platform::UpperCase(path.substr(0, folder.size())) == folder &&
         path.find('\\', folder.size()) == std::string::npos;
}

std::string Plural(int n) { return std::to_string(n) + (n == 1 ? " bulletin" : " bulletins"); }

}  // namespace

void ArchiveRun::Set_Var() {
  s_.SeqNum = 1;
  const std::string date = clock_.DateText();
  s_.YearText = date.size() >= 2 ? date.substr(date.size() - 2) : date;
  s_.MonthText = date.substr(std::min<std::size_t>(3, date.size()), 2);
  s_.DayText = date.substr(0, 2);
  if (!IsDigits(s_.YearText) || !IsDigits(s_.MonthText) || !IsDigits(s_.DayText)) {
    Fail("today's date \"" + date + "\"", "not a day-first date such as 05-12-2026");
  }
  s_.SeqText = SeqTextOf(s_.SeqNum);
  settings::OpenParamFile(s_, *files_);
}

void ArchiveRun::ReadLastNum() {
  platform::TextReader file(*files_, kLastNumFile);
  if (file.AtEnd()) Fail(file.path(), "the file is empty");
  s_.HeadLine1 = file.ReadLine();
  s_.PruneLimit = LongOf(s_.HeadLine1, file.path());
}

void ArchiveRun::ApplyPruneSize() {
  platform::TextReader file(*files_, kPacketIni);
  for (;;) {
    if (file.AtEnd()) Fail(file.path(), "no PRUNE_SIZE line");
    s_.HeadLine1 = file.ReadLine();
    if (platform::UpperCase(s_.HeadLine1.substr(0, 10)) == "PRUNE_SIZE") break;
  }
  if (s_.HeadLine1.size() < 11) Fail(file.path(), "the PRUNE_SIZE line has no value");
  s_.PruneSize = LongOf(s_.HeadLine1.substr(11), file.path());
  const int64_t limit = int64_t{s_.PruneLimit} - s_.PruneSize;
  if (limit < INT32_MIN || limit > INT32_MAX) {
    Fail(file.path(), "last number less PRUNE_SIZE is outside the range of a Long");
  }
  s_.PruneLimit = static_cast<int32_t>(limit);
}

void ArchiveRun::ReplaceMarkedList() { files_->ReplaceFile(kNewMarkedList, kMarkedList); }

void ArchiveRun::RestoreMark(std::string& line) {
  if (restoreMarks_.empty() || IsKMarked(line)) return;
  if (restoreMarks_.erase(line) != 0) line = KMark(line);
}

void ArchiveRun::WriteHeld(platform::TextWriter& newList) {
  for (const std::string& line : held_) newList.WriteLine(line);
  held_.clear();
}

void ArchiveRun::CopyRest(platform::TextReader& marked, platform::TextWriter& newList) {
  if (restoreMarks_.empty()) {
    marked.CopyRestTo(newList);
    return;
  }
  while (!marked.AtEnd()) {
    std::string line = marked.ReadLine();
    RestoreMark(line);
    newList.WriteLine(line);
  }
}

void ArchiveRun::Pass(platform::TextReader& marked, platform::TextWriter& newList) {
  batching_ = true;
  // The test looks at the line processed last, so the first line that reaches the limit is
  // processed too. Lines wait in held_ until the batch of their bulletins is complete.
  while (passError_.empty() && ValueOfText(s_.MarkedNum) < s_.PruneLimit && !marked.AtEnd()) {
    s_.MarkedLine = marked.ReadLine();
    s_.MarkedNum = s_.MarkedLine.substr(0, 6);
    s_.BullPath = BullPathOf(s_.MarkedNum);
    RestoreMark(s_.MarkedLine);
    const std::size_t pending = batch_.size();
    try {
      Do_It();
    } catch (const std::exception& e) {
      // The line at hand and every later one go to the new list unchanged, so the K marks
      // of the bulletins already moved are kept.
      passError_ = e.what();
    }
    held_.push_back(s_.MarkedLine);
    if (batch_.size() > pending) batch_.back().target = &held_.back();
    if (batch_.empty()) {
      WriteHeld(newList);  // nothing to wait for
    } else if (batch_.size() >= kBatchSize || held_.size() >= kBatchSize * 64 ||
               !passError_.empty()) {
      try {
        CompleteBatch();
      } catch (const std::exception& e) {
        if (passError_.empty()) passError_ = e.what();
      }
      WriteHeld(newList);
    }
  }
  try {
    CompleteBatch();
  } catch (const std::exception& e) {
    if (passError_.empty()) passError_ = e.what();
  }
  batching_ = false;
  WriteHeld(newList);
  CopyRest(marked, newList);
}

void ArchiveRun::StartFresh() {
  archived_ = 0;
  passError_.clear();
  notRecycled_.clear();
  notPortable_.clear();
  keptStaged_.clear();
  firstFree_.clear();
  batch_.clear();
  batchPaths_.clear();
  held_.clear();
  journal_.reset();
  keepJournal_ = false;
  stagingReady_ = false;
  restoreMarks_.clear();
  toTrash_.clear();
  finished_ = 0;
  files_ = std::make_unique<platform::Files>();
}

void ArchiveRun::RecoverInterrupted() {
  if (files_->EntryExists(kJournal)) {
    platform::TextReader journal(*files_, kJournal);
    struct Entry {
      std::string tempPath, archivePath, line;
    };
    std::map<std::string, Entry> entries;  // by bulletin
    // An entry is "#" and four lines. One cut short (the power failed while it was written)
    // ends at the next "#"; it names no copy that a bulletin left Winpack's folder on.
    std::vector<std::string> lines;
    while (!journal.AtEnd()) lines.push_back(journal.ReadLine());
    for (std::size_t i = 0; i + 4 < lines.size(); ++i) {
      if (lines[i] != "#") continue;
      if (std::find(lines.begin() + i + 1, lines.begin() + i + 5, "#") != lines.begin() + i + 5) {
        continue;
      }
      entries[lines[i + 1]] = {lines[i + 2], lines[i + 3], lines[i + 4]};
      i += 4;
    }
    for (const auto& [bullPath, entry] : entries) {
      if (StillThere(bullPath)) {
        // The copy counts only when whole; else the bulletin is archived again as usual.
        if (IsWholeCopy(entry.archivePath, bullPath)) {
          toTrash_.push_back(bullPath);
          restoreMarks_[entry.line] = bullPath;
        }
      } else if (files_->EntryExists(entry.archivePath)) {
        restoreMarks_[entry.line] = bullPath;
      } else if (IsStagedName(entry.tempPath) && files_->EntryExists(entry.tempPath)) {
        KeepStaged(bullPath, entry.tempPath);
      }
    }
  }
  // Whatever else waits under a temporary name never got its final name: no bulletin left
  // Winpack's folder relying on it.
  for (const std::string& name : files_->FileNames(kStaging)) {
    if (name.size() > 5 && name.compare(name.size() - 5, 5, kKept) == 0) continue;
    files_->RemoveFile(std::string(kStaging) + "\\" + name);
  }
}

void ArchiveRun::KeepStaged(const std::string& bullPath, const std::string& tempPath) {
  // The bulletin left Winpack's folder by other hands (Winpack prunes old bulletins) before
  // its copy got its archive name: that copy may be the last one there is, though nothing
  // says it is whole. It is set aside for the user rather than removed or trusted.
  std::string kept = tempPath + kKept;
  if (!files_->RenameNew(tempPath, kept)) kept = tempPath;
  keptStaged_.push_back(kept + " (of " + bullPath + ")");
}

void ArchiveRun::FinishInterrupted() {
  if (toTrash_.empty()) return;
  const std::vector<std::string> reasons = files_->MoveToTrash(toTrash_);
  for (std::size_t i = 0; i < toTrash_.size(); ++i) {
    if (reasons[i].empty() || !StillThere(toTrash_[i])) {
      ++finished_;
    } else {
      notRecycled_.push_back(toTrash_[i] + ": " + reasons[i]);
    }
  }
}

void ArchiveRun::RemoveJournal() noexcept {
  journal_.reset();
  try {
    if (files_->EntryExists(kJournal)) files_->RemoveFile(kJournal);
  } catch (const std::exception&) {
    // Left behind, it only repeats what the new list already says.
  }
}

void ArchiveRun::MnuArchive_Click() {
  StartFresh();
  try {
    if (!files_->LockRun(kRunLock)) {
      reporter_.ShowMessage(Reporter::Kind::kError,
                            std::string("Another archive run is in progress: it holds ") +
                                kRunLock +
                                ".\nThis run did not start; no bulletin was moved and "
                                "MARKED.TXT is unchanged.");
      return;
    }
  } catch (const std::exception& e) {
    reporter_.ShowMessage(Reporter::Kind::kError,
                          std::string("The archive run did not start.\n") + e.what() +
                              "\nNo bulletin was moved and MARKED.TXT is unchanged.");
    return;
  }
  struct Unlock {
    platform::Files& files;
    ~Unlock() { files.Unlock(); }
  } unlock{*files_};

  try {
    Set_Var();
    ReadLastNum();
    ApplyPruneSize();
    RecoverInterrupted();
  } catch (const std::exception& e) {
    reporter_.ShowMessage(Reporter::Kind::kError,
                          std::string("The archive run did not start.\n") + e.what() +
                              "\nNo bulletin was moved and MARKED.TXT is unchanged.");
    return;
  }

  s_.MarkedNum.assign(1, '1');  // (an assignment from "1" trips a false GCC 12 -Wrestrict)
  ListState list = ListState::kUnchanged;
  std::string listError;
  try {
    platform::TextReader marked(*files_, kMarkedList);
    platform::TextWriter newList = platform::TextWriter::Create(*files_, kNewMarkedList);
    try {
      FinishInterrupted();
      Pass(marked, newList);
      newList.Close();
      files_->Flush();
      // Winpack appends to the list when the operator marks a bulletin: lines that came
      // meanwhile are kept. A list put in its place by another program is not replaced.
      for (int round = 0; !marked.AtEnd(); ++round) {
        if (round == 3) {
          throw platform::FileError(platform::FileError::Kind::kOther, marked.path(),
                                    "it keeps growing while the run tries to replace it");
        }
        platform::TextWriter more = platform::TextWriter::Append(*files_, kNewMarkedList);
        CopyRest(marked, more);
        more.Close();
        files_->Flush();
      }
      if (!marked.StillNamed(*files_)) {
        throw platform::FileError(platform::FileError::Kind::kOther, marked.path(),
                                  "another program put a new list in its place during the run");
      }
    } catch (...) {
      newList.Discard();
      throw;
    }
    // Windows replaces no file that is open.
    marked.Close();
    ReplaceMarkedList();
    list = ListState::kReplaced;
    files_->Flush();
    list = ListState::kDurable;
  } catch (const std::exception& e) {
    listError = e.what();
  }
  if (list == ListState::kDurable && !keepJournal_) RemoveJournal();
  Report(list, listError);
}

namespace {

// "1 bulletin had been archived ... and is marked K", "2 bulletins ... and are marked K".
std::string MarkedSentence(int n, const char* when) {
  if (n == 0) return std::string("No bulletin had been archived") + when + ".";
  return Plural(n) + " had been archived" + when + " and " + (n == 1 ? "is" : "are") +
         " marked K in MARKED.TXT.";
}

std::string Listed(const char* heading, const std::vector<std::string>& items) {
  if (items.empty()) return {};
  std::string text = heading;
  for (const std::string& item : items) text += "\n" + item;
  return text;
}

}  // namespace

void ArchiveRun::Report(ListState list, const std::string& listError) {
  const std::string refused = Listed(
      "These bulletins were archived but the trash refused them, so they are still in "
      "Winpack's folder beside their archive copies:",
      notRecycled_);
  const std::string unportable = Listed(
      "These bulletins were not archived because their group cannot be a folder name on "
      "Windows; they stay where they are and their lines are unchanged:",
      notPortable_);
  const std::string kept = Listed(
      "An interrupted run had copied these bulletins, but they left Winpack's folder before "
      "their copies got archive names; the copies are kept under these names, whole or not, "
      "for you to look at:",
      keptStaged_);
  const auto withLists = [&](std::string text) {
    for (const std::string* part : {&refused, &unportable, &kept}) {
      if (!part->empty()) text += "\n" + *part;
    }
    return text;
  };
  const std::string stopped =
      passError_.empty() ? std::string() : "\nBefore that the run stopped at: " + passError_;

  if (list == ListState::kUnchanged) {
    std::string text =
        "The marked list could not be rewritten.\n" + listError + "\nMARKED.TXT is unchanged.";
    const int n = archived_ + finished_;
    if (n > 0) {
      text += ' ';
      text += Plural(n) + " had already been archived; " +
              (n == 1 ? "its line carries" : "their lines carry") +
              " no K mark yet, and the next run gives " + (n == 1 ? "it its" : "them their") +
              " K mark.";
    }
    reporter_.ShowMessage(Reporter::Kind::kError, withLists(text + stopped));
    return;
  }
  if (list == ListState::kReplaced) {
    reporter_.ShowMessage(
        Reporter::Kind::kError,
        withLists("MARKED.TXT was replaced by the new list, but the disk did not confirm "
                  "that it is stored.\n" +
                  listError + "\n" + MarkedSentence(archived_, "") +
                  " Should the power fail before the disk stores it, the next run gives "
                  "the K marks again." +
                  stopped));
    return;
  }
  if (!passError_.empty()) {
    reporter_.ShowMessage(Reporter::Kind::kError,
                          withLists("The archive run stopped.\n" + passError_ + "\n" +
                                    MarkedSentence(archived_ + finished_, " before it") +
                                    " The other bulletins were left where they were and "
                                    "their lines are unchanged."));
    return;
  }
  if (!refused.empty()) reporter_.ShowMessage(Reporter::Kind::kWarning, refused);
  if (!unportable.empty()) reporter_.ShowMessage(Reporter::Kind::kWarning, unportable);
  if (!kept.empty()) reporter_.ShowMessage(Reporter::Kind::kWarning, kept);
  reporter_.ShowMessage(Reporter::Kind::kPlain, kFinished);
}

}  // namespace run
