// Message element layouts as the UECP standard (EBU SPB 490) gives them, checked against
// the element classes of python-uecp (MIT licence): MEC, data set number (DSN), program
// service number (PSN), then the data; variable-length elements (radiotext 0x0A, AF 0x13,
// EON AF 0x14) carry a length byte (MEL) after the PSN that counts the data behind it.
// Flag bits: TA/TP d0 TA, d1 TP; DI d0 stereo, d1 artificial head, d2 compressed, d3
// dynamic PTY; MS d0 music. AF method A: 224 + N, then N codes 1 to 204 (87.6 to 107.9
// MHz), filler 205 behind them (IEC 62106).
#include "serve/uecp_messages.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "rds/cp1252.h"
#include "rds/rds_charset.h"

namespace serve {
namespace {

enum class Element : std::uint8_t {
  kPi = 0x01,
  kPs = 0x02,
  kTaTp = 0x03,
  kDi = 0x04,
  kMs = 0x05,
  kPty = 0x07,
  kAf = 0x13,
};

// How an element is laid out: a fixed number of data bytes, or a length byte (MEL).
struct Layout {
  std::uint8_t code;
  bool dsn_psn;
  int data;  // -1: MEL and that many bytes
};

// Elements carried here and those passed over, with their layouts (SPB 490; python-uecp).
constexpr std::array kLayouts = {
    Layout{0x01, true, 2},   // PI
    Layout{0x02, true, 8},   // PS
    Layout{0x03, true, 1},   // TA/TP
    Layout{0x04, true, 1},   // DI
    Layout{0x05, true, 1},   // MS
    Layout{0x06, true, 2},   // PIN: not carried
    Layout{0x07, true, 1},   // PTY
    Layout{0x09, false, 2},  // clock correction: not carried
    Layout{0x0A, true, -1},  // radiotext: not carried
    Layout{0x0D, false, 8},  // clock time: not carried
    Layout{0x13, true, -1},  // AF
    Layout{0x14, true, -1},  // EON AF: not carried
    Layout{0x19, false, 1},  // clock time on/off: not carried
    Layout{0x3E, true, 8},   // PTYN: not carried
};

constexpr std::uint8_t kCurrentDataSet = 0;
constexpr std::uint8_t kOurDataSet = 1;  // the only data set, so the current one
constexpr std::uint8_t kOtherDataSets = 0xFE;
constexpr std::uint8_t kAllDataSets = 0xFF;
constexpr std::uint8_t kMainService = 0;

constexpr std::uint8_t kAfCountBase = 224;
constexpr std::uint8_t kAfFiller = 205;
constexpr std::uint8_t kAfHighestCode = 204;

// The Windows-1252 byte that a send turns into this RDS table code.
std::optional<char> PsCharacter(std::uint8_t code) {
  if (code >= 0x20 && code <= 0x7E) return static_cast<char>(code);
  const std::optional<char32_t> unicode = rds::RdsCharacterToUnicode(code);
  if (!unicode) return std::nullopt;
  const std::optional<unsigned char> byte = rds::UnicodeToCp1252(*unicode);
  if (!byte || rds::ToRdsCharacter(*byte) != code) return std::nullopt;
  return static_cast<char>(*byte);
}

// The box text of an AF code: 87.6 for 1, in tenths of a MHz.
std::string AfText(std::uint8_t code) {
  const int tenths = 875 + code;
  return std::to_string(tenths / 10) + '.' + std::to_string(tenths % 10);
}

void AddField(std::string& fields, const char* name) {
  if (("," + fields + ",").find("," + std::string(name) + ",") != std::string::npos) return;
  if (!fields.empty()) fields += ',';
  fields += name;
}

class Reader {
 public:
  Reader(std::span<const std::uint8_t> message, rds::StationSettings& next, std::string& fields)
      : m_(message), next_(next), fields_(fields) {}

  // The answer, with next and fields set as the frame asks when it is not refused.
  UecpResponse Run() {
    bool took_effect = false;
    std::optional<UecpResponse> first;
    while (at_ < m_.size()) {
      const auto layout = std::find_if(kLayouts.begin(), kLayouts.end(),
                                       [&](const Layout& l) { return l.code == m_[at_]; });
      if (layout == kLayouts.end()) {
        first = first.value_or(UecpResponse::kMessageUnknown);
        break;  // where the next element starts is unknown
      }
      const std::size_t head = 1 + (layout->dsn_psn ? 2 : 0);
      std::size_t size = head + static_cast<std::size_t>(std::max(layout->data, 0));
      if (layout->data < 0) {
        if (m_.size() - at_ <= head) return Refuse(UecpResponse::kElementLengthError);
        size = head + 1 + m_[at_ + head];
      }
      if (m_.size() - at_ < size) return Refuse(UecpResponse::kElementLengthError);
      const auto element = m_.subspan(at_, size);
      at_ += size;
      const auto data = element.subspan(head + (layout->data < 0 ? 1 : 0));
      UecpResponse verdict = UecpResponse::kMessageUnknown;
      if (Carried(layout->code)) {
        // Checked in full before its numbers decide whether it takes effect.
        rds::StationSettings trial = next_;
        std::string trial_fields = fields_;
        const UecpResponse checked = One(layout->code, data, trial, trial_fields);
        if (checked != UecpResponse::kOk) return Refuse(checked);
        verdict = OnAir(element[1], element[2]);
        if (verdict == UecpResponse::kOk && element[1] != kOtherDataSets) {
          next_ = std::move(trial);
          fields_ = std::move(trial_fields);
          took_effect = true;
        }
      }
      first = first.value_or(verdict);
    }
    if (took_effect) return UecpResponse::kOk;
    return first.value_or(UecpResponse::kOk);
  }

