#include <windows.h>

#include <cstdio>

#include "platform/clock.h"

namespace platform {

// From the calendar, not from the short date text: under a month-first format such as
// 12/7/2026 the text's positions would give a wrong or unusable stamp.
std::string SystemClock::DateText() const {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  char text[16];
  std::snprintf(text, sizeof text, "%02u-%02u-%04u", static_cast<unsigned>(now.wDay),
                static_cast<unsigned>(now.wMonth), static_cast<unsigned>(now.wYear));
  return text;
}

}  // namespace platform
