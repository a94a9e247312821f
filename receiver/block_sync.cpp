#include "receiver/block_sync.h"

#include <bit>
#include <optional>

#include "rds/checkword.h"

namespace receiver {
namespace {

using rds::Offset;

constexpr unsigned kBlockBits = 26;
// Sync is lost when this many of the last kRecentBlocks blocks could not be used.
constexpr unsigned kRecentBlocks = 25;
constexpr int kLoseSyncBadBlocks = 12;
// A burst of up to this many bits is corrected, the code's reach (IEC 62106, annex B). Only
// blocks in sync are corrected, against the offset their place expects.
constexpr unsigned kLongestCorrectedBurst = 5;

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
std::optional<std::uint32_t> Corrected(std::uint32_t block, int place, bool& c_prime) {
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
      return block ^ error;
    }
  }
  return std::nullopt;
}

}  // namespace

void BlockSync::PushBit(bool bit) {
  reg_ = ((reg_ << 1) | (bit ? 1U : 0U)) & ((1U << kBlockBits) - 1);
  ++bit_count_;
  if (synced_) {
    if (--bits_to_block_ == 0) TakeBlock();
  } else {
    Unsynced();
  }
}

void BlockSync::Unsynced() {
  if (bit_count_ < kBlockBits) return;
  const auto offset = rds::OffsetOf(Info(reg_), Check(reg_));
  if (!offset) return;
  const int place = PlaceOf(*offset);
  if (found_place_ >= 0) {
    const std::uint64_t distance = bit_count_ - found_at_;
    const int blocks_between = (place - found_place_ + 4) % 4;
    // Within one group or two: offsets in their order, a whole number of blocks apart.
    if (blocks_between != 0 && distance % kBlockBits == 0 &&
        distance / kBlockBits % 4 == static_cast<unsigned>(blocks_between) &&
        distance <= 8 * kBlockBits) {
      synced_ = true;
      recent_bad_ = 0;
      // The group restarts at this block; what came before it in its group is lost.
      group_ = Group{};
      group_.words[place] = Info(reg_);
      group_.ok[place] = true;
      group_.c_prime = *offset == Offset::kCPrime;
      ++blocks_received_;
      bits_to_block_ = kBlockBits;
      place_ = (place + 1) % 4;
      if (place_ == 0) {
        on_group_(group_);
        group_ = Group{};
      }
      return;
    }
  }
  found_at_ = bit_count_;
  found_place_ = place;
}

void BlockSync::TakeBlock() {
  bits_to_block_ = kBlockBits;
  bool c_prime = false;
  const auto block = Corrected(reg_, place_, c_prime);
  ++blocks_received_;
  recent_bad_ = (recent_bad_ << 1) & ((1U << kRecentBlocks) - 1);
  if (block) {
    group_.words[place_] = Info(*block);
    group_.ok[place_] = true;
    if (place_ == 2) group_.c_prime = c_prime;
  } else {
    ++blocks_bad_;
    recent_bad_ |= 1U;
  }
  place_ = (place_ + 1) % 4;
  if (place_ == 0) {
    on_group_(group_);
    group_ = Group{};
  }
  if (std::popcount(recent_bad_) >= kLoseSyncBadBlocks) {
    synced_ = false;
    found_place_ = -1;
  }
}

}  // namespace receiver
