#include "platform/clock.h"

#include <ctime>

namespace platform {

std::string SystemClock::DateText() const {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%d-%m-%Y", &local);
  return text;
}

}  // namespace platform
