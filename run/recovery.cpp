#include "run/recovery.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "platform/codepage.h"
#include "platform/file_error.h"
#include "platform/textfile.h"
#include "run/marked_list.h"
#include "run/paths.h"

namespace run {
namespace {

using platform::TextReader;

enum class Copy { kBulletinGone, kWhole, kNotWhole };

// Whether the archive copy holds the bulletin line for line, the bulletin opened once.
Copy Compare(platform::Files& files, const std::string& archivePath,
             const std::string& bulletinPath) {
  auto bulletin = TextReader::TryOpen(files, bulletinPath, TextReader::Links::kRefuse);
  if (!bulletin) return Copy::kBulletinGone;
  auto archive = TextReader::TryOpen(files, archivePath, TextReader::Links::kRefuse);
  if (!archive) return Copy::kNotWhole;
  while (!bulletin->AtEnd()) {
    if (archive->AtEnd() || archive->ReadLine() != bulletin->ReadLine()) return Copy::kNotWhole;
  }
  return archive->AtEnd() ? Copy::kWhole : Copy::kNotWhole;
}

// The bulletin left Winpack's folder by other hands (Winpack prunes old bulletins) before its
// copy got its archive name: that copy may be the last one there is, though nothing says it
// is whole. It is set aside for the user rather than removed or trusted; the name it is kept
// under is returned. Every name it may take ends in .kept, which no run claims or tidies:
// under its own name a later run whose journal still claims its prefix for another copy would
// remove it. One that cannot be renamed (a full disk, or a link, which Windows would move
// through) stays under its own name, neither tidied away nor claimed any more.
std::string KeepStaged(platform::Files& files, const JournalEntry& e,
                       std::set<std::string>& keptAsStaged) {
  constexpr int kNames = 100;
  try {
    for (int n = 1; n <= kNames; ++n) {
      std::string kept = e.tempPath;
      if (n > 1) (kept += '.') += std::to_string(n);
      kept += kKept;
      if (!files.EntryExists(kept) && files.RenameNew(e.tempPath, kept)) return kept;
    }
  } catch (const platform::FileError&) {
  }
  keptAsStaged.insert(platform::UpperCase(e.tempPath));
  return e.tempPath;
}

// Adds the prefix of `tokens` that claims the staged name to `claims`, once.
void KeepClaim(const std::string& stagedName, const std::vector<std::string>& tokens,
               std::vector<std::string>& claims) {
  for (const std::string& token : tokens) {
    if (Claimed(stagedName, {token}) &&
        std::find(claims.begin(), claims.end(), token) == claims.end()) {
      claims.push_back(token);
    }
  }
}

// Copies of the interrupted run that never got their archive name go: no bulletin left
// Winpack's folder relying on them. One that cannot go (the archive is read-only) keeps its
// claim for a later run. Those set aside for the user stay, and anything else there is not
// the run's to remove.
void TidyStaging(platform::Files& files, const std::vector<std::string>& tokens,
                 Recovery& recovery) {
  for (const std::string& name : files.FileNames(kStaging)) {
    const std::string path = std::string(kStaging) + "\\" + name;
    if (SetAside(name, recovery.keptAsStaged)) continue;
    if (!Claimed(name, tokens)) {
      recovery.strays.push_back(path);
      continue;
    }
    try {
      files.RemoveFile(path);
    } catch (const platform::FileError&) {
      KeepClaim(name, tokens, recovery.claims);
    }
  }
}

}  // namespace

bool StillThere(platform::Files& files, const std::string& bulletinPath) {
  return TextReader::TryOpen(files, bulletinPath, TextReader::Links::kRefuse).has_value();
}

Recovery RecoverInterrupted(platform::Files& files) {
  Recovery recovery;
  const JournalContents journal = ReadJournal(files);
  std::map<std::string, JournalEntry> byBulletin;  // the last entry of each bulletin counts
  for (const JournalEntry& e : journal.entries) byBulletin[platform::UpperCase(e.bulletinPath)] = e;
  for (const auto& [key, e] : byBulletin) {
    const std::string number = platform::UpperCase(MarkedNumOf(e.line));
    const Copy copy = Compare(files, e.archivePath, e.bulletinPath);
    // The copy counts only when whole; else the bulletin is archived again as usual.
    if (copy == Copy::kNotWhole) continue;
    if (copy == Copy::kWhole) {
      files.Adopt(e.archivePath);  // durable before its bulletin goes
      recovery.toTrash.push_back(e.bulletinPath);
    } else if (!files.EntryExists(e.archivePath)) {
      if (files.EntryExists(e.tempPath)) {
        recovery.kept.push_back(KeepStaged(files, e, recovery.keptAsStaged) + " (of " +
                                e.bulletinPath + ")");
      }
      continue;
    }
    recovery.marks.insert(number);
    recovery.entries.push_back(e);
    KeepClaim(e.tempPath.substr(e.tempPath.rfind('\\') + 1), journal.tokens, recovery.claims);
  }
  TidyStaging(files, journal.tokens, recovery);
  recovery.oldLists = journal.oldLists;
  return recovery;
}

int FinishInterrupted(platform::Files& files, const Recovery& recovery,
                      std::vector<std::string>& notRecycled) {
  if (recovery.toTrash.empty()) return 0;
  const std::vector<std::string> refusals = files.MoveToTrash(recovery.toTrash);
  int finished = 0;
  for (std::size_t i = 0; i < refusals.size(); ++i) {
    if (refusals[i].empty() || !StillThere(files, recovery.toTrash[i])) {
      ++finished;
    } else {
      notRecycled.push_back(recovery.toTrash[i] + ": " + refusals[i]);
    }
  }
  return finished;
}

}  // namespace run
