#pragma once

#include <string>
#include <utility>
#include <vector>

#include "run/messages.h"
#include "run/run.h"
#include "tests/station.h"

namespace test {

/// Archive runs on 7 December 2026, as the window makes them, on the host's drive C: or on
/// a station's.
struct Runner {
  using Messages = std::vector<std::pair<run::Reporter::Kind, std::string>>;

  Runner() = default;
  explicit Runner(const Station& st) : drive(st.Drive()) {}

  Recorder rec;
  FixedClock clock{"07-12-2026"};
  run::DriveSource drive = platform::HostDrive;

  /// One whole run; the messages it showed.
  const Messages& Run() {
    rec.messages.clear();
    run::ArchiveMarkedBulletins(rec, clock, drive);
    return rec.messages;
  }
  /// The run completed: its one message is "Kelvaron is Finnished.".
  bool Finished() const {
    return rec.messages.size() == 1 &&
           rec.messages[0] ==
               std::make_pair(run::Reporter::Kind::kPlain, std::string(run::kFinished));
  }
  /// The text of the run's one error message, or nothing.
  std::string Error() const {
    return rec.messages.size() == 1 && rec.messages[0].first == run::Reporter::Kind::kError
               ? rec.messages[0].second
               : "";
  }
};

}  // namespace test
