// The value of a text and the Long of a value: any bytes.
#include <cmath>
#include <stdexcept>
#include <string_view>

#include "fuzz/fuzz_station.h"
#include "run/value.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const double value = run::ValueOfText(text);
  FUZZ_CHECK(!std::isnan(value));
  try {
    const int32_t n = run::RoundToWhole(value);
    FUZZ_CHECK(std::fabs(static_cast<double>(n) - value) <= 0.5);
  } catch (const std::overflow_error&) {
    FUZZ_CHECK(!(std::fabs(value) < 2147483647.0));
  }
  return 0;
}
