#include "platform/home_trash.h"

#include <cerrno>
#include <optional>

#include "platform/file_error.h"
#include "platform/wording.h"

namespace platform {
namespace {

// The "Path=" line of a record; empty when it has none whole: a power cut can leave a
// record torn in that line, which is then no other file's.
std::string PathLineOf(const std::string& record) {
  const std::size_t at = record.find("\nPath=");
  const std::size_t end = at == std::string::npos ? at : record.find('\n', at + 1);
  return end == std::string::npos ? std::string() : record.substr(at + 1, end - at - 1);
}

std::string BaseName(const std::string& where) {
  return where.substr(where.find_last_of("/\\") + 1);
}

// Claims a name in the trash by writing the file's record under it. A record of the same
// file whose file never arrived (a run died between the two), or one a power cut left
// without its whole path, is taken over rather than left behind. A file already in files/
// without its record is looked for only with `checkFiles`: the move finds it otherwise, and
// asks again. Throws FileError when no record can be written.
std::string ClaimName(TrashFolder& folder, const std::string& where, bool checkFiles) {
  const std::string record = folder.RecordOf(where);
  const std::string pathLine = PathLineOf(record);
  const std::string base = BaseName(where);
  for (int n = 1; n < 10000; ++n) {
    const std::string name = n == 1 ? base : base + "." + std::to_string(n);
    if (!folder.WriteRecord(name, record, true)) {
      if (folder.FileTaken(name)) continue;
      const std::string left = PathLineOf(folder.ReadRecord(name));
      if (left != pathLine && !left.empty()) continue;
      try {
        folder.WriteRecord(name, record, false);
      } catch (const FileError&) {
        continue;
      }
    } else if (checkFiles && folder.FileTaken(name)) {
      folder.RemoveRecord(name);
      continue;
    }
    return name;
  }
  throw FileError::FromErrno(EEXIST, where);
}

struct Item {
  std::string where;
  std::optional<std::string> name;  // none: the folder could not take its record
};

// A file the folder cannot take goes where its system's trash keeps its record itself, which
// is flushed right after the move: no file waits in the trash for a later move with a record
// a power cut can empty. Empty, or why the file did not go or its record is not durable.
std::string MoveElsewhere(TrashFolder& folder, TrashSteps& steps, const std::string& where) {
  std::string reason;
  if (!folder.Elsewhere(where, reason)) return reason.empty() ? words::kTrashRefused : reason;
  try {
    steps.Flush();
  } catch (const FileError& e) {
    return words::kTrashRecordNotDurable + std::string(e.what());
  }
  return {};
}

// Moves one file whose record is durable; empty, or why it did not go.
std::string MoveOne(TrashFolder& folder, TrashSteps& steps, Item& item) {
  if (!item.name) return MoveElsewhere(folder, steps, item.where);
  for (bool again = false;; again = true) {
    TrashFolder::Move moved;
    try {
      moved = folder.MoveIn(item.where, *item.name);
    } catch (const FileError& e) {
      folder.RemoveRecord(*item.name);
      return e.reason();
    }
    if (moved == TrashFolder::Move::kMoved) return {};
    folder.RemoveRecord(*item.name);
    if (moved == TrashFolder::Move::kOtherDisk) return MoveElsewhere(folder, steps, item.where);
    if (again) return FileError::FromErrno(EEXIST, item.where).reason();
    // A file in files/ without its record took the name: another name, its record durable
    // first.
    try {
      item.name = ClaimName(folder, item.where, true);
    } catch (const FileError& e) {
      return e.reason();
    }
    try {
      steps.Flush();
    } catch (const FileError& e) {
      folder.RemoveRecord(*item.name);
      return words::kTrashNotDurable + std::string(e.what());
    }
  }
}

}  // namespace

std::vector<std::string> MoveToHomeTrash(TrashFolder& folder, const std::vector<std::string>& abs,
                                         TrashSteps& steps) {
  std::vector<std::string> reasons(abs.size());
  std::vector<std::optional<Item>> items(abs.size());
  bool ready = false;
  for (std::size_t i = 0; i < abs.size(); ++i) {
    try {
      Item item{folder.Where(abs[i]), std::nullopt};
      steps.Moving(abs[i]);
      ready = ready || folder.Ready();
      try {
        if (ready) item.name = ClaimName(folder, item.where, false);
      } catch (const FileError&) {
        ready = false;  // this file goes elsewhere, and the folder is looked for again
      }
      items[i] = std::move(item);
    } catch (const FileError& e) {
      reasons[i] = e.reason();
    }
  }
  std::string notDurable;
  try {
    steps.Flush();
  } catch (const FileError& e) {
    notDurable = words::kTrashNotDurable + std::string(e.what());
  }
  for (std::size_t i = 0; i < abs.size(); ++i) {
    if (!items[i]) continue;
    if (notDurable.empty()) {
      reasons[i] = MoveOne(folder, steps, *items[i]);
    } else {
      if (items[i]->name) folder.RemoveRecord(*items[i]->name);
      reasons[i] = notDurable;
    }
  }
  return reasons;
}

}  // namespace platform
