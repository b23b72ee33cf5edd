#include <fstream>
#include <sstream>
#include <string>

#include "platform/codepage.h"
#include "platform/files.h"

namespace platform {

const CodePage& SystemCodePage() {
  // Kept for the prefix it was read from: the prefix's Windows fixes its code page when it
  // starts, and re-reading its registry for every name would cost a file read per name.
  static std::string prefix;
  static const CodePage* page = nullptr;
  std::string root = DriveRoot();
  if (page != nullptr && root == prefix) return *page;
  prefix = std::move(root);
  constexpr std::string_view kDrive = "/drive_c";
  std::ifstream reg(prefix.substr(0, prefix.size() - kDrive.size()) + "/system.reg",
                    std::ios::binary);
  std::stringstream text;
  text << reg.rdbuf();
  const unsigned recorded = RecordedAnsiCodePage(text.str());
  page = &CodePage::Known(recorded != 0 ? recorded : 1252);
  return *page;
}

}  // namespace platform
