#pragma once

#include <array>

namespace platform::tables {

/// The upper half (bytes 0x80 to 0xFF) of an 8-bit Windows code page; the lower half is ASCII
/// in all of them.
struct CodePageTable {
  unsigned number;
  std::array<char32_t, 128> unicode;
  std::array<unsigned char, 128> upper;
  std::array<unsigned char, 128> lower;
};

extern const std::array<CodePageTable, 9> kCodePages;

}  // namespace platform::tables
