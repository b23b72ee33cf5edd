#include "platform/spare_blocks.h"

#include <array>
#include <utility>

namespace platform {
namespace {

// Nothing here allocates or throws until a block or a text is taken: a block may be handed
// back on a thread that never took one.
struct Spare {
  std::array<char*, 4> blocks{};
  std::size_t count = 0;
  std::string text;
  ~Spare() {
    for (std::size_t i = 0; i < count; ++i) delete[] blocks[i];
    count = blocks.size();  // what comes back later is freed at once
  }
};
thread_local Spare spare;

}  // namespace

void KeepBlock::operator()(char* block) const noexcept {
  if (spare.count < spare.blocks.size()) {
    spare.blocks[spare.count++] = block;
  } else {
    delete[] block;
  }
}

Block TakeBlock() {
  if (spare.count == 0) return Block(new char[kBlockSize]);
  return Block(spare.blocks[--spare.count]);
}

std::string TakeText() {
  std::string text = std::exchange(spare.text, {});
  text.clear();
  text.reserve(kBlockSize);
  return text;
}

void KeepText(std::string& text) noexcept {
  if (text.capacity() > spare.text.capacity()) spare.text.swap(text);
}

}  // namespace platform
