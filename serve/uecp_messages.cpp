// Message element layouts as the UECP standard (EBU SPB 490) gives them: MEC, data set
// number, program service number, then the data; the AF element puts its length byte
// right after the MEC and counts everything behind it. Flag bits: TA/TP d0 TA, d1 TP; DI
// d0 stereo, d1 artificial head, d2 compressed, d3 dynamic PTY; MS d0 music. Cross-checked
// with the element classes of python-uecp (MIT licence). AF method A: 224 + N, then N codes
// 1 to 204 (87.6 to 107.9 MHz), filler 205 behind them (IEC 62106).
#include "serve/uecp_messages.h"

#include <optional>
#include <string>

#include "rds/cp1252.h"
#include "rds/rds_charset.h"

namespace cli {
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

constexpr std::uint8_t kAfCountBase = 224;
constexpr std::uint8_t kAfFiller = 205;
constexpr std::uint8_t kAfHighestCode = 204;
constexpr std::size_t kDsnPsnBytes = 2;

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

  UecpResponse Run() {
    while (at_ < m_.size()) {
      const UecpResponse response = One();
      if (response != UecpResponse::kOk) return response;
    }
    return UecpResponse::kOk;
  }

 private:
  // The data bytes of a fixed-length element, or nullopt when the message ends early.
  std::optional<std::span<const std::uint8_t>> Take(std::size_t data) {
    const std::size_t whole = 1 + kDsnPsnBytes + data;
    if (m_.size() - at_ < whole) return std::nullopt;
    const auto bytes = m_.subspan(at_ + 1 + kDsnPsnBytes, data);
    at_ += whole;
    return bytes;
  }

  UecpResponse One() {
    switch (static_cast<Element>(m_[at_])) {
      case Element::kPi: {
        const auto d = Take(2);
        if (!d) return UecpResponse::kElementLengthError;
        static constexpr char kHex[] = "0123456789ABCDEF";
        const unsigned pi = (*d)[0] << 8 | (*d)[1];
        next_.pi.clear();
        for (int shift = 12; shift >= 0; shift -= 4) next_.pi += kHex[(pi >> shift) & 0xF];
        AddField(fields_, "PI");
        return UecpResponse::kOk;
      }
      case Element::kPs: {
        const auto d = Take(rds::kPsLength);
        if (!d) return UecpResponse::kElementLengthError;
        std::string ps;
        for (const std::uint8_t code : *d) {
          const std::optional<char> c = PsCharacter(code);
          if (!c) return UecpResponse::kParameterOutOfRange;
          ps += *c;
        }
        while (!ps.empty() && ps.back() == ' ') ps.pop_back();
        next_.ps = ps;
        AddField(fields_, "PS");
        return UecpResponse::kOk;
      }
      case Element::kTaTp:
        return Flags(3, [this](unsigned v) {
          next_.ta = v & 1;
          next_.tp = v >> 1 & 1;
          AddField(fields_, "TA");
          AddField(fields_, "TP");
        });
      case Element::kDi:
        return Flags(15, [this](unsigned v) {
          for (std::size_t i = 0; i < 4; ++i) next_.di[i] = (v >> i & 1) != 0;
          AddField(fields_, "DI");
        });
      case Element::kMs:
        return Flags(1, [this](unsigned v) {
          next_.ms = static_cast<int>(v);
          AddField(fields_, "MS");
        });
      case Element::kPty:
        return Flags(31, [this](unsigned v) {
          next_.pty = static_cast<int>(v);
          AddField(fields_, "PTY");
        });
      case Element::kAf:
        return Af();
    }
    return UecpResponse::kMessageUnknown;
  }

  template <typename Set>
  UecpResponse Flags(unsigned highest, Set set) {
    const auto d = Take(1);
    if (!d) return UecpResponse::kElementLengthError;
    if ((*d)[0] > highest) return UecpResponse::kParameterOutOfRange;
    set((*d)[0]);
    return UecpResponse::kOk;
  }

  UecpResponse Af() {
    if (m_.size() - at_ < 2) return UecpResponse::kElementLengthError;
    const std::size_t length = m_[at_ + 1];
    if (length < kDsnPsnBytes + 1 || m_.size() - at_ - 2 < length) {
      return UecpResponse::kElementLengthError;
    }
    const auto list = m_.subspan(at_ + 2 + kDsnPsnBytes, length - kDsnPsnBytes);
    at_ += 2 + length;
    if (list[0] < kAfCountBase || list[0] > kAfCountBase + rds::kAfCount) {
      return UecpResponse::kParameterOutOfRange;
    }
    const std::size_t count = list[0] - kAfCountBase;
    if (list.size() < 1 + count) return UecpResponse::kElementLengthError;
    rds::AfTexts boxes{};
    for (std::size_t i = 0; i < list.size() - 1; ++i) {
      const std::uint8_t code = list[1 + i];
      if (i >= count) {
        if (code != kAfFiller) return UecpResponse::kParameterOutOfRange;
      } else if (code == 0 || code > kAfHighestCode) {
        return UecpResponse::kParameterOutOfRange;
      } else {
        boxes[i] = AfText(code);
      }
    }
    next_.af = boxes;
    AddField(fields_, "AF");
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
  if (response == UecpResponse::kOk && !fields.empty()) station.Change(next, fields);
  return response;
}

}  // namespace cli
