// The test station on Windows, where `C:\` is the real drive (under Wine the test prefix's
// drive_c): C:\Winpack is made afresh for each station. Paths and snapshot keys are written as
// the Linux station writes them, so one test serves both.
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "tests/station.h"

namespace fs = std::filesystem;

namespace test {
namespace {

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
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

void Station::Write(const std::string& rel, const std::string& bytes) const {
  fs::create_directories(fs::path(Host(rel)).parent_path());
  std::ofstream(Host(rel), std::ios::binary) << bytes;
}

std::string Station::Read(const std::string& rel) const { return Slurp(Host(rel)); }

bool Station::Exists(const std::string& rel) const {
  return fs::exists(fs::symlink_status(Host(rel)));
}

void Station::MakeDir(const std::string& rel) const { fs::create_directories(Host(rel)); }

void Station::Basics(int lastNum, int pruneSize, const std::vector<std::string>& groups) const {
  Write("Winpack/Bulls/Lastnum.txt", std::to_string(lastNum) + "\r\n");
  Write("Winpack/Packet.ini", "[Settings]\r\nPRUNE_SIZE=" + std::to_string(pruneSize) + "\r\n");
  std::string ini = "#Kelvaron.INI\r\n[Kelvaron]\r\n";
  for (const auto& g : groups) ini += g + "\r\n";
  Write("Winpack/Kelvaron.INI", ini);
}

std::string Station::BulletinText(const std::string& number, const std::string& group,
                                  const std::string& body) {
  std::string field = group;
  field.resize(std::max<std::size_t>(field.size(), 6), ' ');
  return "R:261207/0800Z @:PI8ABC.#ZH.NLD.EURO #:" + number + "\r\n" + "From: PA3XYZ " + field +
         " @WW Subject of " + number + "\r\n" + body;
}

void Station::Bulletin(const std::string& number, const std::string& group,
                       const std::string& body) const {
  Write("Winpack/Bulls/" + number.substr(number.size() - 1) + "/" + number + ".TXT",
        BulletinText(number, group, body));
}

std::map<std::string, std::string> Station::Snapshot() const {
  std::map<std::string, std::string> files;
  for (const fs::path& top : {fs::path(root), fs::path(trash)}) {
    if (!fs::exists(top)) continue;
    const bool inTrash = top != fs::path(root);
    for (const auto& e : fs::recursive_directory_iterator(top)) {
      if (!e.is_regular_file()) continue;
      const std::string rel = inTrash ? "trash:" + fs::relative(e.path(), top).generic_string()
                                      : "drive_c/" + fs::relative(e.path(), "C:/").generic_string();
      files[rel] = Slurp(e.path());
    }
  }
  return files;
}

std::map<std::string, std::string> Station::Trash() const {
  std::map<std::string, std::string> found;
  if (!fs::exists(trash + "/files")) return found;
  for (const auto& e : fs::directory_iterator(trash + "/files")) {
    const std::string name = e.path().filename().string();
    std::string info = Slurp(trash + "/info/" + name + ".trashinfo");
    const std::size_t at = info.find("Path=");
    found[name] = at == std::string::npos
                      ? ""
                      : WindowsForm(info.substr(at + 5, info.find('\n', at) - at - 5));
  }
  return found;
}

}  // namespace test
