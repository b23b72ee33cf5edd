#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/textfile.h"
#include "run/reporter.h"
#include "run/run_state.h"

namespace run {

inline constexpr char kMarkedList[] = "C:\\Winpack\\BULLS\\MARKED.TXT";
inline constexpr char kNewMarkedList[] = "C:\\Winpack\\BULLS\\MARKED.TMP";
inline constexpr char kLastNumFile[] = "C:\\Winpack\\Bulls\\Lastnum.txt";
inline constexpr char kPacketIni[] = "C:\\Winpack\\Packet.ini";
inline constexpr char kArchiveRoot[] = "C:\\Winpack\\Archive\\Bulls";
inline constexpr char kFinished[] = "Kelvaron is Finnished.";

/// One archive run over Winpack's marked list, and its steps. The steps work on the
/// RunState, as the run's vocabulary names them; they are public so they can be tried one
/// at a time.
class ArchiveRun {
 public:
  ArchiveRun(RunState& state, Reporter& reporter, const platform::Clock& clock)
      : s_(state),
        reporter_(reporter),
        clock_(clock),
        files_(std::make_unique<platform::Files>()) {}

  /// A whole run. Never throws: every failure is told to the user through the Reporter,
  /// and only a completed run ends with "Kelvaron is Finnished.". It starts afresh: nothing
  /// learned of the disk before it is used.
  void MnuArchive_Click();

  /// Forgets what was learned of the disk and of earlier steps, as a run starts; for steps
  /// tried one at a time.
  void StartFresh();
  /// The run's view of drive C: (its current directory among other things).
  platform::Files& files() { return *files_; }

  // Before the pass; each throws platform::FileError naming the file and the reason.
  void Set_Var();
  void ReadLastNum();
  void ApplyPruneSize();
  void ReplaceMarkedList();

  /// Moves the bulletin at BullPath when its group is selected; a bulletin that cannot be
  /// opened, or has fewer than two lines, is passed over. Other failures throw, leaving the
  /// bulletin in place, its line unmarked and no partial archive file.
  void Do_It();

  /// Makes or enters the group folder of GroupName (which becomes its folder form) and
  /// chooses in ArchiveName the lowest free name of the date stamp.
  void SetupFileNameAndDirectory();
  int16_t DirExists(std::string& name);
  int16_t FileExists(std::string& name);

  int archivedCount() const { return archived_; }

 private:
  void MoveFile(platform::TextReader& bulletin);
  bool IsCopyOf(const std::string& archiveName, platform::TextReader& bulletin);
  void NextSeqNum();
  void BuildArchiveName();
  /// The archive name of the run's date stamp with the given sequence number.
  std::string ArchiveNameOf(int seqNum) const;
  void Pass(platform::TextReader& marked, platform::TextWriter& newList);

  RunState& s_;
  Reporter& reporter_;
  const platform::Clock& clock_;
  int archived_ = 0;
  std::string passError_;
  std::vector<std::string> notRecycled_;
  // Per group of this run, the lowest sequence number not yet seen taken in its folder: names
  // are only ever added during a run, so the search for a free one need not start at 01 again.
  std::unordered_map<std::string, int16_t> firstFree_;
  std::unique_ptr<platform::Files> files_;
};

/// The bulletin file of a marked-list number: `C:\Winpack\Bulls\<last character>\<number>.TXT`.
std::string BullPathOf(const std::string& markedNum);

/// Whether a number names a file of its subfolder: one with a path separator in it would
/// reach into other folders, and is treated as a bulletin that cannot be opened.
bool NamesOneFile(const std::string& markedNum);

/// The marked line with its K mark: "K" right after the first comma; ",K" appended to a
/// line without a comma. Every other character stays.
std::string KMark(const std::string& line);

/// Whether the line carries the K mark of an earlier run.
bool IsKMarked(const std::string& line);

/// The group field of a bulletin's second header line: positions 14 to 19, trailing blanks
/// removed.
std::string BullGroupOf(const std::string& headLine2);

/// The folder form of a group name: first character upper case, the rest lower case.
std::string FolderForm(const std::string& name);

/// Whether a group name can be a single folder name: not empty, not "." or "..", no path,
/// wildcard or control character.
bool IsUsableFolderName(const std::string& name);

/// Sends a bulletin to the Recycle Bin; 0 on success. `path` is a copy the caller hands over.
int32_t RecycleFile(platform::Files& files, std::string path, std::string* reason = nullptr);

}  // namespace run
