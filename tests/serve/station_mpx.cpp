// Writes the FM multiplex of a station to standard output, raw s16le at 171 kHz, as a monitor
// command would: station_mpx PS PI SECONDS. The status page's test watches it on air.
#include <cstdio>
#include <string>

#include "rds/station.h"
#include "tests/receiver/mpx_synth.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: station_mpx PS PI SECONDS\n");
    return 2;
  }
  rds::StationSettings station;
  station.ps = argv[1];
  station.pi = argv[2];
  const auto image = rds::Encode(station).image;
  const std::vector<std::uint8_t> bits(image.begin(), image.end());
  for (const std::int16_t s : receiver::testing::SynthesizeMpx(bits, std::stod(argv[3]), {})) {
    const auto u = static_cast<std::uint16_t>(s);
    std::putchar(u & 0xFF);
    std::putchar(u >> 8);
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
