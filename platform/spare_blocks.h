#pragma once

#include <cstddef>
#include <memory>
#include <string>

// Buffers of text files, kept for the next file: a run reads and writes a file for each
// bulletin, and a fresh 64 KiB block for each has the allocator sort its heap first. The
// last few are kept, by the thread that used them.
namespace platform {

inline constexpr std::size_t kBlockSize = 64 * 1024;

/// Puts a block aside for the next file rather than freeing it.
struct KeepBlock {
  void operator()(char* block) const noexcept;
};
using Block = std::unique_ptr<char[], KeepBlock>;

/// A block of kBlockSize bytes, not zeroed.
Block TakeBlock();
/// An empty text with room for kBlockSize bytes.
std::string TakeText();
/// Keeps a text's room for the next TakeText.
void KeepText(std::string& text) noexcept;

}  // namespace platform
