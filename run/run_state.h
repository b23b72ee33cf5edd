#pragma once

#include <cstdint>
#include <string>

#include "settings/selection.h"

namespace run {

/// The record through which the steps of an archive run talk to each other. It lives as
/// long as the program; each run sets afresh every field it reads.
struct RunState : settings::GroupSelection {
  std::string YearText, MonthText, DayText;  // the run's date stamp, two digits each
  int16_t SeqNum = 0;                        // sequence number of the archive name being tried
  std::string SeqText;                       // SeqNum as text, "01" to "09", then "10", ...
  int32_t PruneLimit = 0;                    // last bulletin number, then less PruneSize
  int32_t PruneSize = 0;
  std::string MarkedLine;  // the marked-list line at hand, K-marked once its bulletin moved
  std::string MarkedNum;   // its first six characters: the bulletin number
  std::string BullPath;    // the bulletin file of that line
  std::string HeadLine1, HeadLine2;  // the bulletin's two header lines
  std::string BullGroup;             // the group field of HeadLine2
  std::string GroupName;             // the matching selection entry, then its folder form
  std::string ArchiveName;           // the archive file's name, without folder
};

}  // namespace run
