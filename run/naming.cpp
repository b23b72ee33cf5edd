#include "run/naming.h"

#include <string_view>

#include "platform/codepage.h"
#include "platform/file_error.h"
#include "run/paths.h"
#include "run/value.h"

namespace run {

std::string FolderForm(const std::string& name) {
  if (name.empty()) return name;
  return platform::UpperChar(name[0]) + platform::LowerCase(std::string_view(name).substr(1));
}

namespace {

// Windows takes a device name for the device, whatever extension follows it; the digit of
// COM and LPT may be 0-9 or the superscripts 1, 2, 3 of the code page.
bool IsDeviceName(const std::string& name) {
  const std::string stem = platform::UpperCase(name.substr(0, name.find('.')));
  for (const char* device : {"CON", "PRN", "AUX", "NUL"}) {
    if (stem == device) return true;
  }
  if (stem.size() != 4 || (!stem.starts_with("COM") && !stem.starts_with("LPT"))) return false;
  const char32_t digit = platform::SystemCodePage().ToUnicode(stem[3]);
  return (digit >= U'0' && digit <= U'9') || digit == U'\u00B9' || digit == U'\u00B2' ||
         digit == U'\u00B3';
}

[[noreturn]] void AllNamesTaken(const std::string& path) {
  throw platform::FileError(platform::FileError::Kind::kOther, path,
                            "every archive name of the day is taken in this folder");
}

}  // namespace

bool IsPortableFolderName(const std::string& name) {
  if (name.empty() || name.back() == ' ' || name.back() == '.') return false;
  for (char c : name) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F ||
        std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) {
      return false;
    }
  }
  return !IsDeviceName(name);
}

std::string ArchiveNameOf(const RunState& stamp, int seqNum) {
  return stamp.year + stamp.month + stamp.day + SequenceText(seqNum) + ".TXT";
}

ArchiveTarget Naming::FreeArchiveName(const std::string& group) {
  ArchiveTarget target{FolderForm(group), {}};
  const std::string folderPath = GroupFolder(target.folder);
  const auto pathOf = [&](int seqNum) { return folderPath + "\\" + ArchiveNameOf(stamp_, seqNum); };
  const std::string key = platform::UpperCase(group);
  int seqNum = 1;
  // Every name below the remembered number was handed out earlier in this run (some to
  // copies that get their name only when their batch is complete).
  if (auto it = firstFree_.find(key); it != firstFree_.end()) seqNum = it->second;
  if (seqNum > INT16_MAX) AllNamesTaken(pathOf(INT16_MAX));
  target.path = pathOf(seqNum);
  while (files_.EntryExists(target.path)) {
    if (seqNum >= INT16_MAX) AllNamesTaken(target.path);
    target.path = pathOf(++seqNum);
  }
  firstFree_[key] = seqNum + 1;
  return target;
}

std::string Naming::GroupFolder(const std::string& folder) {
  std::string path = std::string(kArchiveRoot) + "\\" + folder;
  if (!files_.IsDirectory(path)) files_.MakeDir(path);
  return path;
}

}  // namespace run
