// Writes the FM multiplex of a station to standard output, raw s16le at 171 kHz, as a monitor
// command would: station_mpx SECONDS [--ps TEXT] [--pi HHHH] [--pty N] [--af MHZ]… (the field
// options of rdsq7-cli). The status page's test watches it on air.
#include <cstdio>
#include <string>

#include "appcore/settings_file.h"
#include "cmdline/arguments.h"
#include "cmdline/field_options.h"
#include "rds/station.h"
#include "tests/receiver/mpx_synth.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: station_mpx SECONDS [field options]\n");
    return 2;
  }
  cmdline::Arguments args(std::vector<std::string>(argv + 2, argv + argc));
  cmdline::FieldOptions fields;
  while (!args.AtEnd()) {
    const std::string option = args.NextOption();
    if (!fields.Parse(option, args)) {
      std::fprintf(stderr, "station_mpx: unknown option %s\n", option.c_str());
      return 2;
    }
  }
  const auto image = rds::Encode(fields.ApplyTo(app::SettingsValues{}).station).image;
  const std::vector<std::uint8_t> bits(image.begin(), image.end());
  for (const std::int16_t s : receiver::testing::SynthesizeMpx(bits, std::stod(argv[1]), {})) {
    const auto u = static_cast<std::uint16_t>(s);
    std::putchar(u & 0xFF);
    std::putchar(u >> 8);
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
