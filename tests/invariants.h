#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/station.h"

namespace test {

/// The lines of a text, CR LF taken off; the last one also without it.
std::vector<std::string> Lines(const std::string& text);

/// A small station on which every failure is tried: groups ARES and WX selected, KEPS not,
/// a missing bulletin, an archive file of the day already there, a line past the limit.
void MakeSmallStation(const Station& st);

/// What a run must never lose, taken before the run.
struct Before {
  std::map<std::string, std::string> bulletins;  // path below drive_c -> content
  std::map<std::string, std::string> archive;
  std::string marked;
};
Before Capture(const Station& st);

/// The guarantees after a run that may have failed anywhere; each broken one as a text.
/// 1. every bulletin is whole in its place, an archive file or the trash (with its Path=);
/// 2. MARKED.TXT is the old list or a complete new one, and a K mark means a whole copy;
/// 3. no archive file of before was changed, and every new one is a whole bulletin.
std::vector<std::string> Kept(const Station& st, const Before& before);

/// After a completed run: every bulletin with an archive copy has its line K-marked, no
/// trash record lacks its file, and no journal or temporary copy is left.
std::vector<std::string> Finished(const Station& st, const Before& before);

/// How many new archive files hold a copy of each bulletin of before (a copy in the staging
/// folder is none).
std::map<std::string, int> ArchiveCopies(const Station& st, const Before& before);

/// Winpack on a drive in memory: a line of its own ("99000<n>,B") appended to MARKED.TXT
/// just before each of the first three tries to replace it, each noted in `written`.
void WinpackWritesAtReplacements(MemoryDisk& disk, std::set<std::string>& written);

/// The marked list as the run after others left it: Winpack's lines apart from the rest.
struct WinpacksAndOthers {
  std::multiset<std::string> winpacks;
  std::string others;  // as CR LF lines
};
WinpacksAndOthers SplitMarkedList(const Station& st);

}  // namespace test
