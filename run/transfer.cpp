#include "run/transfer.h"

#include <random>

#include "platform/file_error.h"
#include "run/marked_list.h"
#include "run/paths.h"

namespace run {
namespace {

using platform::TextReader;

// Staging names of different runs never meet, so a run can tell its own copies from files
// others put in the staging folder.
std::string NewToken() {
  std::random_device random;
  const char* digits = "0123456789abcdef";
  std::string token;
  for (int i = 0; i < 8; ++i) token += digits[random() % 16];
  return token;
}

}  // namespace

std::string GroupField(const std::string& headLine2) {
  if (headLine2.size() < 14) return {};
  std::string field = headLine2.substr(13, 6);
  field.erase(field.find_last_not_of(' ') + 1);
  return field;
}

Transfer::Transfer(platform::Files& files, Reporter& reporter, const RunState& state,
                   Journal& journal)
    : files_(files),
      reporter_(reporter),
      state_(state),
      journal_(journal),
      naming_(files, state),
      missing_(files) {}

bool Transfer::Stage(Bulletin& b) {
  const std::string& bulletinPath = b.entry.bulletinPath;
  // A line archived by an earlier run is not archived twice, though its bulletin may still be
  // there (the trash refused it, or the user put it back); a number with a path separator
  // would reach into other folders.
  if (IsKMarked(b.entry.line) || !NamesOneFile(b.number)) return false;
  // A link is not followed: the run moves Winpack's own files only. A bulletin that cannot
  // be opened is passed over in silence.
  if (missing_.KnownGone(bulletinPath)) return false;
  auto bulletin = TextReader::TryOpen(files_, bulletinPath, TextReader::Links::kRefuse);
  if (!bulletin) missing_.NoteMissing(bulletinPath);
  if (!bulletin || bulletin->AtEnd()) return false;
  const std::string headLine1 = bulletin->ReadLine();
  // Without a second header line there is no group: the file is not a bulletin to move.
  if (bulletin->AtEnd()) return false;
  const std::string headLine2 = bulletin->ReadLine();
  const std::string group = GroupField(headLine2);
  for (const std::string& selected : state_.groups) {
    if (selected != group) continue;
    // A folder that Windows cannot open (or takes for a device) would hide the copy from
    // Winpack's own machine: such a bulletin stays, and the run says so.
    if (!IsPortableFolderName(group)) {
      notPortable_.push_back(bulletinPath + " (group \"" + group + "\")");
      return false;
    }
    StageCopy(*bulletin, headLine1, headLine2, group, b.entry);
    return true;  // a bulletin moves once, however often its group is listed
  }
  return false;
}

void Transfer::StageCopy(TextReader& bulletin, const std::string& headLine1,
                         const std::string& headLine2, const std::string& group,
                         JournalEntry& entry) {
  const ArchiveTarget target = naming_.FreeArchiveName(group);
  const std::string& archivePath = target.path;
  reporter_.SetPanelText(2, archivePath);
  // The copy gets its archive name only when it is whole and on disk: a name in the archive
  // never holds half a bulletin.
  const std::string tempPath = StagingName(target.folder, archivePath);
  platform::TextWriter copy = platform::TextWriter::Create(files_, tempPath);
  try {
    copy.WriteLine(headLine1);
    copy.WriteLine(headLine2);
    bulletin.CopyRestTo(copy);
    copy.Close();
  } catch (...) {
    copy.Discard();
    throw;
  }
  entry.tempPath = tempPath;
  entry.archivePath = archivePath;
}

std::string Transfer::StagingName(const std::string& groupFolder, const std::string& archivePath) {
  if (token_.empty()) {
    const std::string token = NewToken();
    journal_.Begin(token);
    if (!files_.IsDirectory(kStaging)) files_.MakeDir(kStaging);
    token_ = token;
  }
  return std::string(kStaging) + "\\" + token_ + "-" + groupFolder + "-" +
         archivePath.substr(archivePath.rfind('\\') + 1);
}

void Transfer::CompleteBatch(Batch& batch) {
  if (batch.empty()) return;
  std::vector<const JournalEntry*> entries;
  std::vector<std::string> bulletins;
  entries.reserve(batch.size());
  bulletins.reserve(batch.size());
  for (const Bulletin& b : batch) {
    entries.push_back(&b.entry);
    bulletins.push_back(b.entry.bulletinPath);
  }
  std::size_t renamed = 0;
  try {
    // The journal names every copy before any bulletin leaves: a run that dies from here on
    // is finished by the next one.
    journal_.Append(entries);
    files_.Flush();
    for (const Bulletin& b : batch) {
      if (!files_.RenameNew(b.entry.tempPath, b.entry.archivePath)) {
        throw platform::FileError(platform::FileError::Kind::kOther, b.entry.archivePath,
                                  "the name was taken by another program during the run");
      }
      ++renamed;
    }
  } catch (...) {
    UndoBatch(batch, renamed);
    throw;
  }
  std::vector<std::string> refusals = files_.MoveToTrash(bulletins);  // archive names durable first
  for (std::size_t i = 0; i < batch.size(); ++i) batch[i].refusal = std::move(refusals[i]);
}

void Transfer::UndoBatch(const Batch& batch, std::size_t renamed) noexcept {
  // The bulletins are all still in place: their copies go, and the batch is as if never
  // begun. A copy that cannot be removed is finished by the next run through the journal.
  for (std::size_t i = 0; i < batch.size(); ++i) {
    const JournalEntry& e = batch[i].entry;
    try {
      files_.RemoveFile(i < renamed ? e.archivePath : e.tempPath);
    } catch (const std::exception&) {
      keepJournal_ = keepJournal_ || i < renamed;
    }
  }
}

void Transfer::RemoveStagingIfEmpty() noexcept {
  try {
    if (files_.IsDirectory(kStaging) && files_.FileNames(kStaging).empty()) {
      files_.RemoveDir(kStaging);
    }
  } catch (const std::exception&) {
    // A folder that stays is only untidy: it holds nothing.
  }
}

}  // namespace run
