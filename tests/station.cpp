// The test station's files and what a run left in them, the same on both systems; where the
// station lies and how the trash names a file are each system's (station_linux.cpp,
// station_win.cpp).
#include "tests/station.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/file_error.h"
#include "tests/memory_drive.h"
#include "tests/station_system.h"

namespace fs = std::filesystem;

namespace test {

// Read in one piece: files of hundreds of megabytes are read whole, and a stream that
// grows as it goes would copy them several times over.
std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
  if (size < 0) return {};
  std::string text(static_cast<std::size_t>(size), '\0');
  in.seekg(0);
  in.read(text.data(), size);
  text.resize(static_cast<std::size_t>(in.gcount()));
  return text;
}

namespace {

// The Windows path of a path below drive_c.
std::string WinPath(const std::string& rel) {
  std::string win = "C:\\" + rel;
  std::replace(win.begin(), win.end(), '/', '\\');
  return win;
}

}  // namespace

Station::Station(InMemory) : owned_(false), disk_(std::make_shared<MemoryDisk>()) {
  MakeDir("Winpack/Bulls");
  MakeDir("Winpack/Archive/Bulls");
}

std::string Station::Host(const std::string& rel) const {
  return disk_ ? "/drive_c/" + rel : system::Host(*this, rel);
}

run::DriveSource Station::Drive() const {
  if (!disk_) return platform::HostDrive;
  return [disk = disk_] { return disk->Open(); };
}

void Station::Write(const std::string& rel, const std::string& bytes) const {
  if (disk_) return disk_->Write(WinPath(rel), bytes);
  fs::create_directories(fs::path(Host(rel)).parent_path());
  std::ofstream(Host(rel), std::ios::binary) << bytes;
}

void Station::Append(const std::string& rel, const std::string& bytes) const {
  if (disk_) return disk_->Append(WinPath(rel), bytes);
  std::ofstream(Host(rel), std::ios::app | std::ios::binary) << bytes;
}

// As a missing file reads on the host's disk: empty.
std::string Station::Read(const std::string& rel) const {
  if (!disk_) return Slurp(Host(rel));
  try {
    return disk_->ExistsAsWritten(WinPath(rel)) ? disk_->Read(WinPath(rel)) : std::string();
  } catch (const platform::FileError&) {
    return {};
  }
}

bool Station::Exists(const std::string& rel) const {
  if (disk_) return disk_->ExistsAsWritten(WinPath(rel));
  return fs::exists(fs::symlink_status(Host(rel)));
}

void Station::MakeDir(const std::string& rel) const {
  if (disk_) return disk_->MakeDir(WinPath(rel));
  fs::create_directories(Host(rel));
}

std::vector<std::string> Station::FilesIn(const std::string& rel) const {
  if (disk_) return Exists(rel) ? disk_->FilesIn(WinPath(rel)) : std::vector<std::string>();
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(Host(rel), ec)) {
    if (e.is_regular_file()) names.push_back(e.path().filename().string());
  }
  return names;
}

std::vector<std::string> Station::EntriesIn(const std::string& rel) const {
  if (disk_) return Exists(rel) ? disk_->EntriesIn(WinPath(rel)) : std::vector<std::string>();
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(Host(rel), ec)) {
    names.push_back(e.path().filename().string());
  }
  return names;
}

void Station::Remove(const std::string& rel) const {
  if (disk_) return disk_->Remove(WinPath(rel));
  fs::remove_all(Host(rel));
}

void Station::Rename(const std::string& from, const std::string& to) const {
  if (disk_) return disk_->Rename(WinPath(from), WinPath(to));
  fs::rename(Host(from), Host(to));
}

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
  if (disk_) return disk_->Snapshot();
  std::map<std::string, std::string> files;
  const auto [drive, driveKey] = system::DriveFiles(*this);
  for (const fs::path& top : {fs::path(drive), fs::path(trash)}) {
    if (!fs::exists(top)) continue;
    const std::string key = top == fs::path(drive) ? driveKey : "trash:";
    for (const auto& e : fs::recursive_directory_iterator(top)) {
      if (e.is_regular_file())
        files[key + fs::relative(e.path(), top).generic_string()] = Slurp(e.path());
    }
  }
  return files;
}

namespace {

// Test programs run side by side: each probes in a folder of its own.
std::string UniqueName(const std::string& stem) {
  return stem + "-" + std::to_string(std::random_device{}());
}

}  // namespace

// Wine's CreateSymbolicLinkW may answer success and make nothing: links work only when one
// made to a folder leads into it.
bool CanMakeSymlinks() {
  const fs::path dir = system::ProbeFolder() / UniqueName("kelvaron-link-probe");
  std::error_code ec;
  fs::create_directories(dir / "target", ec);
  fs::create_directory_symlink(dir / "target", dir / "link", ec);
  const bool works = !ec && fs::is_symlink(dir / "link") && fs::is_directory(dir / "link");
  fs::remove_all(dir, ec);
  return works;
}

bool CanMakeHardLinks() {
  const fs::path dir = system::ProbeFolder() / UniqueName("kelvaron-hardlink-probe");
  std::error_code ec;
  fs::create_directories(dir, ec);
  std::ofstream(dir / "a") << "x";
  fs::create_hard_link(dir / "a", dir / "b", ec);
  const bool works = !ec && fs::hard_link_count(dir / "a", ec) == 2;
  fs::remove_all(dir, ec);
  return works;
}

namespace {

// A record's Path= line, or empty for none.
std::string PathOf(const std::string& info) {
  const std::size_t at = info.find("Path=");
  return at == std::string::npos ? "" : info.substr(at + 5, info.find('\n', at) - at - 5);
}

}  // namespace

std::map<std::string, std::string> Station::Trash() const {
  std::map<std::string, std::string> found;
  if (disk_) {
    const auto files = disk_->Snapshot();
    for (auto it = files.lower_bound("trash:files/");
         it != files.end() && it->first.rfind("trash:files/", 0) == 0; ++it) {
      const std::string name = it->first.substr(12);
      const auto info = files.find("trash:info/" + name + ".trashinfo");
      found[name] = info == files.end() ? "" : PathOf(info->second);
    }
    return found;
  }
  if (!fs::exists(trash + "/files")) return found;
  for (const auto& e : fs::directory_iterator(trash + "/files")) {
    const std::string name = e.path().filename().string();
    const std::string info = Slurp(trash + "/info/" + name + ".trashinfo");
    found[name] = info.find("Path=") == std::string::npos ? "" : system::TrashOrigin(PathOf(info));
  }
  return found;
}

}  // namespace test
