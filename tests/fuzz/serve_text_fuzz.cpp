// libFuzzer target for the text command port: the line reader and every command line it
// yields, against a station state (built with -DRDSQ7_FUZZ=ON and clang).
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "serve/text_commands.h"
#include "tests/serve/fake_station.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  serve::testing::FakeStation station;
  serve::TextLineReader reader;
  reader.Feed(std::string_view(reinterpret_cast<const char*>(data), size),
              [&](std::string_view line, bool overlong) {
                if (overlong || line.size() > serve::kMaxCommandLine) return;
                std::string reply;
                serve::RunTextCommand(line, station, [&](std::string a) { reply = std::move(a); });
                if (reply.empty() || reply.find('\n') != std::string::npos) std::abort();
              });
  // Whatever was accepted must still fit the boxes.
  if (station.settings.ps.size() > 8 || station.settings.pi.size() > 4) std::abort();
  return 0;
}
