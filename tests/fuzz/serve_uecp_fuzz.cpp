// libFuzzer target for UECP: the frame reader and the message elements of every frame it
// accepts (built with -DRDSQ7_FUZZ=ON and clang).
#include <cstdint>
#include <cstdlib>
#include <span>

#include "serve/uecp_frame.h"
#include "serve/uecp_messages.h"
#include "tests/serve/fake_station.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  serve::testing::FakeStation station;
  serve::UecpFrameReader reader;
  reader.Feed(std::span(data, size), [&](const serve::UecpFrameResult& frame) {
    if (frame.message.size() > serve::kUecpMaxMessage) std::abort();
    if (frame.response == serve::UecpResponse::kOk) {
      // A frame that was accepted encodes back to one that reads the same.
      const auto again = serve::EncodeUecpFrame(frame.address, *frame.sequence, frame.message);
      serve::UecpFrameReader check;
      check.Feed(again, [&](const serve::UecpFrameResult& r) {
        if (r.response != serve::UecpResponse::kOk || r.message != frame.message) std::abort();
      });
      serve::ApplyUecpMessage(frame.message, station);
    }
  });
  // The message elements alone, as if a frame had carried them.
  serve::ApplyUecpMessage(std::span(data, size), station);
  for (const std::string& box : station.settings.af) {
    if (box.size() > 5) std::abort();
  }
  return 0;
}
