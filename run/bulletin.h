#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "run/journal.h"

namespace run {

/// One marked bulletin on its way through a run: what its line says, parsed once, and the
/// names the run gives its copy, made once.
struct Bulletin {
  /// The record of a marked line: its number, key and bulletin file.
  static Bulletin OfLine(std::string line);

  std::string number;  // the line's first six characters
  std::string key;     // the number in upper case: one bulletin however a line spells it
  JournalEntry entry;  // the line and bulletin file; the staged and archive names once staged
  std::vector<std::size_t> listLines;  // its lines held in the new list, K-marked once moved
  std::string refusal;                 // why the trash did not take it; empty when it did
};

/// The key of a marked line's bulletin, for lines the run only copies.
std::string KeyOf(const std::string& line);

/// Bulletins staged, made durable and sent to the trash together.
using Batch = std::vector<Bulletin>;

}  // namespace run
