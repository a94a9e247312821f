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
// groups, after the decoder model of IEC 62106 (annexes B and C):
// - sync is acquired on three error-free blocks whose offsets follow each other at the right
//   distances, a sequence noise does not produce; it is lost on a run of bad blocks;
// - only in sync is a block corrected, and only a burst of one or two bit errors;
// - a group in which more than one block needed correcting is dropped whole, unless each of
//   those corrections flipped only bits the demodulator was least sure of: that is how
//   noise passes for data, and how a real bit error looks.
// The handler gets a group every 104 bits; out of sync, one without a valid block, so that
// it sees time pass and the block error rate counts the time without sync.
class BlockSync {
 public:
  using GroupHandler = std::function<void(const Group&)>;

  explicit BlockSync(GroupHandler on_group) : on_group_(std::move(on_group)) {}

  // One bit of the data stream, and how sure the demodulator is of it (any scale; only the
  // order of the bits' margins within a block counts).
  void PushBit(bool bit, float margin = 1);

  bool synced() const { return synced_; }
  // Blocks handed over in groups, and those of them without a valid word.
  std::uint64_t blocks_received() const { return blocks_received_; }
  std::uint64_t blocks_bad() const { return blocks_bad_; }

 private:
  // An error-free block seen while searching: where it ended and its place in a group.
  struct Pulse {
    std::uint64_t at = 0;
    int place = -1;
  };

  void Search();
  void Acquire(int place);
  void TakeBlock(std::uint32_t block);
  bool Sure(std::uint32_t flipped) const;
  void EndGroup();

  GroupHandler on_group_;
  std::uint32_t reg_ = 0;  // the last 26 bits, newest in bit 0
  std::array<float, 26> margins_{};  // their margins, newest last
  std::uint64_t bit_count_ = 0;
  std::array<std::uint32_t, 104> history_{};  // reg_ after each of the last 104 bits
  std::array<Pulse, 8> pulses_{};             // the latest error-free blocks, oldest first

  bool synced_ = false;
  unsigned bits_to_block_ = 26;
  int place_ = 0;  // the place of the next block in its group
  Group group_{};
  int corrected_ = 0;     // blocks of the group in hand that needed correcting
  bool unsure_ = false;   // and one of them flipped bits the demodulator was sure of
  unsigned bad_run_ = 0;  // bad blocks in a row
  std::uint64_t blocks_received_ = 0;
  std::uint64_t blocks_bad_ = 0;
};

}  // namespace receiver
