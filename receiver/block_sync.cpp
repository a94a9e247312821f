#include "receiver/block_sync.h"

#include <algorithm>
#include <optional>

#include "rds/checkword.h"

namespace receiver {
namespace {

using rds::Offset;

constexpr unsigned kBlockBits = 26;
constexpr unsigned kGroupBits = 104;
// Sync: this many error-free blocks whose offsets follow each other at the right distances,
// within kSyncSpanBlocks of the last. Noise gives an error-free block at a bit with odds of
// 5 in 1024, the next one in sequence with odds of 1 in 1024: two in sequence come every few
// minutes, three about once a week. bench/monitor_bench --table silent counts what is shown.
constexpr int kSyncBlocks = 3;
constexpr unsigned kSyncSpanBlocks = 6;
// Sync is lost after this many bad blocks in a row (a bit slip, or the signal gone).
constexpr unsigned kLoseSyncRun = 10;
// Bursts of one or two bits are corrected, as most receivers do: the code reaches five
// (IEC 62106, annex B), but each bit more lets more noise pass for data.
constexpr unsigned kLongestCorrectedBurst = 2;
// A correction in a group with more than one is kept only if every bit it flipped is among
// this many of the block's least sure bits. Through an FM chain at 11-14 dB C/N the receiver
// then takes as many right groups as redsea, with a quarter of its wrong ones; dropping every
// group with two corrections lost 12-64% of the right groups there (bench/monitor_bench).
constexpr std::size_t kSureBits = 8;

int PlaceOf(Offset offset) {
  switch (offset) {
    case Offset::kA:
      return 0;
    case Offset::kB:
      return 1;
    case Offset::kC:
    case Offset::kCPrime:
      return 2;
    case Offset::kD:
      return 3;
  }
  return -1;
}

std::uint16_t Info(std::uint32_t block) {
  return static_cast<std::uint16_t>(block >> 10);
}
std::uint16_t Check(std::uint32_t block) {
  return static_cast<std::uint16_t>(block & 0x3FF);
}

// The checkword difference an error pattern leaves, the code being linear.
std::uint16_t Syndrome(std::uint32_t error) {
  return rds::Checkword(Info(error)) ^ Check(error);
}

// For each syndrome, the short error burst that leaves it (0: none in reach).
const std::array<std::uint32_t, 1024>& BurstTable() {
  static const std::array<std::uint32_t, 1024> table = [] {
    std::array<std::uint32_t, 1024> t{};
    for (unsigned length = kLongestCorrectedBurst; length >= 1; --length) {
      // Bursts begin and end with an error bit; the bits between may be either.
      const unsigned inner = length > 2 ? 1U << (length - 2) : 1U;
      for (unsigned middle = 0; middle < inner; ++middle) {
        const std::uint32_t shape = length == 1 ? 1U : (1U | (middle << 1) | (1U << (length - 1)));
        for (unsigned at = 0; at + length <= kBlockBits; ++at) {
          t[Syndrome(shape << at)] = shape << at;  // shorter bursts, written last, win
        }
      }
    }
    return t;
  }();
  return table;
}

// The block with its offset as expected, corrected if a short burst explains the errors.
// flipped: the bits the correction changed (0 for a block without errors).
std::optional<std::uint32_t> Corrected(std::uint32_t block, int place, bool& c_prime,
                                       std::uint32_t& flipped) {
  flipped = 0;
  const auto offset = rds::OffsetOf(Info(block), Check(block));
  if (offset && PlaceOf(*offset) == place) {
    c_prime = *offset == Offset::kCPrime;
    return block;
  }
  static constexpr std::array<Offset, 4> kExpected = {Offset::kA, Offset::kB, Offset::kC,
                                                      Offset::kD};
  for (const Offset expected : {kExpected[place], Offset::kCPrime}) {
    if (expected == Offset::kCPrime && place != 2) break;
    const std::uint16_t syndrome = Syndrome(block) ^ rds::OffsetWord(expected);
    if (const std::uint32_t error = BurstTable()[syndrome]; error != 0) {
      c_prime = expected == Offset::kCPrime;
      flipped = error;
      return block ^ error;
    }
  }
  return std::nullopt;
}

}  // namespace

void BlockSync::PushBit(bool bit, float margin) {
  reg_ = ((reg_ << 1) | (bit ? 1U : 0U)) & ((1U << kBlockBits) - 1);
  std::copy(margins_.begin() + 1, margins_.end(), margins_.begin());
  margins_.back() = margin;
  ++bit_count_;
  history_[bit_count_ % kGroupBits] = reg_;
  if (!synced_ && bit_count_ >= kBlockBits) {
    Search();
    if (synced_) return;  // acquired on the block that ends here
  }
  if (--bits_to_block_ > 0) return;
  if (synced_) {
    TakeBlock(reg_);
  } else {
    // Out of sync the group's clock runs on, with bad blocks.
    bits_to_block_ = kBlockBits;
    if (++place_ == 4) EndGroup();
  }
}

void BlockSync::Search() {
  const auto offset = rds::OffsetOf(Info(reg_), Check(reg_));
  if (!offset) return;
  const int place = PlaceOf(*offset);
  int sequence = 1;
  for (const Pulse& p : pulses_) {
    const std::uint64_t distance = bit_count_ - p.at;
    if (p.place >= 0 && distance % kBlockBits == 0 && distance <= kSyncSpanBlocks * kBlockBits &&
        (p.place + distance / kBlockBits) % 4 == static_cast<unsigned>(place)) {
      ++sequence;
    }
  }
  std::copy(pulses_.begin() + 1, pulses_.end(), pulses_.begin());
  pulses_.back() = {bit_count_, place};
  if (sequence >= kSyncBlocks) Acquire(place);
}

void BlockSync::Acquire(int place) {
  synced_ = true;
  bad_run_ = 0;
  // The group in hand out of sync is dropped: this block's group is taken from its start,
  // whose blocks are still in the history (their margins are not: none is corrected).
  group_ = Group{};
  corrected_ = 0;
  unsure_ = false;
  for (place_ = 0; place_ < place;) {
    const std::uint32_t block = history_[(bit_count_ - (place - place_) * kBlockBits) % kGroupBits];
    const auto offset = rds::OffsetOf(Info(block), Check(block));
    if (offset && PlaceOf(*offset) == place_) {
      group_.words[place_] = Info(block);
      group_.ok[place_] = true;
      group_.c_prime = group_.c_prime || *offset == Offset::kCPrime;
    }
    ++place_;
  }
  TakeBlock(reg_);
}

void BlockSync::TakeBlock(std::uint32_t block) {
  bits_to_block_ = kBlockBits;
  bool c_prime = false;
  std::uint32_t flipped = 0;
  if (const auto word = Corrected(block, place_, c_prime, flipped)) {
    group_.words[place_] = Info(*word);
    group_.ok[place_] = true;
    if (place_ == 2) group_.c_prime = c_prime;
    if (flipped != 0) {
      ++corrected_;
      unsure_ = unsure_ || !Sure(flipped);
    }
    bad_run_ = 0;
  } else {
    ++bad_run_;
  }
  if (++place_ == 4) EndGroup();
  if (bad_run_ >= kLoseSyncRun) synced_ = false;
}

// Whether every flipped bit is among the block's kSureBits least sure ones.
bool BlockSync::Sure(std::uint32_t flipped) const {
  for (unsigned bit = 0; bit < kBlockBits; ++bit) {
    if (((flipped >> bit) & 1U) == 0) continue;
    const float margin = margins_[kBlockBits - 1 - bit];
    const auto less_sure =
        std::count_if(margins_.begin(), margins_.end(), [margin](float m) { return m < margin; });
    if (static_cast<std::size_t>(less_sure) >= kSureBits) return false;
  }
  return true;
}

void BlockSync::EndGroup() {
  if (corrected_ > 1 && unsure_) group_.ok = {};
  blocks_received_ += 4;
  blocks_bad_ += static_cast<std::uint64_t>(std::count(group_.ok.begin(), group_.ok.end(), false));
  on_group_(group_);
  group_ = Group{};
  corrected_ = 0;
  unsure_ = false;
  place_ = 0;
}

}  // namespace receiver
