#pragma once

#include <string>

namespace platform {

/// Where a run takes today's date from; tests fix it.
class Clock {
 public:
  virtual ~Clock() = default;
  /// Today's local date as day-first text, "dd-mm-yyyy".
  virtual std::string DateText() const = 0;
};

/// The machine's clock. The text is day-first on every system: a month-first or locale
/// format would put separators and a wrong order into archive names.
class SystemClock : public Clock {
 public:
  std::string DateText() const override;
};

}  // namespace platform
