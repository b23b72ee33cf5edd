#pragma once

#include <string>
#include <vector>

#include "platform/drive.h"

// The freedesktop.org trash of a home (info/<name>.trashinfo records beside files/<name>),
// written once over the calls of its folder: the Linux program's $XDG_DATA_HOME/Trash, and
// the trash of drive C: in memory, where the power cuts of the tests reach it.
namespace platform {

/// One system's calls on a trash folder. Names are those in files/; a record's is its name
/// with ".trashinfo", in info/.
class TrashFolder {
 public:
  enum class Move { kMoved, kTaken, kOtherDisk };
  virtual ~TrashFolder() = default;

  /// The place of a file of drive C: in the folder's terms; throws FileError.
  virtual std::string Where(const std::string& abs) = 0;
  /// Whether the folder is there, made where it is not; after a failed record it is looked
  /// for again.
  virtual bool Ready() = 0;
  /// The record that lets the user restore the file at `where`.
  virtual std::string RecordOf(const std::string& where) = 0;
  /// Writes a record, flushed with the drive; with `fresh` only where no entry has its name
  /// (false then). Throws FileError.
  virtual bool WriteRecord(const std::string& name, const std::string& text, bool fresh) = 0;
  /// What a record holds (its start, where it is long); empty when it cannot be read.
  virtual std::string ReadRecord(const std::string& name) = 0;
  /// Whether files/ has the name, or cannot tell.
  virtual bool FileTaken(const std::string& name) = 0;
  virtual void RemoveRecord(const std::string& name) noexcept = 0;
  /// Moves the file to files/<name>, never over another; throws FileError.
  virtual Move MoveIn(const std::string& where, const std::string& name) = 0;
  /// Hands the file to a trash that writes its own record (the folder cannot take it): true
  /// when it went, else false with why, when the system says.
  virtual bool Elsewhere(const std::string& where, std::string& reason) = 0;
};

/// Drive::MoveToTrash through a trash folder: every file's record first, one flush, then the
/// moves, so that no file reaches the trash before the record that lets the user restore it
/// is durable.
std::vector<std::string> MoveToHomeTrash(TrashFolder& folder, const std::vector<std::string>& abs,
                                         TrashSteps& steps);

}  // namespace platform