 private:
  UecpResponse Refuse(UecpResponse response) {
    fields_.clear();
    return response;
  }

  static bool Carried(std::uint8_t code) {
    switch (static_cast<Element>(code)) {
      case Element::kPi:
      case Element::kPs:
      case Element::kTaTp:
      case Element::kDi:
      case Element::kMs:
      case Element::kPty:
      case Element::kAf:
        return true;
    }
    return false;
  }

  static UecpResponse OnAir(std::uint8_t dsn, std::uint8_t psn) {
    if (dsn != kCurrentDataSet && dsn != kOurDataSet && dsn != kOtherDataSets &&
        dsn != kAllDataSets) {
      return UecpResponse::kDataSetNumberError;
    }
    if (psn != kMainService) return UecpResponse::kServiceNumberError;
    return UecpResponse::kOk;
  }

  static UecpResponse One(std::uint8_t code, std::span<const std::uint8_t> d,
                          rds::StationSettings& s, std::string& fields) {
    switch (static_cast<Element>(code)) {
      case Element::kPi: {
        static constexpr char kHex[] = "0123456789ABCDEF";
        const unsigned pi = d[0] << 8 | d[1];
        s.pi.clear();
        for (int shift = 12; shift >= 0; shift -= 4) s.pi += kHex[(pi >> shift) & 0xF];
        AddField(fields, "PI");
        return UecpResponse::kOk;
      }
      case Element::kPs: {
        std::string ps;
        for (const std::uint8_t byte : d) {
          const std::optional<char> c = PsCharacter(byte);
          if (!c) return UecpResponse::kParameterOutOfRange;
          ps += *c;
        }
        while (!ps.empty() && ps.back() == ' ') ps.pop_back();
        s.ps = ps;
        AddField(fields, "PS");
        return UecpResponse::kOk;
      }
      case Element::kTaTp:
        if (d[0] > 3) return UecpResponse::kParameterOutOfRange;
        s.ta = d[0] & 1;
        s.tp = d[0] >> 1 & 1;
        AddField(fields, "TA");
        AddField(fields, "TP");
        return UecpResponse::kOk;
      case Element::kDi:
        if (d[0] > 15) return UecpResponse::kParameterOutOfRange;
        for (std::size_t i = 0; i < 4; ++i) s.di[i] = (d[0] >> i & 1) != 0;
        AddField(fields, "DI");
        return UecpResponse::kOk;
      case Element::kMs:
        if (d[0] > 1) return UecpResponse::kParameterOutOfRange;
        s.ms = d[0];
        AddField(fields, "MS");
        return UecpResponse::kOk;
      case Element::kPty:
        if (d[0] > 31) return UecpResponse::kParameterOutOfRange;
        s.pty = d[0];
        AddField(fields, "PTY");
        return UecpResponse::kOk;
      case Element::kAf:
        return Af(d, s, fields);
    }
    return UecpResponse::kMessageUnknown;
  }

  static UecpResponse Af(std::span<const std::uint8_t> list, rds::StationSettings& s,
                         std::string& fields) {
    if (list.empty()) return UecpResponse::kElementLengthError;
    if (list[0] < kAfCountBase || list[0] > kAfCountBase + rds::kAfCount) {
      return UecpResponse::kParameterOutOfRange;
    }
    const std::size_t count = list[0] - kAfCountBase;
    if (list.size() < 1 + count) return UecpResponse::kElementLengthError;
    rds::AfTexts boxes{};
    for (std::size_t i = 0; i + 1 < list.size(); ++i) {
      const std::uint8_t code = list[1 + i];
      if (i >= count) {
        if (code != kAfFiller) return UecpResponse::kParameterOutOfRange;
      } else if (code == 0 || code > kAfHighestCode) {
        return UecpResponse::kParameterOutOfRange;
      } else {
        boxes[i] = AfText(code);
      }
    }
    s.af = boxes;
    AddField(fields, "AF");
    return UecpResponse::kOk;
  }

  std::span<const std::uint8_t> m_;
  rds::StationSettings& next_;
  std::string& fields_;
  std::size_t at_ = 0;
};

}  // namespace

UecpResponse ApplyUecpMessage(std::span<const std::uint8_t> message, StationControl& station) {
  rds::StationSettings next = station.Settings();
  std::string fields;
  const UecpResponse response = Reader(message, next, fields).Run();
  if (!fields.empty()) station.Change(next, fields, nullptr);
  return response;
}

}  // namespace serve
