#pragma once

#include <array>
#include <string>

#include "rds/af_encoding.h"
#include "rds/bits.h"
#include "rds/field_encoding.h"

namespace rds {

// A snapshot of the Main tab at the moment of a send. Texts are bytes of the program's
// 8-bit character set; list positions are -1 when nothing is selected.
struct StationSettings {
  std::string ps = "FM RADIO";
  std::string pi = "FFFF";
  int pty = 0;
  int tp = 1;
  int ta = 0;
  int ms = 1;                // 0 Speech, 1 Music
  std::array<bool, 4> di{};  // items "Stereo", "Art. H.", "Comp.", "DPTY"
  AfTexts af{};              // as typed; either '.' or ',' is the decimal mark
};

// Everything a send produces before the transfer: the corrected box texts the window
// shows afterwards, the field bits and the encoder image.
struct Encoding {
  std::string pi_text;
  AfTexts af_texts;
  FieldBits fields;
  EncoderImage image{};
};

// The PS characters as they go on the air: the first 8 characters in the RDS character
// table's codes, spaces behind.
std::array<std::uint8_t, kPsLength> CapturePS(const std::string& text);

// Runs the encoding steps of a send in their order: PS, PI, PTY, flags, DI, AF, groups.
Encoding Encode(const StationSettings& settings);

}  // namespace rds
