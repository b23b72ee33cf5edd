#include "run/journal.h"

#include <algorithm>
#include <sstream>

#include "platform/codepage.h"
#include "run/marked_list.h"
#include "run/naming.h"
#include "run/paths.h"

namespace run {
namespace {

constexpr char kEntry[] = "#";
constexpr char kToken[] = "S ";
constexpr const char* kTags[] = {"B ", "T ", "A ", "L "};
constexpr char kOldList[] = "W ";  // name, carried, at
constexpr char kInList[] = "M ";   // name, list file identity

// The name below `folder` when `path` is a file right in it (letter case aside), else "".
std::string LeafIn(const std::string& path, const std::string& folder) {
  const std::string prefix = platform::UpperCase(folder) + "\\";
  if (path.size() <= prefix.size() ||
      platform::UpperCase(path.substr(0, prefix.size())) != prefix) {
    return {};
  }
  const std::string leaf = path.substr(prefix.size());
  return leaf.find('\\') == std::string::npos && NamesOneFile(leaf) ? leaf : "";
}

bool IsArchiveName(const std::string& path) {
  const std::string inRoot = path.substr(0, path.rfind('\\'));
  const std::string group = LeafIn(inRoot, kArchiveRoot);
  const std::string name = LeafIn(path, inRoot);
  return !group.empty() && IsPortableFolderName(group) &&
         platform::UpperCase(inRoot) != platform::UpperCase(kStaging) && name.size() > 4 &&
         platform::UpperCase(name.substr(name.size() - 4)) == ".TXT";
}

void WriteEntry(platform::TextWriter& out, const JournalEntry& e) {
  out.WriteLine(kEntry);
  const std::string* fields[] = {&e.bulletinPath, &e.tempPath, &e.archivePath, &e.line};
  for (int i = 0; i < 4; ++i) out.WriteLine(kTags[i] + *fields[i]);
}

// A note ends in " .": a number cut short by a power cut is not taken for a smaller one.
bool Ends(std::istringstream& fields) {
  std::string end;
  return fields >> end && end == "." && !(fields >> end);
}

// "W <name> <carried> <at> ." starts what is known of a name; "M <name> <id>" adds the list
// that holds its lines. A line cut short by a power cut reads as nothing.
void ReadOldListNote(const std::string& line, std::map<std::string, OldListNote>& notes) {
  std::istringstream fields(line.substr(2));
  std::string name;
  if (!(fields >> name)) return;
  if (line.starts_with(kOldList)) {
    OldListNote note;
    if (fields >> note.carried >> note.at && Ends(fields)) notes[platform::UpperCase(name)] = note;
    return;
  }
  auto it = notes.find(platform::UpperCase(name));
  std::string id;
  if (it != notes.end() && fields >> id && Ends(fields)) it->second.inList = id;
}

void WriteNote(platform::TextWriter& out, const std::string& name, const OldListNote& note) {
  out.WriteLine(kOldList + name + " " + std::to_string(note.carried) + " " +
                std::to_string(note.at) + " .");
  if (!note.inList.empty()) out.WriteLine(kInList + name + " " + note.inList + " .");
}

}  // namespace

bool Trusted(const JournalEntry& e, const std::vector<std::string>& tokens) {
  const std::string number = MarkedNumOf(e.line);
  if (number.empty() || !NamesOneFile(number) ||
      platform::UpperCase(e.bulletinPath) != platform::UpperCase(BulletinPath(number))) {
    return false;
  }
  return Claimed(LeafIn(e.tempPath, kStaging), tokens) && IsArchiveName(e.archivePath);
}

bool Claimed(const std::string& stagedName, const std::vector<std::string>& tokens) {
  return std::any_of(tokens.begin(), tokens.end(),
                     [&](const std::string& token) { return stagedName.starts_with(token + "-"); });
}

bool SetAside(const std::string& stagedName, const std::set<std::string>& keptAsStaged) {
  return platform::LowerCase(stagedName).ends_with(kKept) ||
         keptAsStaged.count(platform::UpperCase(std::string(kStaging) + "\\" + stagedName)) != 0;
}

JournalContents ReadJournal(platform::Files& files) {
  JournalContents found;
  auto journal =
      platform::TextReader::TryOpen(files, kJournal, platform::TextReader::Links::kRefuse);
  if (!journal) return found;
  std::vector<std::string> lines;
  while (!journal->AtEnd()) lines.push_back(journal->ReadLine());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].starts_with(kToken)) {
      const std::string token = lines[i].substr(2);
      if (!token.empty() && token.find_first_not_of("0123456789abcdef") == std::string::npos) {
        found.tokens.push_back(token);
      }
      continue;
    }
    if (lines[i].starts_with(kOldList) || lines[i].starts_with(kInList)) {
      ReadOldListNote(lines[i], found.oldLists);
      continue;
    }
    if (lines[i] != kEntry || i + 4 >= lines.size()) continue;
    std::string fields[4];
    bool whole = true;
    for (int k = 0; k < 4; ++k) {
      whole = whole && lines[i + 1 + k].starts_with(kTags[k]);
      if (whole) fields[k] = lines[i + 1 + k].substr(2);
    }
    if (!whole) continue;  // cut short by a power failure: the next "#" starts afresh
    found.entries.push_back({fields[0], fields[1], fields[2], fields[3]});
    i += 4;
  }
  std::erase_if(found.entries, [&](const JournalEntry& e) { return !Trusted(e, found.tokens); });
  return found;
}

