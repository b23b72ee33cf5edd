// The test station on Windows, where `C:\` is the real drive (under Wine the test prefix's
// drive_c): C:\Winpack is made afresh for each station. Paths and snapshot keys are written as
// the Linux station writes them, so one test serves both.
// clang-format off
#include "platform/wide_win.h"  // first: it takes back the names windows.h takes
// clang-format on
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/settings_store.h"
#include "tests/station.h"
#include "tests/station_system.h"

namespace fs = std::filesystem;

namespace test {
namespace {

// The shell keeps the host's (Unix) path in the trash's info file; the same file as the
// station names it.
std::string WindowsForm(const std::string& hostPath) {
  for (const char* drive : {"/drive_c/", "/dosdevices/c:/"}) {
    const std::size_t at = hostPath.find(drive);
    if (at != std::string::npos) return "C:/" + hostPath.substr(at + std::strlen(drive));
  }
  return hostPath;
}

// Removes a tree in one pass, whatever cannot go staying: a file that a run still holds open
// is only marked for deletion, and stays listed until it is closed.
void RemoveTree(const fs::path& top) {
  std::error_code ec;
  std::vector<fs::path> entries;
  for (fs::recursive_directory_iterator it(top, ec), end; !ec && it != end; it.increment(ec)) {
    entries.push_back(it->path());
  }
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) fs::remove(*it, ec);
  fs::remove(top, ec);
}

}  // namespace

// Under Wine the shell's Recycle Bin is the host's XDG trash, seen through drive Z:.
std::string TrashDir() {
  const char* data = getenv("XDG_DATA_HOME");
  return std::string("Z:") + (data != nullptr ? data : "/nonexistent") + "/Trash";
}

Station::Station() : root("C:/Winpack"), prefix("C:"), trash(TrashDir()) {
  RemoveTree(root);
  // The shell finds the trash folder once per process: it is emptied, not removed.
  for (const char* part : {"/files", "/info"}) {
    if (!fs::exists(TrashDir() + part)) continue;
    for (const auto& e : fs::directory_iterator(TrashDir() + part)) fs::remove_all(e.path());
  }
  fs::create_directories(Host("Winpack/Bulls"));
  fs::create_directories(Host("Winpack/Archive/Bulls"));
}

Station::Station(std::string dir, std::string trashDir)
    : root(std::move(dir)), prefix("C:"), trash(std::move(trashDir)), owned_(false) {
  fs::create_directories(Host("Winpack/Bulls"));
  fs::create_directories(Host("Winpack/Archive/Bulls"));
}

Station::~Station() {
  if (owned_) RemoveTree(root);
}

std::string Station::Host(const std::string& rel) const { return prefix + "/" + rel; }

bool MakeFifo(const std::string&) { return false; }
bool HasFreedesktopTrash() { return false; }
bool DriveIsWinePrefix() { return false; }
bool NamesAreCp1252() { return GetACP() == 1252; }
void SetEnv(const char* name, const char* value) { _putenv_s(name, value != nullptr ? value : ""); }

bool SaveClassicSettings(const std::string& app, const Settings& values) {
  const std::wstring top = L"Software\\VB and VBA Program Settings\\" + platform::win::Wide(app);
  RegDeleteTreeW(HKEY_CURRENT_USER, top.c_str());
  const DWORD number = 12000;
  bool done = true;
  for (const auto& [name, text] : values) {
    const auto* data = text ? static_cast<const void*>(text->c_str()) : &number;
    const auto size = static_cast<DWORD>(text ? (text->size() + 1) * sizeof(wchar_t) : 4);
    done = done && RegSetKeyValueW(HKEY_CURRENT_USER, (top + L"\\Settings").c_str(),
                                   platform::win::Wide(name).c_str(), text ? REG_SZ : REG_DWORD,
                                   data, size) == ERROR_SUCCESS;
  }
  return done;
}

std::string ClassicSetting(const std::string& app, const std::string& section,
                           const std::string& key, const std::string& fallback) {
  return platform::GetSetting(app, section, key, fallback);
}

namespace system {

std::pair<std::string, std::string> DriveFiles(const Station& st) {
  return {st.root, "drive_c/Winpack/"};
}

std::string TrashOrigin(const std::string& path) { return WindowsForm(path); }

}  // namespace system

bool OpenFilesCanBeReplaced() { return false; }
bool GiveToAnotherUser(const std::string&) { return false; }
bool ManyFilesAreQuick() { return false; }

}  // namespace test
