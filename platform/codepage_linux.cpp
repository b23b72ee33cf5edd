#include <atomic>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>

#include "platform/codepage.h"
#include "platform/drive_linux.h"
#include "platform/files.h"

namespace platform {
namespace {

// The page the living drives use, once one of them needed it. Set and cleared under the
// lock, which also guards the prefix's page below; read without it.
std::mutex pinning;
std::atomic<const CodePage*> pinned{nullptr};
int pins = 0;

const CodePage& PrefixCodePage() {
  // Kept for the prefix it was read from: the prefix's Windows fixes its code page when it
  // starts, and re-reading its registry for every name would cost a file read per name. The
  // prefix is told by what DriveRoot reads, compared as it stands: a name's case needs it,
  // and building the path anew for each would cost more than the case itself.
  static std::string wineprefix, home;
  static const CodePage* page = nullptr;
  const auto same = [](const std::string& kept, const char* now) {
    return kept == (now != nullptr ? now : "");
  };
  const char* nowPrefix = std::getenv("WINEPREFIX");
  const char* nowHome = std::getenv("HOME");
  if (page != nullptr && same(wineprefix, nowPrefix) && same(home, nowHome)) return *page;
  wineprefix = nowPrefix != nullptr ? nowPrefix : "";
  home = nowHome != nullptr ? nowHome : "";
  const std::string root = DriveRoot();
  constexpr std::string_view kDrive = "/drive_c";
  std::ifstream reg(root.substr(0, root.size() - kDrive.size()) + "/system.reg", std::ios::binary);
  std::stringstream text;
  text << reg.rdbuf();
  const unsigned recorded = RecordedAnsiCodePage(text.str());
  page = &CodePage::Known(recorded != 0 ? recorded : 1252);
  return *page;
}

}  // namespace

// A drive made after the environment changed (a test's next station) finds its prefix anew.
CodePagePin::CodePagePin() {
  const std::lock_guard<std::mutex> lock(pinning);
  ++pins;
  pinned = nullptr;
}

CodePagePin::~CodePagePin() {
  const std::lock_guard<std::mutex> lock(pinning);
  if (--pins == 0) pinned = nullptr;
}

const CodePage& SystemCodePage() {
  if (const CodePage* page = pinned) return *page;
  const std::lock_guard<std::mutex> lock(pinning);
  const CodePage& page = PrefixCodePage();
  if (pins > 0) pinned = &page;
  return page;
}

}  // namespace platform
