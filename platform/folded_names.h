#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// A folder's names by their folded form, kept in one block of text: a folder of archive
/// files holds many thousands, and a node and a string apiece cost more than reading them.
class FoldedNames {
 public:
  struct Found {
    std::string_view name;  // the first name in sorted order with this folded form
    int count = 0;          // how many names fold to it; 0 when none does
  };

  explicit FoldedNames(std::size_t expected = 0);
  /// Counts one more name of this folded form.
  void Add(std::string_view folded, std::string_view name);
  /// The view lasts until the next change.
  Found Find(std::string_view folded) const;
  /// Takes one name of this folded form away; how many there were.
  int Remove(std::string_view folded);
  /// The memory it holds.
  std::size_t bytes() const { return slots_.capacity() * sizeof(Slot) + text_.capacity(); }

 private:
  static constexpr std::uint32_t kFree = UINT32_MAX;
  struct Slot {
    std::uint32_t at = kFree;  // where the folded form starts in text_; its first name follows
    std::uint32_t hash = 0;
    std::uint16_t foldedSize = 0, nameSize = 0;
    std::int32_t count = 0;  // a slot whose names were all taken away keeps its folded form
  };

  // The slot of this folded form, else the free one where it would go.
  std::size_t SlotOf(std::string_view folded, std::uint32_t hash) const;
  std::string_view Folded(const Slot& slot) const {
    return {text_.data() + slot.at, slot.foldedSize};
  }
  std::string_view Name(const Slot& slot) const {
    return {text_.data() + slot.at + slot.foldedSize, slot.nameSize};
  }
  void Put(Slot& slot, std::string_view folded, std::string_view name);
  void Rebuild();

  std::string text_;
  std::vector<Slot> slots_;  // open addressing; a power of two in size
  std::size_t taken_ = 0;    // slots that hold a folded form, emptied ones included
};

}  // namespace platform
