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
  const AirFields before = fields_;
  const auto& [w, ok] = std::tie(group.words, group.ok);
  if (ok[0]) {
    pi_.Take(w[0]);
  } else if (ok[2] && group.c_prime) {
    pi_.Take(w[2]);
  }
  if (ok[1]) {
    tp_.Take((w[1] & 0x0400) != 0);
    pty_.Take((w[1] >> 5) & 0x1F);
    if ((w[1] >> 12) == 0) TakeType0(group);
  }
  fields_.pi = pi_.value();
  fields_.pty = pty_.value();
  fields_.tp = tp_.value();
  fields_.ta = ta_.value();
  fields_.ms = ms_.value();
  fields_.ps = ps_.value();
  fields_.af = af_.value();
  if (std::all_of(di_.begin(), di_.end(), [](const auto& d) { return d.value().has_value(); })) {
    std::array<bool, 4> di{};
    for (int s = 0; s < 4; ++s) di[3 - s] = *di_[s].value();  // segment s: item 3 - s
    fields_.di = di;
  }

  std::vector<Field> changed;
  if (fields_.pi != before.pi) changed.push_back(Field::kPi);
  if (fields_.ps != before.ps) changed.push_back(Field::kPs);
  if (fields_.pty != before.pty) changed.push_back(Field::kPty);
  if (fields_.tp != before.tp) changed.push_back(Field::kTp);
  if (fields_.ta != before.ta) changed.push_back(Field::kTa);
  if (fields_.ms != before.ms) changed.push_back(Field::kMs);
  if (fields_.di != before.di) changed.push_back(Field::kDi);
  if (fields_.af != before.af) changed.push_back(Field::kAf);
  return changed;
}

void StationView::TakeType0(const Group& group) {
  const auto& [w, ok] = std::tie(group.words, group.ok);
  const int segment = w[1] & 0x3;
  ta_.Take((w[1] & 0x0010) != 0);
  ms_.Take((w[1] & 0x0008) != 0);
  di_[segment].Take((w[1] & 0x0004) != 0);

  if (ok[3] && (segment == 0 || segment == ps_next_segment_)) {
    ps_cycle_[2 * segment] = static_cast<std::uint8_t>(w[3] >> 8);
    ps_cycle_[2 * segment + 1] = static_cast<std::uint8_t>(w[3] & 0xFF);
    ps_next_segment_ = segment + 1;
    if (segment == 3) {
      ps_.Take(ps_cycle_);
      ps_next_segment_ = 0;
    }
  } else {
    ps_next_segment_ = -1;  // the cycle is broken; the next segment 0 begins a new one
  }

  // Version A: block 3 holds two AF codes.
  if ((w[1] & 0x0800) == 0 && ok[2]) {
    TakeAf(w[2] >> 8);
    TakeAf(w[2] & 0xFF);
  }
}

void StationView::TakeAf(int code) {
  if (code >= kCountBase && code <= kHighestCount) {
    af_expected_ = code - kCountBase;
    af_collected_.clear();
  } else if (IsAf(code) && af_expected_ > static_cast<int>(af_collected_.size()) &&
             std::find(af_collected_.begin(), af_collected_.end(), code) == af_collected_.end()) {
    af_collected_.push_back(code);
  }
  if (af_expected_ == static_cast<int>(af_collected_.size())) {
    af_.Take(af_collected_);
    af_expected_ = -1;  // taken once; the next count code begins the next list
  }
}

}  // namespace receiver
