#pragma once

#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/textfile.h"
#include "run/bulletin.h"
#include "run/journal.h"
#include "run/missing_bulletins.h"
#include "run/naming.h"
#include "run/reporter.h"
#include "run/run_state.h"

namespace run {

/// The group field of a bulletin's second header line: positions 14 to 19, trailing blanks
/// removed.
std::string GroupField(const std::string& headLine2);

/// Moves bulletins of selected groups into the archive, a batch at a time: each copy is
/// written whole under a staging name, then the batch is journalled and made durable, the
/// copies take their archive names, and only then do the bulletins go to the trash.
class Transfer {
 public:
  Transfer(platform::Files& files, Reporter& reporter, const RunState& state, Journal& journal);

  /// Stages the copy of a bulletin when its group is selected, naming it in the record; true
  /// when it did, and the bulletin now waits for CompleteBatch. A line with the K mark of an
  /// earlier run, a bulletin that cannot be opened, or one of fewer than two lines is passed
  /// over; one whose group cannot be a folder on Windows is left and noted. Other failures
  /// throw, leaving the bulletin in place and no copy of it.
  bool Stage(Bulletin& bulletin);

  /// Completes the staged copies of a batch: every bulletin of it is archived then, and its
  /// record says whether the trash took it. On failure undoes the batch (bulletins stay, no
  /// copies) and throws.
  void CompleteBatch(Batch& batch);

  /// Bulletins left because their group cannot be a folder name, with the group.
  const std::vector<std::string>& notPortable() const { return notPortable_; }
  /// Whether a copy outlived a failed batch, so the next run must see the journal.
  bool keepJournal() const { return keepJournal_; }
  /// Removes the staging folder when nothing is left in it. Never throws.
  void RemoveStagingIfEmpty() noexcept;

 private:
  void StageCopy(platform::TextReader& bulletin, const std::string& headLine1,
                 const std::string& headLine2, const std::string& group, JournalEntry& entry);
  std::string StagingName(const std::string& groupFolder, const std::string& archivePath);
  /// Removes the batch's copies, the first `renamed` of them under their archive names.
  void UndoBatch(const Batch& batch, std::size_t renamed) noexcept;

  platform::Files& files_;
  Reporter& reporter_;
  const RunState& state_;
  Journal& journal_;
  Naming naming_;
  MissingBulletins missing_;
  std::string token_;  // begins the staging names of this run
  std::vector<std::string> notPortable_;
  bool keepJournal_ = false;
};

}  // namespace run
