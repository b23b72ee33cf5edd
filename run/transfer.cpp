#include <optional>

#include "platform/trash.h"
#include "platform/winpath.h"
#include "run/archive_run.h"

namespace run {

std::string KMark(const std::string& line) {
  const std::size_t comma = line.find(',');
  if (comma == std::string::npos) return line + ",K";
  std::string marked = line;
  marked.insert(comma + 1, 1, 'K');
  return marked;
}

std::string BullGroupOf(const std::string& headLine2) {
  if (headLine2.size() < 14) return {};
  std::string field = headLine2.substr(13, 6);
  field.erase(field.find_last_not_of(' ') + 1);
  return field;
}

int32_t RecycleFile(std::string path, std::string* reason) {
  return platform::MoveToTrash(path, reason);
}

void ArchiveRun::Do_It() {
  s_.SeqNum = 1;
  s_.SeqText = "01";
  reporter_.SetPanelText(1, s_.BullPath);

  std::optional<platform::TextReader> bulletin;
  try {
    // A link is not followed: the run moves Winpack's own files only.
    bulletin.emplace(s_.BullPath, platform::TextReader::Links::kRefuse);
  } catch (const std::exception&) {
    return;  // a bulletin that cannot be opened is passed over in silence
  }
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
    if (RecycleFile(s_.BullPath, &reason) != 0) notRecycled_.push_back(s_.BullPath + ": " + reason);
    s_.MarkedLine = KMark(s_.MarkedLine);
    ++archived_;
    return;  // a bulletin moves once, however often its group is listed
  }
}

void ArchiveRun::MoveFile(platform::TextReader& bulletin) {
  SetupFileNameAndDirectory();
  platform::TextWriter archive = [this] {
    for (;;) {
      reporter_.SetPanelText(2, platform::AbsoluteWinPath(s_.ArchiveName));
      if (auto created = platform::TextWriter::CreateNew(s_.ArchiveName))
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

}  // namespace run
