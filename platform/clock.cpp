#include "platform/clock.h"

#include <ctime>

namespace platform {

std::string SystemClock::DateText() const {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char text[16];
  std::strftime(text, sizeof text, "%d-%m-%Y", &local);
  return text;
}

}  // namespace platform
