#include "receiver/air_check.h"

#include <algorithm>

#include "rds/group_assembly.h"

namespace receiver {
namespace {

bool SameField(const AirFields& a, const AirFields& b, Field field) {
  switch (field) {
    case Field::kAf: {
      if (!a.af || !b.af) return false;
      auto x = *a.af, y = *b.af;  // a set: the order on air is the encoder's business
      std::sort(x.begin(), x.end());
      std::sort(y.begin(), y.end());
      return x == y;
    }
    default: {
      const std::string text = FieldText(a, field);
      return !text.empty() && text == FieldText(b, field) && (field != Field::kPs || a.ps == b.ps);
    }
  }
}

}  // namespace

AirFields FieldsOf(const rds::StationSettings& settings) {
  // The same decoding as on air, of the image itself: whatever the encoding's rules, the
  // comparison then speaks of exactly what was sent.
  StationView view;
  for (int cycle = 0; cycle < 2; ++cycle) {
    for (const rds::Group& g : rds::SplitImage(rds::Encode(settings).image)) {
      Group group;
      for (std::size_t b = 0; b < 4; ++b) {
        group.words[b] = g[b].info;
        group.ok[b] = true;
      }
      view.Take(group);
    }
  }
  return view.fields();
}

AirCheck::AirCheck(const rds::StationSettings& sent) : expected_(FieldsOf(sent)) {}

bool AirCheck::Confirmed() const {
  return Differences().empty();
}

std::vector<FieldDifference> AirCheck::Differences() const {
  std::vector<FieldDifference> out;
  const AirFields& on_air = view_.fields();
  for (std::size_t i = 0; i < kFieldCount; ++i) {
    const auto field = static_cast<Field>(i);
    if (!SameField(on_air, expected_, field)) {
      out.push_back({field, FieldText(on_air, field), FieldText(expected_, field)});
    }
  }
  return out;
}

Verdict AirCheck::Final() const {
  const auto differences = Differences();
  if (differences.empty()) return Verdict::kConfirmed;
  if (view_.fields().Empty()) return Verdict::kNoRds;
  return Received(differences, true).empty() ? Verdict::kIncomplete : Verdict::kMismatch;
}

std::vector<FieldDifference> Received(std::vector<FieldDifference> differences, bool received) {
  std::erase_if(differences, [received](const auto& d) { return d.received() != received; });
  return differences;
}

std::string DifferenceNames(const std::vector<FieldDifference>& differences) {
  std::string out;
  for (const auto& d : differences)
    out += (out.empty() ? "" : ",") + std::string(FieldName(d.field));
  return out;
}

}  // namespace receiver
