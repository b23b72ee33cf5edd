#include "platform/spare_blocks.h"

#include <utility>
#include <vector>

namespace platform {
namespace {

struct Spare {
  std::vector<char*> blocks;
  std::string text;
  Spare() { blocks.reserve(4); }
  ~Spare() {
    for (char* block : blocks) delete[] block;
  }
};
thread_local Spare spare;

}  // namespace

void KeepBlock::operator()(char* block) const noexcept {
  if (spare.blocks.size() < spare.blocks.capacity()) {
    spare.blocks.push_back(block);
  } else {
    delete[] block;
  }
}

Block TakeBlock() {
  if (spare.blocks.empty()) return Block(new char[kBlockSize]);
  Block block(spare.blocks.back());
  spare.blocks.pop_back();
  return block;
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
