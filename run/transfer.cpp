#include <optional>
#include <vector>

#include "platform/codepage.h"
#include "platform/file_error.h"
#include "run/archive_run.h"
#include "run/value.h"

namespace run {

std::string KMark(const std::string& line) {
  const std::size_t comma = line.find(',');
  if (comma == std::string::npos) return line + ",K";
  std::string marked = line;
  marked.insert(comma + 1, 1, 'K');
  return marked;
}

std::string BullPathOf(const std::string& markedNum) {
  const std::string last = markedNum.empty() ? "" : markedNum.substr(markedNum.size() - 1);
  return "C:\\Winpack\\Bulls\\" + last + "\\" + markedNum + ".TXT";
}

bool NamesOneFile(const std::string& markedNum) {
  return markedNum.find_first_of("\\/") == std::string::npos;
}

bool IsKMarked(const std::string& line) {
  const std::size_t comma = line.find(',');
  return comma != std::string::npos && comma + 1 < line.size() && line[comma + 1] == 'K';
}

std::string BullGroupOf(const std::string& headLine2) {
  if (headLine2.size() < 14) return {};
  std::string field = headLine2.substr(13, 6);
  field.erase(field.find_last_not_of(' ') + 1);
  return field;
}

int32_t RecycleFile(platform::Files& files, std::string path, std::string* reason) {
  const std::vector<std::string> reasons = files.MoveToTrash({path});
  if (reasons[0].empty()) return 0;
  if (reason != nullptr) *reason = reasons[0];
  return -1;
}

void ArchiveRun::Do_It() {
  s_.SeqNum = 1;
  s_.SeqText = "01";
  reporter_.SetPanelText(1, s_.BullPath);
  // A line archived by an earlier run is not archived twice, though its bulletin may still be
  // there (the trash failed, or the user put it back); a number with a path separator would
  // reach into other folders.
  if (IsKMarked(s_.MarkedLine) || !NamesOneFile(s_.MarkedNum)) return;
  // A bulletin marked twice is copied once: the second time it is on its way to the trash.
  if (batchPaths_.count(platform::UpperCase(s_.BullPath)) != 0) return;

  // A link is not followed: the run moves Winpack's own files only. A bulletin that cannot
  // be opened is passed over in silence.
  auto bulletin =
      platform::TextReader::TryOpen(*files_, s_.BullPath, platform::TextReader::Links::kRefuse);
  if (!bulletin) return;
  if (bulletin->AtEnd()) return;
  s_.HeadLine1 = bulletin->ReadLine();
  // A second header line is needed to know the group; without one the file is not a
  // bulletin to move.
  if (bulletin->AtEnd()) return;
  s_.HeadLine2 = bulletin->ReadLine();
  s_.BullGroup = BullGroupOf(s_.HeadLine2);

  const int count = s_.GroupCount;
  for (int i = 1; i <= count; ++i) {
    if (s_.Groups[i] != s_.BullGroup) continue;
    // A folder that Windows cannot open (or takes for another) would hide the copy from
    // Winpack's own machine: such a bulletin stays, and the run says so.
    if (!IsPortableFolderName(s_.Groups[i])) {
      notPortable_.push_back(s_.BullPath + " (group \"" + s_.Groups[i] + "\")");
      return;
    }
    s_.GroupName = s_.Groups[i];
    MoveFile(*bulletin);
    bulletin->Close();
    if (!batching_) {
      batch_.back().target = &s_.MarkedLine;
      CompleteBatch();
    }
    return;  // a bulletin moves once, however often its group is listed
  }
}

void ArchiveRun::MoveFile(platform::TextReader& bulletin) {
  SetupFileNameAndDirectory();
  Pending pending;
  pending.bullPath = s_.BullPath;
  pending.line = s_.MarkedLine;
  pending.archivePath = files_->AbsoluteWinPath(s_.ArchiveName);
  reporter_.SetPanelText(2, pending.archivePath);
  if (!stagingReady_) {
    if (!files_->IsDirectory(kStaging)) files_->MakeDir(kStaging);
    stagingReady_ = true;
  }
  // The copy gets its final name only when it is whole and on disk: a name in the archive
  // never holds half a bulletin.
  pending.tempPath = std::string(kStaging) + "\\" + s_.GroupName + "-" + s_.ArchiveName;
  platform::TextWriter copy = platform::TextWriter::Create(*files_, pending.tempPath);
  try {
    copy.WriteLine(s_.HeadLine1);
    copy.WriteLine(s_.HeadLine2);
    bulletin.CopyRestTo(copy);
    copy.Close();
  } catch (...) {
    copy.Discard();
    throw;
  }
  batchPaths_.insert(platform::UpperCase(pending.bullPath));
  batch_.push_back(std::move(pending));
}

void ArchiveRun::CompleteBatch() {
  if (batch_.empty()) return;
  try {
    // The journal names every copy before any bulletin leaves: a run that dies from here on
    // is finished by the next one.
    if (!journal_) {
      journal_.emplace(platform::TextWriter::Append(*files_, kJournal));
      journal_->WriteLine("");  // ends a line that an earlier run's power cut left open
    }
    for (const Pending& p : batch_) {
      journal_->WriteLine("#");
      journal_->WriteLine(p.bullPath);
      journal_->WriteLine(p.tempPath);
      journal_->WriteLine(p.archivePath);
      journal_->WriteLine(p.line);
    }
    journal_->Flush();
    files_->Flush();  // the copies and the journal
    for (Pending& p : batch_) {
      if (!files_->RenameNew(p.tempPath, p.archivePath)) {
        throw platform::FileError(platform::FileError::Kind::kOther, p.archivePath,
                                  "the name was taken by another program during the run");
      }
      p.renamed = true;
    }
  } catch (...) {
    UndoBatch();
    throw;
  }
  std::vector<std::string> paths;
  paths.reserve(batch_.size());
  for (const Pending& p : batch_) paths.push_back(p.bullPath);
  // The final names are made durable first.
  const std::vector<std::string> reasons = files_->MoveToTrash(paths);
  for (std::size_t i = 0; i < batch_.size(); ++i) {
    // A bulletin that left Winpack's folder otherwise (Winpack pruned it) is not still there.
    if (!reasons[i].empty() && StillThere(paths[i]))
      notRecycled_.push_back(paths[i] + ": " + reasons[i]);
    *batch_[i].target = KMark(*batch_[i].target);
    ++archived_;
  }
  batch_.clear();
  batchPaths_.clear();
}

void ArchiveRun::UndoBatch() noexcept {
  // The bulletins are all still in place: their copies go, and the batch is as if never
  // begun. A copy that cannot be removed is finished by the next run through the journal.
  for (const Pending& p : batch_) {
    try {
      files_->RemoveFile(p.renamed ? p.archivePath : p.tempPath);
    } catch (const std::exception&) {
      keepJournal_ = keepJournal_ || p.renamed;
    }
  }
  batch_.clear();
  batchPaths_.clear();
}

bool ArchiveRun::StillThere(const std::string& bullPath) {
  return platform::TextReader::TryOpen(*files_, bullPath, platform::TextReader::Links::kRefuse)
      .has_value();
}

bool ArchiveRun::IsWholeCopy(const std::string& archivePath, const std::string& bullPath) {
  auto archive =
      platform::TextReader::TryOpen(*files_, archivePath, platform::TextReader::Links::kRefuse);
  auto bulletin =
      platform::TextReader::TryOpen(*files_, bullPath, platform::TextReader::Links::kRefuse);
  if (!archive || !bulletin) return false;
  while (!bulletin->AtEnd()) {
    if (archive->AtEnd() || archive->ReadLine() != bulletin->ReadLine()) return false;
  }
  return archive->AtEnd();
}

}  // namespace run