void Journal::Begin(const std::string& token) {
  if (earlier_.empty() && claims_.empty() && oldLists_.empty()) {
    out_.emplace(platform::TextWriter::Create(files_, kJournal));
  } else {
    // Every run whose entries or copies are not done yet keeps its claim, however many runs
    // are stopped before their list is in place.
    // A second name of the old list an earlier run left keeps its note too: this run may be
    // stopped before it has carried it over.
    Rewrite(claims_, earlier_, oldLists_);
    out_.emplace(platform::TextWriter::Append(files_, kJournal));
  }
  // On disk before any copy is staged under the prefix: a copy the journal does not claim
  // is never removed.
  out_->WriteLine(kToken + token);
  out_->Flush();
  files_.Flush();
  claims_.push_back(token);
}

void Journal::Append(const std::vector<const JournalEntry*>& entries) {
  for (const JournalEntry* e : entries) WriteEntry(*out_, *e);
  out_->Flush();
}

void Journal::NoteOldList(const std::string& name, const OldListNote& note) {
  // A run that staged nothing has no journal open: the one left before, if any, goes on.
  if (!out_) out_.emplace(platform::TextWriter::Append(files_, kJournal));
  WriteNote(*out_, name, note);
  out_->Flush();
}

void Journal::Remove(const std::set<std::string>& setAside) noexcept {
  try {
    if (out_) out_->Close();
    out_.reset();
    std::vector<std::string> left;
    if (!claims_.empty()) {
      const std::vector<std::string> staged = files_.FileNames(kStaging);
      for (const std::string& token : claims_) {
        const bool copyLeft = std::any_of(staged.begin(), staged.end(), [&](const auto& name) {
          return !SetAside(name, setAside) && Claimed(name, {token});
        });
        if (copyLeft) left.push_back(token);
      }
    }
    if (!left.empty()) {
      // A copy the run could not remove (the archive turned read-only) stays the run's own:
      // a later run removes it, and never takes it for someone else's.
      Rewrite(left, {}, {});
      files_.Flush();
    } else if (files_.EntryExists(kJournal)) {
      files_.RemoveFile(kJournal);
    }
  } catch (const std::exception&) {
    // Left behind, it only repeats what the new list already says.
  }
}

// The journal made anew, whole on disk before it takes the journal's name: until then the old
// journal holds what it held.
void Journal::Rewrite(const std::vector<std::string>& claims,
                      const std::vector<JournalEntry>& entries,
                      const std::map<std::string, OldListNote>& oldLists) {
  platform::TextWriter fresh = platform::TextWriter::Create(files_, kNewJournal);
  for (const std::string& token : claims) fresh.WriteLine(kToken + token);
  for (const JournalEntry& e : entries) WriteEntry(fresh, e);
  for (const auto& [name, note] : oldLists) WriteNote(fresh, name, note);
  fresh.Close();
  files_.Flush();
  files_.ReplaceFile(kNewJournal, kJournal);
}

}  // namespace run
