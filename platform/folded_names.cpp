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
  const auto at = static_cast<std::uint32_t>(text_.size());
  text_.append(folded).append(name);  // first: a slot never leads past the text
  slot.at = at;
  slot.foldedSize = static_cast<std::uint16_t>(folded.size());
  slot.nameSize = static_cast<std::uint16_t>(name.size());
}

void FoldedNames::Add(std::string_view folded, std::string_view name) {
  if ((taken_ + 1) * 4 > slots_.size() * 3) Rebuild();
  const std::uint32_t hash = HashOf(folded);
  Slot& slot = slots_[SlotOf(folded, hash)];
  const bool fresh = slot.at == kFree;
  // Of names that differ only in case, the first in sorted order is the one found.
  if (slot.count == 0 || name < Name(slot)) Put(slot, folded, name);
  if (fresh) {
    slot.hash = hash;
    ++taken_;
  }
  ++slot.count;
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

// Built anew for twice the forms that still have names, with only their text: a folder
// whose names come and go (the staging folder) stays the size of what it holds.
void FoldedNames::Rebuild() {
  std::size_t live = 0;
  for (const Slot& slot : slots_) live += slot.at != kFree && slot.count > 0 ? 1 : 0;
  FoldedNames fresh(live * 2);
  for (const Slot& slot : slots_) {
    if (slot.at == kFree || slot.count == 0) continue;
    Slot& to = fresh.slots_[fresh.SlotOf(Folded(slot), slot.hash)];
    fresh.Put(to, Folded(slot), Name(slot));
    to.hash = slot.hash;
    to.count = slot.count;
    ++fresh.taken_;
  }
  *this = std::move(fresh);
}

}  // namespace platform
