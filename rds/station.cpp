#include "rds/station.h"

#include "rds/group_assembly.h"
#include "rds/rds_charset.h"

namespace rds {

std::array<std::uint8_t, kPsLength> CapturePS(const std::string& text) {
  std::array<std::uint8_t, kPsLength> chars{};
  chars.fill(0x20);
  for (std::size_t i = 0; i < kPsLength && i < text.size(); ++i) {
    chars[i] = ToRdsCharacter(static_cast<unsigned char>(text[i]));
  }
  return chars;
}

Encoding Encode(const StationSettings& settings) {
  Encoding out;
  out.fields.ps = CapturePS(settings.ps);
  out.pi_text = CheckPI(settings.pi);
  out.fields.pi = EncodePI(out.pi_text);
  out.fields.pty = EncodePTY(settings.pty);
  out.fields.ms = EncodeFlag(settings.ms);
  out.fields.tp = EncodeFlag(settings.tp);
  out.fields.ta = EncodeFlag(settings.ta);
  out.fields.di = EncodeDI(settings.di);
  const AfEncoding af = EncodeAF(settings.af);
  out.af_texts = af.boxes;
  out.fields.af = af.bits;
  out.image = EncodeGroups(out.fields);
  return out;
}

}  // namespace rds
