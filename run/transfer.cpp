#include <optional>

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
  return files.MoveToTrash(path, reason);
}

void ArchiveRun::Do_It() {
  s_.SeqNum = 1;
  s_.SeqText = "01";
  reporter_.SetPanelText(1, s_.BullPath);
  // A line archived by an earlier run is not archived twice, though its bulletin may still be
  // there (the trash failed, or the user put it back); a number with a path separator would
  // reach into other folders.
  if (IsKMarked(s_.MarkedLine) || !NamesOneFile(s_.MarkedNum)) return;

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
    if (s_.Groups[i] != s_.BullGroup || !IsUsableFolderName(s_.Groups[i])) continue;
    s_.GroupName = s_.Groups[i];
    MoveFile(*bulletin);
    bulletin->Close();
    std::string reason;
    if (RecycleFile(*files_, s_.BullPath, &reason) != 0)
      notRecycled_.push_back(s_.BullPath + ": " + reason);
    s_.MarkedLine = KMark(s_.MarkedLine);
    ++archived_;
    return;  // a bulletin moves once, however often its group is listed
  }
}

void ArchiveRun::MoveFile(platform::TextReader& bulletin) {
  const bool firstInFolder = firstFree_.count(platform::UpperCase(s_.GroupName)) == 0;
  SetupFileNameAndDirectory();
  // A run that died between the copy and the trash left the copy as the last file of the
  // folder and the bulletin in place; finding it again, the bulletin is archived already.
  if (firstInFolder && s_.SeqNum > 1) {
    const std::string previous = ArchiveNameOf(s_.SeqNum - 1);
    if (IsCopyOf(previous, bulletin)) {
      reporter_.SetPanelText(2, files_->AbsoluteWinPath(previous));
      return;
    }
  }
  platform::TextWriter archive = [this] {
    for (;;) {
      reporter_.SetPanelText(2, files_->AbsoluteWinPath(s_.ArchiveName));
      if (auto created = platform::TextWriter::CreateNew(*files_, s_.ArchiveName))
        return std::move(*created);
      NextSeqNum();  // the name was taken after it was probed
    }
  }();
  try {
    archive.WriteLine(s_.HeadLine1);
    archive.WriteLine(s_.HeadLine2);
    bulletin.CopyRestTo(archive);
    archive.Close();
  } catch (...) {
    archive.Discard();
    throw;
  }
}

bool ArchiveRun::IsCopyOf(const std::string& archiveName, platform::TextReader& bulletin) {
  auto archive = platform::TextReader::TryOpen(*files_, archiveName);
  if (!archive) return false;
  bool same = !archive->AtEnd() && archive->ReadLine() == s_.HeadLine1 && !archive->AtEnd() &&
              archive->ReadLine() == s_.HeadLine2;
  while (same && !bulletin.AtEnd())
    same = !archive->AtEnd() && archive->ReadLine() == bulletin.ReadLine();
  same = same && archive->AtEnd();
  if (!same) {
    bulletin.Rewind();
    bulletin.ReadLine();
    bulletin.ReadLine();
  }
  return same;
}

}  // namespace run
