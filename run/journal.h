#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/textfile.h"

// MARKED.JNL: what the next run needs to finish a run that died with bulletins on their way.
// Each bulletin's entry names its archive file before the bulletin leaves Winpack's folder.
// Every field stands on a line of its own behind a tag, so no marked line can be mistaken for
// the start of an entry.
namespace run {

struct JournalEntry {
  std::string bulletinPath;  // the bulletin, C:\Winpack\Bulls\<d>\<number>.TXT
  std::string tempPath;      // its copy under a staging name
  std::string archivePath;   // the name the copy gets in its group folder
  std::string line;          // its marked line, before the K mark
};

/// What a run noted of a second name it gave a replaced marked list (MARKED.WAS): the lines
/// written to that file past byte `carried` are not in the list yet, unless the list has them
/// from byte `at` on; or, once `inList` is noted, the list file of that identity
/// (Files::FileId) has them all.
struct OldListNote {
  std::uint64_t carried = 0;
  std::uint64_t at = 0;
  std::string inList;
};

struct JournalContents {
  std::vector<JournalEntry> entries;
  std::vector<std::string> tokens;              // prefixes of the staging names the run made
  std::map<std::string, OldListNote> oldLists;  // by the second name, upper case
};

/// Reads a journal left behind: only a plain file (not a link), and of it only the entries
/// that have the shape a run writes (Trusted); nothing when there is none.
JournalContents ReadJournal(platform::Files& files);

/// Whether an entry names what a run can have written: the bulletin of its line in Winpack's
/// folder, a staging name of one of `tokens`, and an archive name in a group folder.
bool Trusted(const JournalEntry& entry, const std::vector<std::string>& tokens);
/// Whether a name in the staging folder bears the prefix of one of `tokens`.
bool Claimed(const std::string& stagedName, const std::vector<std::string>& tokens);
/// Whether a name in the staging folder is a copy set aside for the user: a `.kept` name, or
/// one of `keptAsStaged` (upper-case paths). No run claims or removes such a copy.
bool SetAside(const std::string& stagedName, const std::set<std::string>& keptAsStaged);

/// The journal of this run, made new when the run stages its first copy, with the entries
/// interrupted runs left that still count and the staging prefixes those runs still claim.
class Journal {
 public:
  Journal(platform::Files& files, std::vector<JournalEntry> earlier,
          std::vector<std::string> claims, std::map<std::string, OldListNote> oldLists)
      : files_(files),
        earlier_(std::move(earlier)),
        claims_(std::move(claims)),
        oldLists_(std::move(oldLists)) {}

  /// Starts the journal with the staging prefix of this run, durable before the first copy
  /// is staged. Throws FileError.
  void Begin(const std::string& token);
  /// Writes the entries out to the file; durable only after Files::Flush. Throws FileError.
  void Append(const std::vector<const JournalEntry*>& entries);
  /// Notes, durable only after Files::Flush, what OldListNote says of the second name `name`
  /// (its last name). Throws FileError.
  void NoteOldList(const std::string& name, const OldListNote& note);
  /// Once the new marked list is durable: closes the journal and removes it, or, while copies
  /// it claims are left in the staging folder, keeps only those claims. The copies set aside
  /// for the user (upper-case paths) are no longer claimed. Never throws.
  void Remove(const std::set<std::string>& setAside) noexcept;

 private:
  void Rewrite(const std::vector<std::string>& claims, const std::vector<JournalEntry>& entries,
               const std::map<std::string, OldListNote>& oldLists);

  platform::Files& files_;
  std::vector<JournalEntry> earlier_;
  std::vector<std::string> claims_;              // prefixes the journal on disk claims
  std::map<std::string, OldListNote> oldLists_;  // an earlier run's notes of second names
  std::optional<platform::TextWriter> out_;
};

}  // namespace run
