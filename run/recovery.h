#pragma once

#include <map>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/files.h"
#include "run/journal.h"

namespace run {

/// What a run takes over from one that was interrupted, as its journal and staging folder
/// tell it.
struct Recovery {
  std::vector<std::string> toTrash;             // bulletins whose whole copy is in the archive
  std::unordered_set<std::string> marks;        // numbers (upper case) whose lines get their K mark
  std::vector<JournalEntry> entries;            // what the next journal must still say
  std::vector<std::string> claims;              // staging prefixes it must still claim: of those
                                                // entries, and of copies that could not be removed
  std::vector<std::string> kept;                // copies set aside for the user, and of what
  std::set<std::string> keptAsStaged;           // those of them under their staging names
                                                // (upper-case paths)
  std::vector<std::string> strays;              // files in the staging folder the run did not make
  std::map<std::string, OldListNote> oldLists;  // what the journal noted of second names
};

/// Reads the journal an interrupted run left and tidies its staging folder: copies that never
/// got their archive name are removed (one that cannot be stays claimed), one whose bulletin is
/// gone is set aside as `.kept`, and what the run did not make is left where it is. Throws
/// FileError.
Recovery RecoverInterrupted(platform::Files& files);

/// Sends the bulletins the interrupted run had copied to the trash; returns how many left
/// Winpack's folder, and adds "path: reason" for each the trash refused.
int FinishInterrupted(platform::Files& files, const Recovery& recovery,
                      std::vector<std::string>& notRecycled);

/// Whether the bulletin can still be opened in Winpack's folder.
bool StillThere(platform::Files& files, const std::string& bulletinPath);

}  // namespace run
