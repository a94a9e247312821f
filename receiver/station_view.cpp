#include "receiver/station_view.h"

#include <algorithm>
#include <cstdio>

#include "rds/cp1252.h"
#include "rds/rds_charset.h"

namespace receiver {
namespace {

// AF method A codes (IEC 62106): 1..204 are 87.6..107.9 MHz, 205 the filler, 224..249 the
// number of frequencies that follow (0..25).
constexpr int kLowestAf = 1;
constexpr int kHighestAf = 204;
constexpr int kCountBase = 224;
constexpr int kHighestCount = 249;

constexpr std::array<const char*, kFieldCount> kFieldNames = {"PI", "PS", "PTY", "TP",
                                                              "TA", "MS", "DI",  "AF"};
constexpr std::array<const char*, 4> kDiItems = {"Stereo", "Art. H.", "Comp.", "DPTY"};

bool IsAf(int code) {
  return code >= kLowestAf && code <= kHighestAf;
}

}  // namespace

const char* FieldName(Field field) {
  return kFieldNames[static_cast<std::size_t>(field)];
}

std::string AfCodeMhz(int code) {
  const int tenths = 875 + code;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

std::string GroupTypeText(const Group& group) {
  const unsigned b = group.words[1];
  return std::to_string(b >> 12) + ((b & 0x0800) ? "B" : "A");
}

std::string FieldText(const AirFields& f, Field field) {
  const auto flag = [](const std::optional<bool>& v) { return v ? (*v ? "1" : "0") : ""; };
  switch (field) {
    case Field::kPi: {
      if (!f.pi) return "";
      char text[5];
      std::snprintf(text, sizeof text, "%04X", *f.pi);
      return text;
    }
    case Field::kPs: {
      std::string out;
      if (f.ps) {
        for (const std::uint8_t code : *f.ps)
          rds::AppendUtf8(out, rds::RdsCharacterToUnicode(code).value_or(U'?'));
      }
      return out;
    }
    case Field::kPty:
      return f.pty ? std::to_string(*f.pty) : "";
    case Field::kTp:
      return flag(f.tp);
    case Field::kTa:
      return flag(f.ta);
    case Field::kMs:
      return flag(f.ms);
    case Field::kDi: {
      if (!f.di) return "";
      std::string out;
      for (std::size_t i = 0; i < kDiItems.size(); ++i) {
        if (!(*f.di)[i]) continue;
        if (!out.empty()) out += ", ";
        out += kDiItems[i];
      }
      return out.empty() ? "none" : out;
    }
    case Field::kAf: {
      if (!f.af) return "";
      std::string out;
      for (const int code : *f.af) out += (out.empty() ? "" : " ") + AfCodeMhz(code);
      return out.empty() ? "none" : out;
    }
  }
  return "";
}

std::vector<Field> StationView::Take(const Group& group) {
  AirFields next = fields_;
  const auto& [w, ok] = std::tie(group.words, group.ok);
  if (ok[0])
    next.pi = w[0];
  else if (ok[2] && group.c_prime)
    next.pi = w[2];
  if (ok[0] || ok[1] || ok[2] || ok[3]) ++groups_;
  if (ok[1]) {
    next.tp = (w[1] & 0x0400) != 0;
    next.pty = (w[1] >> 5) & 0x1F;
    if ((w[1] >> 12) == 0) TakeType0(group, next);
  }
  std::vector<Field> changed;
  if (next.pi != fields_.pi) changed.push_back(Field::kPi);
  if (next.ps != fields_.ps) changed.push_back(Field::kPs);
  if (next.pty != fields_.pty) changed.push_back(Field::kPty);
  if (next.tp != fields_.tp) changed.push_back(Field::kTp);
  if (next.ta != fields_.ta) changed.push_back(Field::kTa);
  if (next.ms != fields_.ms) changed.push_back(Field::kMs);
  if (next.di != fields_.di) changed.push_back(Field::kDi);
  if (next.af != fields_.af) changed.push_back(Field::kAf);
  fields_ = std::move(next);
  return changed;
}

void StationView::TakeType0(const Group& group, AirFields& next) {
  const auto& [w, ok] = std::tie(group.words, group.ok);
  const int segment = w[1] & 0x3;
  next.ta = (w[1] & 0x0010) != 0;
  next.ms = (w[1] & 0x0008) != 0;
  // Segment s carries the DI flag of item 3 - s.
  di_segments_[segment] = (w[1] & 0x0004) != 0;
  if (std::all_of(di_segments_.begin(), di_segments_.end(), [](auto v) { return v.has_value(); })) {
    std::array<bool, 4> di{};
    for (int s = 0; s < 4; ++s) di[3 - s] = *di_segments_[s];
    next.di = di;
  }

  if (ok[3] && (segment == 0 || segment == ps_next_segment_)) {
    ps_cycle_[2 * segment] = static_cast<std::uint8_t>(w[3] >> 8);
    ps_cycle_[2 * segment + 1] = static_cast<std::uint8_t>(w[3] & 0xFF);
    ps_next_segment_ = segment + 1;
    if (segment == 3) {
      ps_repeats_ = next.ps == ps_cycle_ ? ps_repeats_ + 1 : 1;
      next.ps = ps_cycle_;
      ps_next_segment_ = 0;
    }
  } else {
    ps_next_segment_ = -1;  // the cycle is broken; the next segment 0 begins a new one
  }

  // Version A: block 3 holds two AF codes.
  if ((w[1] & 0x0800) == 0 && ok[2]) {
    for (const int code : {w[2] >> 8, w[2] & 0xFF}) {
      if (code >= kCountBase && code <= kHighestCount) {
        af_expected_ = code - kCountBase;
        af_collected_.clear();
      } else if (IsAf(code) && af_expected_ > 0 &&
                 std::find(af_collected_.begin(), af_collected_.end(), code) ==
                     af_collected_.end()) {
        af_collected_.push_back(code);
      }
      if (af_expected_ >= 0 && af_collected_.size() == static_cast<std::size_t>(af_expected_)) {
        next.af = af_collected_;
      }
    }
  }
}

}  // namespace receiver
