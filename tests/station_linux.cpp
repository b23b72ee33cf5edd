// The test station on Linux: a fresh Wine prefix in a temporary folder for each station.
#include "tests/station.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/station_system.h"

namespace fs = std::filesystem;

namespace test {

std::string TrashDir() { return std::string(getenv("XDG_DATA_HOME")) + "/Trash"; }

Station::Station() {
  char pattern[] = "/tmp/kelvaron-station-XXXXXX";
  root = mkdtemp(pattern);
  prefix = root + "/prefix";
  trash = TrashDir();
  setenv("WINEPREFIX", prefix.c_str(), 1);
  fs::remove_all(TrashDir());
  fs::create_directories(Host("Winpack/Bulls"));
  fs::create_directories(Host("Winpack/Archive/Bulls"));
}

Station::Station(std::string dir, std::string trashDir)
    : root(std::move(dir)), prefix(root + "/prefix"), trash(std::move(trashDir)), owned_(false) {
  fs::create_directories(Host("Winpack/Bulls"));
  fs::create_directories(Host("Winpack/Archive/Bulls"));
}

Station::~Station() {
  if (owned_) fs::remove_all(root);
}

bool MakeFileLink(const std::string& target, const std::string& link) {
  std::error_code ec;
  fs::create_symlink(target, link, ec);
  return !ec;
}

void RemoveFileLink(const std::string& link) {
  std::error_code ec;
  fs::remove(link, ec);
}

bool MakeFifo(const std::string& path) { return mkfifo(path.c_str(), 0600) == 0; }
bool HasFreedesktopTrash() { return true; }
bool DriveIsWinePrefix() { return true; }
bool NamesAreCp1252() { return true; }
bool UseCodePage(const Station& st, unsigned number) {
  // As Wine 8 writes it, among the other keys of the machine's registry.
  std::ofstream(st.prefix + "/system.reg", std::ios::binary)
      << "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n"
      << "[System\\\\CurrentControlSet\\\\Control\\\\Nls\\\\CodePage] 1733666000\n"
      << "#time=1db4981a3c0e8e2\n\"1250\"=\"c_1250.nls\"\n\"ACP\"=\"" << number
      << "\"\n\"MACCP\"=\"10000\"\n\"OEMCP\"=\"437\"\n\n"
      << "[System\\\\CurrentControlSet\\\\Control\\\\Nls\\\\Language] 1733666000\n"
      << "\"Default\"=\"0409\"\n";
  return true;
}
void SetEnv(const char* name, const char* value) {
  value != nullptr ? setenv(name, value, 1) : unsetenv(name);
}
bool SaveClassicSettings(const std::string&, const Settings&) { return false; }
std::string ClassicSetting(const std::string&, const std::string&, const std::string&,
                           const std::string& fallback) {
  return fallback;
}

namespace system {

std::string Host(const Station& st, const std::string& rel) {
  return st.prefix + "/drive_c/" + rel;
}

std::pair<std::string, std::string> DriveFiles(const Station& st) { return {st.prefix, ""}; }

std::string TrashOrigin(const std::string& path) { return path; }

fs::path ProbeFolder() { return fs::temp_directory_path(); }

}  // namespace system

bool OpenFilesCanBeReplaced() { return true; }
bool GiveToAnotherUser(const std::string& path) {
  return geteuid() == 0 && chown(path.c_str(), 65534, 65534) == 0;
}

}  // namespace test
