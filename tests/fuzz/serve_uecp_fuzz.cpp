// libFuzzer target for UECP: the frame reader and the message elements of every frame it
// accepts (built with -DRDSQ7_FUZZ=ON and clang).
#include <cstdint>
#include <cstdlib>
#include <span>

#include "serve/uecp_frame.h"
#include "serve/uecp_messages.h"
#include "tests/serve/fake_station.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  cli::testing::FakeStation station;
  cli::UecpFrameReader reader;
  reader.Feed(std::span(data, size), [&](const cli::UecpFrameResult& frame) {
    if (frame.message.size() > cli::kUecpMaxMessage) std::abort();
    if (frame.response == cli::UecpResponse::kOk) {
      // A frame that was accepted encodes back to one that reads the same.
      const auto again = cli::EncodeUecpFrame(frame.address, *frame.sequence, frame.message);
      cli::UecpFrameReader check;
      check.Feed(again, [&](const cli::UecpFrameResult& r) {
        if (r.response != cli::UecpResponse::kOk || r.message != frame.message) std::abort();
      });
      cli::ApplyUecpMessage(frame.message, station);
    }
  });
  // The message elements alone, as if a frame had carried them.
  cli::ApplyUecpMessage(std::span(data, size), station);
  for (const std::string& box : station.settings.af) {
    if (box.size() > 5) std::abort();
  }
  return 0;
}
