// The test station on Windows, where `C:\` is the real drive (under Wine the test prefix's
// drive_c), or the scratch folder that KELVARON_TEST_DRIVE names, which the run then takes for
// drive C: (on an operator's machine, whose C:\Winpack is not the tests' to remove): its
// Winpack folder is made afresh for each station. Paths and snapshot keys are written as the
// Linux station writes them, so one test serves both.
// clang-format off
#include "platform/wide_win.h"  // first: it takes back the names windows.h takes
// clang-format on
#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/faults.h"
#include "platform/settings_store.h"
#include "tests/station.h"
#include "tests/station_system.h"

namespace fs = std::filesystem;

namespace test {
namespace {

// The folder that stands for drive C:, written with '/'.
std::string DriveFolder() {
  std::string drive = platform::faults::TestDrive();
  if (drive.empty()) return "C:";
  for (char& c : drive) c = c == '\\' ? '/' : c;
  return drive;
}

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

Station::Station() : root(DriveFolder() + "/Winpack"), prefix(DriveFolder()), trash(TrashDir()) {
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
    : root(std::move(dir)), prefix(DriveFolder()), trash(std::move(trashDir)), owned_(false) {
  fs::create_directories(Host("Winpack/Bulls"));
  fs::create_directories(Host("Winpack/Archive/Bulls"));
}

Station::~Station() {
  if (owned_) RemoveTree(root);
}

namespace {

// Through void(*)(): the sanctioned way from GetProcAddress's type to a call's own.
void (*Proc(const wchar_t* module, const char* name))() {
  HMODULE m = GetModuleHandleW(module);
  return reinterpret_cast<void (*)()>(m != nullptr ? GetProcAddress(m, name) : nullptr);
}

// The Unix path of a path of drive C: under Wine, its last name taken as it is (it may not
// exist yet, or be a link); empty elsewhere.
std::string UnixPath(const std::string& path) {
  using UnixName = char*(__cdecl*)(const wchar_t*);
  const auto unixName =
      reinterpret_cast<UnixName>(Proc(L"kernel32.dll", "wine_get_unix_file_name"));
  if (unixName == nullptr) return {};
  std::wstring wide = platform::win::Wide(path);
  std::replace(wide.begin(), wide.end(), L'/', L'\\');
  const std::size_t cut = wide.rfind(L'\\');
  char* folder = unixName(wide.substr(0, cut).c_str());
  if (folder == nullptr) return {};
  std::string found = folder + platform::win::Narrow(wide.substr(cut)).replace(0, 1, "/");
  HeapFree(GetProcessHeap(), 0, folder);
  return found;
}

// Runs a Unix program under Wine, which runs one for the asking; false elsewhere.
bool RunUnix(std::vector<std::string> args) {
  using Spawn = LONG(__cdecl*)(char* const*, int);
  const auto spawn = reinterpret_cast<Spawn>(Proc(L"ntdll.dll", "__wine_unix_spawnvp"));
  if (spawn == nullptr) return false;
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  return spawn(argv.data(), 1) == 0;
}

}  // namespace

// Wine makes no symbolic link of its own (CreateSymbolicLinkW answers success and makes
// none): `ln -s` makes it as the operator would. On Windows the system makes it, given the
// right to.
bool MakeFileLink(const std::string& target, const std::string& link) {
  const std::string from = UnixPath(target), to = UnixPath(link);
  if (from.empty() || to.empty()) {
    std::error_code ec;
    fs::create_symlink(target, link, ec);
    return !ec && fs::is_symlink(link, ec);
  }
  return RunUnix({"/bin/ln", "-s", from, to}) && fs::exists(link);
}

// Under Wine a delete by the link's name would reach its target.
void RemoveFileLink(const std::string& link) {
  const std::string path = UnixPath(link);
  std::error_code ec;
  if (path.empty() || !RunUnix({"/bin/rm", "-f", path})) fs::remove(link, ec);
}

bool MakeFifo(const std::string&) { return false; }
bool HasFreedesktopTrash() { return false; }
bool DriveIsWinePrefix() { return false; }
bool NamesAreCp1252() { return GetACP() == 1252; }
bool UseCodePage(const Station&, unsigned number) { return GetACP() == number; }
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

std::string Host(const Station& st, const std::string& rel) { return st.prefix + "/" + rel; }

std::pair<std::string, std::string> DriveFiles(const Station& st) {
  return {st.root, "drive_c/Winpack/"};
}

std::string TrashOrigin(const std::string& path) { return WindowsForm(path); }

fs::path ProbeFolder() {
  return platform::faults::TestDrive().empty() ? fs::temp_directory_path()
                                               : fs::path(DriveFolder() + "/");
}

}  // namespace system

bool OpenFilesCanBeReplaced() { return false; }
bool GiveToAnotherUser(const std::string&) { return false; }

}  // namespace test
