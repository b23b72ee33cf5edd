#pragma once

#include <string>
#include <vector>

#include "run/reporter.h"

namespace run {

inline constexpr char kFinished[] = "Kelvaron is Finnished.";

/// What a run did, as far as its messages tell it.
struct Outcome {
  enum class List { kUnchanged, kReplaced, kDurable };
  List list = List::kUnchanged;
  std::string listError{};  // why the list is not (durably) replaced
  std::string passError{};  // why the pass stopped early
  int archived = 0;         // bulletins this run copied into the archive
  int finished = 0;         // bulletins of an interrupted run this run sent to the trash
  int inherited = 0;        // the other bulletins an interrupted run archived (already in the
                            // trash, or refused by it) whose K marks this run gives
  int marked = 0;           // bulletins whose lines got their K mark in the new list
  std::vector<std::string> notRecycled{};  // "path: reason"
  std::vector<std::string> notPortable{};  // "path (group ...)"
  std::vector<std::string> kept{};         // staged copies set aside for the user
  std::vector<std::string> strays{};       // files in the staging folder the run did not make
  std::string oldListLeft{};  // a replaced list's second name the next run carries over from
  std::vector<std::string> oldListsKept{};  // second names no journal accounts for
  std::vector<std::string> linesNotPut{};   // Winpack's late lines that no file holds
};

struct Message {
  Reporter::Kind kind;
  std::string text;
  bool operator==(const Message&) const = default;
};

/// The messages that end a run, in the order shown; "Kelvaron is Finnished." only for a run
/// that completed.
std::vector<Message> Messages(const Outcome& outcome);

/// The one message of a run that did not start, with the reason.
Message NotStarted(const std::string& reason);

}  // namespace run
