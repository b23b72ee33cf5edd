#include <algorithm>
#include <string_view>

#include "platform/codepage.h"
#include "platform/file_error.h"
#include "run/archive_run.h"
#include "run/value.h"

namespace run {

std::string FolderForm(const std::string& name) {
  if (name.empty()) return name;
  return platform::UpperChar(name[0]) + platform::LowerCase(std::string_view(name).substr(1));
}

bool IsPortableFolderName(const std::string& name) {
  if (name.empty() || name.front() == ' ' || name.back() == ' ' || name.back() == '.') {
    return false;
  }
  for (char c : name) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F ||
        std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) {
      return false;
    }
  }
  // Windows takes a device name for the device, whatever extension follows it.
  const std::string stem = platform::UpperCase(name.substr(0, name.find('.')));
  for (const char* device : {"CON", "PRN", "AUX", "NUL"}) {
    if (stem == device) return false;
  }
  return !(stem.size() == 4 && (stem.rfind("COM", 0) == 0 || stem.rfind("LPT", 0) == 0) &&
           stem[3] >= '1' && stem[3] <= '9');
}

std::string ArchiveRun::ArchiveNameOf(int seqNum) const {
  return s_.YearText + s_.MonthText + s_.DayText + SeqTextOf(seqNum) + ".TXT";
}

void ArchiveRun::BuildArchiveName() {
  s_.SeqText = SeqTextOf(s_.SeqNum);
  s_.ArchiveName = ArchiveNameOf(s_.SeqNum);
}

void ArchiveRun::NextSeqNum() {
  if (s_.SeqNum == INT16_MAX) {
    throw platform::FileError(platform::FileError::Kind::kOther,
                              files_->AbsoluteWinPath(s_.ArchiveName),
                              "every archive name of the day is taken in this folder");
  }
  ++s_.SeqNum;
  BuildArchiveName();
}

void ArchiveRun::SetupFileNameAndDirectory() {
  const std::string folder = platform::UpperCase(s_.GroupName);
  BuildArchiveName();
  DirExists(s_.GroupName);
  // Every name below the remembered number was taken earlier in this run (some by copies
  // that get their name only when their batch is complete).
  if (auto it = firstFree_.find(folder); it != firstFree_.end() && it->second > s_.SeqNum) {
    s_.SeqNum = static_cast<int16_t>(std::min<int>(it->second, INT16_MAX));
    BuildArchiveName();
    if (it->second > INT16_MAX) NextSeqNum();  // every name of the day is taken: fails
    BuildArchiveName();
  }
  while (FileExists(s_.ArchiveName) != 0) {
  }
  firstFree_[folder] = s_.SeqNum + 1;
}

int16_t ArchiveRun::DirExists(std::string& name) {
  name = FolderForm(name);
  files_->ChDir(kArchiveRoot);
  // An existing folder of any letter case is the group's folder.
  if (!files_->IsDirectory(name)) files_->MakeDir(name);
  files_->ChDir(std::string(kArchiveRoot) + "\\" + name);
  return 0;
}

int16_t ArchiveRun::FileExists(std::string& name) {
  if (!files_->EntryExists(name)) return 0;
  NextSeqNum();
  return 1;
}

}  // namespace run
