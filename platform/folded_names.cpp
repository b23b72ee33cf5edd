#include "platform/folded_names.h"

#include <functional>
#include <utility>

namespace platform {
namespace {

std::uint32_t HashOf(std::string_view folded) {
  return static_cast<std::uint32_t>(std::hash<std::string_view>{}(folded));
}

std::size_t SlotsFor(std::size_t names) {
  std::size_t size = 16;
  while (size * 3 < names * 4 + 4) size *= 2;  // at most three quarters taken
  return size;
}

}  // namespace

FoldedNames::FoldedNames(std::size_t expected) : slots_(SlotsFor(expected)) {
  text_.reserve(expected * 24);
}

std::size_t FoldedNames::SlotOf(std::string_view folded, std::uint32_t hash) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.at == kFree || (slot.hash == hash && Folded(slot) == folded)) return i;
  }
}

void FoldedNames::Put(Slot& slot, std::string_view folded, std::string_view name) {
  slot.at = static_cast<std::uint32_t>(text_.size());
  slot.foldedSize = static_cast<std::uint16_t>(folded.size());
  slot.nameSize = static_cast<std::uint16_t>(name.size());
  text_.append(folded).append(name);
}

void FoldedNames::Add(std::string_view folded, std::string_view name) {
  const std::uint32_t hash = HashOf(folded);
  Slot* slot = &slots_[SlotOf(folded, hash)];
  if (slot->at == kFree) {
    if ((taken_ + 1) * 4 > slots_.size() * 3) {
      Grow();
      slot = &slots_[SlotOf(folded, hash)];
    }
    ++taken_;
    slot->hash = hash;
  }
  // Of names that differ only in case, the first in sorted order is the one found.
  if (slot->count == 0 || name < Name(*slot)) Put(*slot, folded, name);
  ++slot->count;
}

FoldedNames::Found FoldedNames::Find(std::string_view folded) const {
  const Slot& slot = slots_[SlotOf(folded, HashOf(folded))];
  if (slot.at == kFree || slot.count == 0) return {};
  return {Name(slot), slot.count};
}

int FoldedNames::Remove(std::string_view folded) {
  Slot& slot = slots_[SlotOf(folded, HashOf(folded))];
  if (slot.at == kFree || slot.count == 0) return 0;
  return slot.count--;
}

void FoldedNames::Grow() {
  std::vector<Slot> old = std::exchange(slots_, std::vector<Slot>(SlotsFor(taken_ + 1) * 2));
  taken_ = 0;
  for (const Slot& slot : old) {
    if (slot.at == kFree || slot.count == 0) continue;  // emptied slots go
    slots_[SlotOf(Folded(slot), slot.hash)] = slot;
    ++taken_;
  }
}

}  // namespace platform
