#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "receiver/block_sync.h"

namespace receiver {

// The station's fields as received. Each is empty until it has been received whole.
struct AirFields {
  std::optional<std::uint16_t> pi;
  std::optional<std::array<std::uint8_t, 8>> ps;  // RDS character table codes
  std::optional<int> pty;
  std::optional<bool> tp, ta, ms;
  std::optional<std::array<bool, 4>> di;  // "Stereo", "Art. H.", "Comp.", "DPTY"
  std::optional<std::vector<int>> af;     // AF codes 1..204 of a complete method A list

  bool operator==(const AirFields&) const = default;
};

enum class Field : std::uint8_t { kPi, kPs, kPty, kTp, kTa, kMs, kDi, kAf };
constexpr std::size_t kFieldCount = 8;
const char* FieldName(Field field);  // "PI", "PS", …

// The text an operator reads for a field's value: PI as four hex digits, PS through the RDS
// character table (UTF-8), PTY as its code, flags as 0/1, DI as its ticked items, AF in MHz.
std::string FieldText(const AirFields& fields, Field field);

// An AF code's frequency in MHz as text, "87.6" to "107.9".
std::string AfCodeMhz(int code);

// "0A", "2B", …
std::string GroupTypeText(const Group& group);

// Builds the station's fields from groups (types 0A and 0B carry all of them; PI and PTY/TP
// come from every group). PS is taken only when segments 0 to 3 arrive in one unbroken cycle;
// DI once all four segments have been seen; AF once a method A list is complete.
class StationView {
 public:
  // Takes one group; returns the fields whose value changed, in Field order.
  std::vector<Field> Take(const Group& group);

  const AirFields& fields() const { return fields_; }
  // How many complete PS cycles in a row carried the same PS.
  unsigned ps_repeats() const { return ps_repeats_; }
  // Groups with at least one usable block.
  std::uint64_t groups() const { return groups_; }

 private:
  void TakeType0(const Group& group, AirFields& next);

  AirFields fields_;
  std::uint64_t groups_ = 0;
  std::array<std::uint8_t, 8> ps_cycle_{};
  int ps_next_segment_ = 0;  // the segment that continues the current cycle
  unsigned ps_repeats_ = 0;
  std::array<std::optional<bool>, 4> di_segments_{};
  int af_expected_ = -1;  // entries the list announced; -1 while no list has begun
  std::vector<int> af_collected_;
};

}  // namespace receiver
