#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/files.h"

// A throw-away Wine prefix for the targets that read Winpack's files.
namespace fuzz {

inline const std::string& Prefix() {
  static const std::string prefix = [] {
    // Kept in a plain array: the prefix goes when the fuzzer exits, after this string is gone.
    static char pattern[] = "/tmp/kelvaron-fuzz-XXXXXX";
    std::string dir = mkdtemp(pattern);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(pattern, ignored);
    });
    setenv("WINEPREFIX", dir.c_str(), 1);
    std::filesystem::create_directories(dir + "/drive_c/Winpack/Bulls");
    std::filesystem::create_directories(dir + "/drive_c/Winpack/Archive/Bulls");
    return dir;
  }();
  return prefix;
}

inline void Write(const std::string& rel, const std::string& bytes) {
  std::ofstream(Prefix() + "/drive_c/Winpack/" + rel, std::ios::binary | std::ios::trunc) << bytes;
}

// Writes the input, split at its first NUL, to two files of the station.
inline void WriteSplit(const uint8_t* data, size_t size, const std::string& first,
                       const std::string& second) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t nul = input.find('\0');
  Write(first, input.substr(0, nul));
  Write(second, nul == std::string::npos ? "" : input.substr(nul + 1));
}

// Fails the run loudly: libFuzzer keeps the input that broke a property.
#define FUZZ_CHECK(cond)           \
  do {                             \
    if (!(cond)) __builtin_trap(); \
  } while (0)

}  // namespace fuzz
