#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/drive.h"

// Drive C: in memory, on a disk that can lose power: what was flushed is kept apart from
// what was only written, and a cut leaves what a journalling file system would. Paths are
// absolute Windows paths throughout.
namespace test {

/// The disk a test owns across runs; each run sees it through a Drive of its own.
class MemoryDisk {
 public:
  MemoryDisk();
  ~MemoryDisk();
  MemoryDisk(const MemoryDisk&) = delete;
  MemoryDisk& operator=(const MemoryDisk&) = delete;

  /// A run's view; its open files and lock die with the process at a cut.
  std::unique_ptr<platform::Drive> Open();

  /// The power goes at the `n`th (from 1) Drive or OpenFile call from now: that call and every
  /// later one fail (FileError) and change nothing, until CutPower. The run is not stopped by
  /// an exception of its own: a cut may fall where it lets none out (its tidying up, a
  /// destructor); it goes on to its end, changing nothing more.
  void FailAtCall(int n);
  /// Drive and OpenFile calls made so far, the failed ones after a cut not counted.
  int Calls() const;
  /// Whether the power went at the call FailAtCall chose.
  bool PowerIsOff() const;
  /// The numbers (as Calls counts) of the flushes made so far. A flush is the only call that
  /// changes what a cut leaves when everything unflushed is lost, so the cuts at the calls
  /// after one flush, up to the next flush, leave one disk.
  const std::vector<int>& Flushes() const;

  /// The disk as a power cut leaves it, with the power back on: every change since the last
  /// flush lost.
  void CutPower();
  /// As a cut chosen by `seed` leaves it: of the folder changes since the last flush the
  /// first k survive, in order; each file's bytes written since are all kept, all lost or
  /// kept up to some length. One seed, one outcome.
  void CutPower(std::uint64_t seed);

  /// Writes a file, with the folders it needs, and makes the whole disk durable. Names are
  /// taken as written, so a station may hold two spellings of one name, as on a Linux host;
  /// "trash:files/<name>" and "trash:info/<name>.trashinfo" are written into the trash.
  void Write(const std::string& abs, const std::string& bytes);
  /// Appends to the file a name stands for now, as another program does: not yet flushed.
  void Append(const std::string& abs, const std::string& bytes);
  /// From now on a file keeps one name, as on FAT: no hard links.
  void KeepOneNameAFile();
  /// From now on a file that is open stays in place of one replacing it, as on Windows.
  void ReplaceNoOpenFile();
  /// What another program does just before each replacement of a file that may be open
  /// (Drive::ReplaceUnlessOpen), while the power is on; none for nothing.
  void BeforeEachReplace(std::function<void()> meddle);
  /// What a file holds now; throws FileError for none.
  std::string Read(const std::string& abs) const;
  bool Exists(const std::string& abs) const;
  /// The names of the ordinary files of a folder; none when it is missing.
  std::vector<std::string> FilesIn(const std::string& abs) const;
  /// Makes a folder, with the folders it needs, names as written; durable.
  void MakeDir(const std::string& abs);
  /// Removes a file, or a folder with everything in it; durable.
  void Remove(const std::string& abs);
  /// Gives an entry, a folder with everything in it, the name `to` as written, a file taking
  /// the place of a file of that name; durable.
  void Rename(const std::string& from, const std::string& to);
  /// Whether an entry bears the name exactly as written, as a Linux host finds it.
  bool ExistsAsWritten(const std::string& abs) const;
  /// The names of every entry of a folder, files and folders, as stored; none when missing.
  std::vector<std::string> EntriesIn(const std::string& abs) const;
  /// Makes this disk a copy of `other` as it is now, with the power on, so that a test sets
  /// up one station once and starts from it again and again. This disk's views and open
  /// files die as at a cut; its count of calls goes on.
  void CopyFrom(const MemoryDisk& other);
  /// Every file, as tests/station.h gives a station's: "drive_c/<path with '/'>" and
  /// "trash:files/<name>", "trash:info/<name>.trashinfo" (its Path= line the file's path
  /// as "/drive_c/...") to content.
  std::map<std::string, std::string> Snapshot() const;

  struct State;

 private:
  std::shared_ptr<State> state_;  // shared with the views and their open files
};

}  // namespace test
