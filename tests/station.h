#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/drive.h"
#include "run/reporter.h"
#include "run/run.h"

namespace test {

class MemoryDisk;

/// Chooses the station whose drive C: is a MemoryDisk.
struct InMemory {};
inline constexpr InMemory kInMemory{};

/// A Winpack station in a fresh temporary Wine prefix, with the trash under the test
/// process's own XDG_DATA_HOME (emptied for each station). Removed again afterwards.
class Station {
 public:
  Station();
  /// A station in a folder that the caller owns (a mounted file system, say), with its trash
  /// in `trashDir`; nothing is removed afterwards.
  Station(std::string dir, std::string trashDir);
  /// A station on drive C: in memory, on a disk that can lose power (Disk). Its files are
  /// found as a Linux host finds them, names exactly as written; host paths are
  /// "/drive_c/...", as its trash records them.
  explicit Station(InMemory);
  ~Station();
  Station(const Station&) = delete;
  Station& operator=(const Station&) = delete;

  /// Host path of a path below drive_c, written with '/'.
  std::string Host(const std::string& rel) const;
  void Write(const std::string& rel, const std::string& bytes) const;
  /// Appends to a file, as another program does.
  void Append(const std::string& rel, const std::string& bytes) const;
  std::string Read(const std::string& rel) const;
  bool Exists(const std::string& rel) const;
  void MakeDir(const std::string& rel) const;
  /// The names of the ordinary files in a folder below drive_c; none when it is missing.
  std::vector<std::string> FilesIn(const std::string& rel) const;
  /// The names of every entry of a folder, files and folders; none when it is missing.
  std::vector<std::string> EntriesIn(const std::string& rel) const;
  /// Removes a file, or a folder with everything in it.
  void Remove(const std::string& rel) const;
  void Rename(const std::string& from, const std::string& to) const;

  /// Where a run finds the station's drive C:, a fresh view for each run.
  run::DriveSource Drive() const;
  std::unique_ptr<platform::Drive> OpenDrive() const { return Drive()(); }
  /// The disk in memory, or null for a station on the host's disk.
  MemoryDisk* Disk() const { return disk_.get(); }

  /// Lastnum.txt, Packet.ini and a Kelvaron.INI that takes its groups from the given lines.
  void Basics(int lastNum, int pruneSize, const std::vector<std::string>& groups) const;
  /// A bulletin file with Winpack's two header lines, the group at position 14.
  void Bulletin(const std::string& number, const std::string& group,
                const std::string& body = "Body line\r\n") const;
  static std::string BulletinText(const std::string& number, const std::string& group,
                                  const std::string& body = "Body line\r\n");

  /// Every file below the prefix and in the trash, relative path to content.
  std::map<std::string, std::string> Snapshot() const;
  /// Names in the trash's files/ folder, and the Path= line of each .trashinfo.
  std::map<std::string, std::string> Trash() const;

  std::string root;
  std::string prefix;
  std::string trash;  // the trash folder the run uses

 private:
  bool owned_ = true;
  std::shared_ptr<MemoryDisk> disk_;
};

class Recorder : public run::Reporter {
 public:
  void SetPanelText(int panel, const std::string& text) override { panels[panel] = text; }
  void ShowMessage(Kind kind, const std::string& text) override {
    messages.emplace_back(kind, text);
  }
  std::string panels[3];
  std::vector<std::pair<Kind, std::string>> messages;
};

class FixedClock : public platform::Clock {
 public:
  explicit FixedClock(std::string text) : text_(std::move(text)) {}
  std::string DateText() const override { return text_; }

 private:
  std::string text_;
};

/// The trash folder of the test process.
std::string TrashDir();

// What the system under test offers: a case that needs what is missing skips itself.
bool CanMakeSymlinks();  // that the system then follows
bool CanMakeHardLinks();
/// A symbolic link at the host path `link` to the file `target`, one that the program under
/// test reaches the file through (under Wine a Unix link, which Wine shows as the file
/// itself); false where none can be made.
bool MakeFileLink(const std::string& target, const std::string& link);
/// Removes a link that MakeFileLink made, the link itself (whatever is left of it).
void RemoveFileLink(const std::string& link);
/// A named pipe at `path`; false where the system has none.
bool MakeFifo(const std::string& path);
/// Whether the program writes the freedesktop.org trash itself (its names and records).
bool HasFreedesktopTrash();
/// A file another program holds open can be replaced (Windows refuses).
bool OpenFilesCanBeReplaced();
/// Gives the file to another user (nobody), where the test may; false elsewhere.
bool GiveToAnotherUser(const std::string& path);
/// Whether drive C: is a Wine prefix's drive_c, as the Linux program finds it.
bool DriveIsWinePrefix();
/// Sets an environment variable of the test process; nullptr removes it.
void SetEnv(const char* name, const char* value);
/// Whether the program's names are Windows-1252 (the code page of the system, on Windows).
bool NamesAreCp1252();
/// Gives the station's Windows the ANSI code page `number`, recorded in its prefix's registry
/// as Wine records it; false where the code page is the system's own and another (Windows,
/// where it follows the locale the system was started in).
bool UseCodePage(const Station& st, unsigned number);
/// Stores values (name, text; no text: a number) in the registry under `app`'s Settings as
/// the classic SaveSetting does, after removing all; false where there is no registry.
using Settings = std::vector<std::pair<std::string, std::optional<std::wstring>>>;
bool SaveClassicSettings(const std::string& app, const Settings& values);
/// platform::GetSetting where the system has a registry; `fallback` elsewhere.
std::string ClassicSetting(const std::string& app, const std::string& section,
                           const std::string& key, const std::string& fallback);

}  // namespace test
