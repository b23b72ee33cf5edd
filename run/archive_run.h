#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
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
/// Held for the whole of a run: a second run is refused while it is.
inline constexpr char kRunLock[] = "C:\\Winpack\\BULLS\\MARKED.LCK";
/// The trace of bulletins on their way: for each, its archive file, written through before
/// the bulletin leaves Winpack's folder and removed once the new marked list is in place.
inline constexpr char kJournal[] = "C:\\Winpack\\BULLS\\MARKED.JNL";
/// Where archive copies are written before they get their final name (no group folder can
/// bear this name: group names have at most six characters).
inline constexpr char kStaging[] = "C:\\Winpack\\Archive\\Bulls\\Kelvaron.tmp";
/// Bulletins whose copies are made durable together before they go to the trash.
inline constexpr std::size_t kBatchSize = 512;

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
  /// opened, or has fewer than two lines, is passed over, and one whose group cannot be a
  /// folder on Windows is left and reported. Other failures throw, leaving the bulletin in
  /// place, its line unmarked and no partial archive file. Within a whole run the move is
  /// completed for a batch of bulletins at once, and the K mark given then.
  void Do_It();

  /// Makes or enters the group folder of GroupName (which becomes its folder form) and
  /// chooses in ArchiveName the lowest free name of the date stamp.
  void SetupFileNameAndDirectory();
  int16_t DirExists(std::string& name);
  int16_t FileExists(std::string& name);

  int archivedCount() const { return archived_; }

 private:
  /// A bulletin whose copy is complete under its temporary name.
  struct Pending {
    std::string bullPath, tempPath, archivePath, line;
    std::string* target = nullptr;  // the marked line that gets the K mark
    bool renamed = false;
  };
  enum class ListState { kUnchanged, kReplaced, kDurable };

  void MoveFile(platform::TextReader& bulletin);
  void NextSeqNum();
  void BuildArchiveName();
  /// The archive name of the run's date stamp with the given sequence number.
  std::string ArchiveNameOf(int seqNum) const;
  void Pass(platform::TextReader& marked, platform::TextWriter& newList);
  void CopyRest(platform::TextReader& marked, platform::TextWriter& newList);
  void WriteHeld(platform::TextWriter& newList);
  /// Gives the pending copies their final names, journals them and sends their bulletins to
  /// the trash, each step durable before the next; marks their lines. On failure undoes the
  /// batch (the bulletins stay, unmarked, without copies) and throws.
  void CompleteBatch();
  void UndoBatch() noexcept;
  /// Reads what an interrupted run left in the journal: bulletins whose whole copy is in the
  /// archive are finished (trash, K mark); for the others the copy is removed.
  void RecoverInterrupted();
  void FinishInterrupted();
  bool IsWholeCopy(const std::string& archivePath, const std::string& bullPath);
  void RestoreMark(std::string& line);
  void RemoveJournal() noexcept;
  void Report(ListState list, const std::string& listError);

  RunState& s_;
  Reporter& reporter_;
  const platform::Clock& clock_;
  int archived_ = 0;
  std::string passError_;
  std::vector<std::string> notRecycled_;  // bulletin path and the trash's reason
  std::vector<std::string> notPortable_;  // bulletin path and its group
  // Per group of this run, the lowest sequence number not yet seen taken in its folder: names
  // are only ever added during a run, so the search for a free one need not start at 01 again.
  std::unordered_map<std::string, int> firstFree_;
  std::unique_ptr<platform::Files> files_;
  bool batching_ = false;
  bool stagingReady_ = false;
  std::vector<Pending> batch_;
  std::deque<std::string> held_;  // lines of the new list waiting for their batch
  std::optional<platform::TextWriter> journal_;
  bool keepJournal_ = false;  // a copy could not be undone: the next run must see it
  std::map<std::string, std::string> restoreMarks_;  // interrupted: unmarked line -> bulletin
  std::vector<std::string> toTrash_;
  int finished_ = 0;  // bulletins of an interrupted run sent to the trash by this one
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

/// Whether a group name can be a folder name on Windows as well as here: not empty, no
/// path, wildcard, reserved or control character, no leading or trailing blank, no trailing
/// dot (so not "." or "..."), and not a device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with
/// or without an extension).
bool IsPortableFolderName(const std::string& name);

/// Sends a bulletin to the Recycle Bin; 0 on success. `path` is a copy the caller hands over.
int32_t RecycleFile(platform::Files& files, std::string path, std::string* reason = nullptr);

}  // namespace run
