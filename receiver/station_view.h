#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "receiver/block_sync.h"

namespace receiver {

// The station's fields as received. Each is empty until it has been received whole and
// with evidence (see StationView).
struct AirFields {
  std::optional<std::uint16_t> pi;
  std::optional<std::array<std::uint8_t, 8>> ps;  // RDS character table codes
  std::optional<int> pty;
  std::optional<bool> tp, ta, ms;
  std::optional<std::array<bool, 4>> di;  // "Stereo", "Art. H.", "Comp.", "DPTY"
  std::optional<std::vector<int>> af;     // AF codes 1..204 of a complete method A list

  bool operator==(const AirFields&) const = default;
  bool Empty() const { return *this == AirFields{}; }
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

// A value taken only once it has come twice in a row: one received alone may be noise that
// passed the checkword.
template <typename T>
class Twice {
 public:
  void Take(const T& value) {
    if (last_ == value) value_ = value;
    last_ = value;
  }
  const std::optional<T>& value() const { return value_; }

 private:
  std::optional<T> last_, value_;
};

// Builds the station's fields from groups (types 0A and 0B carry all of them; PI and PTY/TP
// come from every group), each only with evidence: PI from two blocks alike in a row, PTY
// and TP from two groups, TA and MS from two type 0 groups, each DI flag from two of its
// segments, PS from two complete cycles alike (segments 0 to 3, each cycle unbroken), the
// AF list from two complete method A lists alike.
class StationView {
 public:
  // Takes one group; returns the fields whose value changed, in Field order.
  std::vector<Field> Take(const Group& group);

  const AirFields& fields() const { return fields_; }

 private:
  void TakeType0(const Group& group);
  void TakeAf(int code);

  AirFields fields_;
  Twice<std::uint16_t> pi_;
  Twice<int> pty_;
  Twice<bool> tp_, ta_, ms_;
  std::array<Twice<bool>, 4> di_;  // by segment
  Twice<std::array<std::uint8_t, 8>> ps_;
  Twice<std::vector<int>> af_;
  std::array<std::uint8_t, 8> ps_cycle_{};
  int ps_next_segment_ = 0;  // the segment that continues the current cycle
  int af_expected_ = -1;     // entries the list announced; -1 while no list is being collected
  std::vector<int> af_collected_;
};

}  // namespace receiver
