#pragma once

#include <array>
#include <cstdint>
#include <functional>

namespace receiver {

// One group as received: its four information words, and for each block whether it came
// with a valid checkword (after correcting a short error burst).
struct Group {
  std::array<std::uint16_t, 4> words{};
  std::array<bool, 4> ok{};
  bool c_prime = false;  // block 3 carried offset C' (a version B group)
};

// Finds the block boundaries in the decoded bit stream by the offset words and cuts it into
// groups (IEC 62106, annex C): two blocks at the right distance with offsets in the right
// order give sync; too many bad blocks in a row of recent ones lose it.
class BlockSync {
 public:
  using GroupHandler = std::function<void(const Group&)>;

  explicit BlockSync(GroupHandler on_group) : on_group_(std::move(on_group)) {}

  void PushBit(bool bit);

  bool synced() const { return synced_; }
  std::uint64_t blocks_received() const { return blocks_received_; }
  std::uint64_t blocks_bad() const { return blocks_bad_; }

 private:
  void Unsynced();
  void TakeBlock();

  GroupHandler on_group_;
  std::uint32_t reg_ = 0;  // the last 26 bits, newest in bit 0
  std::uint64_t bit_count_ = 0;
  // The last block seen while searching: where it ended and its place in a group.
  std::uint64_t found_at_ = 0;
  int found_place_ = -1;

  bool synced_ = false;
  unsigned bits_to_block_ = 0;
  int place_ = 0;  // 0..3, the place of the next block in its group
  Group group_{};
  std::uint32_t recent_bad_ = 0;  // one bit per recent block, newest in bit 0
  std::uint64_t blocks_received_ = 0;
  std::uint64_t blocks_bad_ = 0;
};

}  // namespace receiver
