#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_error.h"
#include "platform/files.h"
#include "platform/textfile.h"
#include "run/journal.h"
#include "run/messages.h"

// Putting the new marked list in the place of the old one while Winpack may write to the old
// one at any moment, opening it for each line or keeping it open, under Wine or on Windows:
// Winpack is never refused and never kept waiting, and no line it writes is lost or doubled.
namespace run {

/// MARKED.TXT, or the file it links to, and the run's files beside it: the new list, and the
/// two second names a replaced list gets (one may be left from an earlier run).
struct ListFiles {
  std::string list;
  std::string fresh;
  std::string second[2];
};
ListFiles FindListFiles(platform::Files& files);

/// A marked line as the new list has it (the K mark of a moved bulletin).
using MarkLine = std::function<std::string(std::string)>;

class ListSwap {
 public:
  ListSwap(platform::Files& files, Journal& journal, ListFiles names, MarkLine mark,
           Outcome& outcome)
      : files_(files),
        journal_(journal),
        names_(std::move(names)),
        mark_(std::move(mark)),
        outcome_(outcome) {}

  /// Looks at the second names an earlier run left, by what its journal noted: a name of the
  /// list itself goes, and so does one whose lines are all in the list; the lines of one
  /// that are not are read, to go into the new list; one that a program still holds, or that
  /// no journal accounts for, stays. Throws FileError.
  void TakeOver(const std::map<std::string, OldListNote>& notes);

  /// Puts the new list, `fresh` written from `list` (open, read so far), in the list's place,
  /// with every line written to the old list meanwhile. Throws FileError, the list unchanged
  /// (Outcome::list says when it is not).
  void Replace(platform::TextReader& list, platform::TextWriter& fresh);

 private:
  // Long enough for a program that opens the list for a line to have closed it again; short
  // enough that a run does not seem to hang on one that keeps it open.
  static constexpr std::chrono::seconds kHoldLimit{3};
  static constexpr int kReadTries = 3;

  struct Carry {
    int name = -1;  // the second name whose lines are carried, or none
    OldListNote note;
    std::vector<std::string> lines;
  };

  // What one replacement knows of the old list.
  struct Step {
    int second = -1;            // the second name the old list gets, or none
    bool linked = false;        // whether it got it
    bool held = false;          // replaced while the run still held it, without a second name
    int carried = -1;           // the second name whose lines the new list carries, or none
    OldListNote note;           // what of the old list the new one holds, as noted
    std::uint64_t read = 0;     // the bytes of the old list read into the new one
    std::uint64_t written = 0;  // the new list's bytes
  };

  std::vector<std::string> LinesNotInList(const std::string& name, const OldListNote& note);
  std::uint64_t CarriedThrough(const std::string& name, const OldListNote& note);
  bool StartNextRound(std::optional<platform::TextReader>& list,
                      std::optional<platform::TextWriter>& fresh);
  bool Round(platform::TextReader& list, platform::TextWriter& fresh);
  Step NoteStep(platform::TextReader& list, platform::TextWriter& fresh);
  void GiveSecondName(const platform::TextReader& list, Step& step);
  void PutInPlace(platform::TextReader& list, platform::TextWriter& fresh, Step& step);
  void TakeInLate(Step& step);
  bool FinishOldList(platform::TextReader& list, const Step& step);
  bool FinishHeldList(platform::TextReader& list, const Step& step);
  static std::vector<std::string> ReadHeld(platform::TextReader& list);
  [[noreturn]] void GiveUp(const Step& step, const platform::FileError& why);
  void CatchUp(platform::TextReader& list, platform::TextWriter& fresh);
  bool WaitAlone(const std::string& path);
  bool WaitAlone(const platform::TextReader& list);
  std::vector<std::string> LinesPast(const std::string& path, std::uint64_t from);
  bool TryRemove(const std::string& name);
  void Note(int name, const OldListNote& note);
  void Leave(int name);
  int FreeName() const;

  platform::Files& files_;
  Journal& journal_;
  ListFiles names_;
  MarkLine mark_;
  Outcome& outcome_;
  bool usable_[2] = {true, true};
  std::optional<std::uint64_t> held_[2];  // names left held: how much of each the list has
  Carry carry_;
  std::uint64_t base_ = 0;  // the bytes of the list in place that the run wrote
};

}  // namespace run
