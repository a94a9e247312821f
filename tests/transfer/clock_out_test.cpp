#include "transfer/clock_out.h"

#include <gtest/gtest.h>

#include "fakes.h"
#include "rds/station.h"
#include "transfer/parallel_bytes.h"
#include "transfer/preamble.h"
#include "transfer/recording_line_driver.h"
#include "transfer/trace_timing.h"

namespace transfer {
namespace {

using namespace testing;

const rds::EncoderImage& DefaultImage() {
  static const rds::EncoderImage image = rds::Encode(rds::StationSettings{}).image;
  return image;
}

// The 448 cells in wire order.
std::vector<rds::BitCell> WireBits(const rds::EncoderImage& image) {
  std::vector<rds::BitCell> bits(PreambleCells().begin(), PreambleCells().end());
  bits.insert(bits.end(), image.begin(), image.end());
  return bits;
}

struct Recorded {
  WireTrace trace;
  std::vector<int> progress;
};

Recorded Record(const rds::EncoderImage& image, FakePacer& pacer) {
  Recorded r;
  ClockOut(
      image,
      [&] { return std::make_unique<RecordingLineDriver>(r.trace, [&] { return pacer.Now(); }); },
      pacer, [&](int position) { r.progress.push_back(position); });
  return r;
}

TEST(ClockOut, ParallelPortGets898BytesFramedByZeros) {
  FakePacer pacer;
  const std::vector<std::uint8_t> bytes = ParallelPortBytes(Record(DefaultImage(), pacer).trace);
  ASSERT_EQ(bytes.size(), 898U);
  EXPECT_EQ(bytes.front(), 0x00);
  EXPECT_EQ(bytes.back(), 0x00);
  const std::vector<std::uint8_t> first16(bytes.begin() + 1, bytes.begin() + 17);
  EXPECT_EQ(first16, (std::vector<std::uint8_t>{0x08, 0x00, 0x18, 0x10, 0x08, 0x00, 0x08, 0x00,
                                                0x08, 0x00, 0x18, 0x10, 0x08, 0x00, 0x08, 0x00}));
  const std::vector<rds::BitCell> bits = WireBits(DefaultImage());
  for (std::size_t k = 0; k < bits.size(); ++k) {
    EXPECT_EQ(bytes[1 + 2 * k], bits[k] ? 0x18 : 0x08) << "bit " << k;
    EXPECT_EQ(bytes[2 + 2 * k], bits[k] ? 0x10 : 0x00) << "bit " << k;
  }
}

TEST(ClockOut, EveryBitIsPauseHighPauseLowAndEveryRunEndsWithAPause) {
  Log log;
  FakePacer pacer(&log);
  ClockOut(
      DefaultImage(), [&] { return std::make_unique<FakeLineDriver>(log); }, pacer,
      [&](int position) { log.push_back("progress " + std::to_string(position)); });

  Log expected = {"reset"};
  const std::vector<rds::BitCell> bits = WireBits(DefaultImage());
  for (std::size_t k = 0; k < bits.size(); ++k) {
    const std::string b = std::to_string(bits[k]);
    // A run's position comes after the 30 ms that end the previous run; the next bit's
    // 1 ms counts from the same line change, so it ends 31 ms after it.
    if (k % 8 == 0 && k > 0) expected.push_back("wait 30000");
    if (k % 8 == 0) expected.push_back("progress " + std::to_string(k / 8 + 1));
    expected.push_back("wait 1000");
    expected.push_back("high " + b);
    expected.push_back("wait 1000");
    expected.push_back("low " + b);
  }
  expected.push_back("wait 30000");
  expected.push_back("reset");
  EXPECT_EQ(log, expected);
}

TEST(ClockOut, NominalTimingIsExact) {
  FakePacer pacer;
  const TraceTiming timing = MeasureTrace(Record(DefaultImage(), pacer).trace);
  EXPECT_EQ(timing.elapsed, kNominalTransferTime);
  EXPECT_EQ(timing.min_bit_pause, std::chrono::nanoseconds(1ms));
  EXPECT_EQ(timing.min_run_pause, std::chrono::nanoseconds(31ms));
}

// A line operation that takes time must not shorten the pause after it: pauses count
// from the end of the previous operation.
class SlowDriver final : public LineDriver {
 public:
  SlowDriver(WireTrace& trace, FakePacer& pacer)
      : recorder_(trace, [&] { return pacer.Now(); }), pacer_(pacer) {}
  void ResetLines() override {
    Slow([&] { recorder_.ResetLines(); });
  }
  void ClockHigh(rds::BitCell bit) override {
    Slow([&] { recorder_.ClockHigh(bit); });
  }
  void ClockLow(rds::BitCell bit) override {
    Slow([&] { recorder_.ClockLow(bit); });
  }

 private:
  template <typename F>
  void Slow(F op) {
    pacer_.Advance(150us);  // the change happens at the end of the call
    op();
    pacer_.Advance(250us);
  }
  RecordingLineDriver recorder_;
  FakePacer& pacer_;
};

TEST(ClockOut, SlowLineOperationsNeverShortenAPause) {
  FakePacer pacer;
  WireTrace trace;
  ClockOut(
      DefaultImage(), [&] { return std::make_unique<SlowDriver>(trace, pacer); }, pacer,
      [](int) {});
  const TraceTiming timing = MeasureTrace(trace);
  EXPECT_GE(timing.min_bit_pause, std::chrono::nanoseconds(1ms));
  EXPECT_GE(timing.min_run_pause, std::chrono::nanoseconds(31ms));
  EXPECT_GE(timing.elapsed, kNominalTransferTime);
}

TEST(ClockOut, ALineErrorEndsTheTransferAtOnce) {
  Log log;
  FakePacer pacer(&log);
  constexpr int kFailAt = 300;  // inside the image
  std::vector<int> progress;
  EXPECT_THROW(ClockOut(
                   DefaultImage(), [&] { return std::make_unique<FakeLineDriver>(log, kFailAt); },
                   pacer, [&](int position) { progress.push_back(position); }),
               LineError);
  int ops = 0;
  for (const std::string& entry : log) ops += entry.rfind("wait", 0) != 0 ? 1 : 0;
  EXPECT_EQ(ops, kFailAt);
  // The wait before the failing operation is the last thing that happened.
  EXPECT_EQ(log.back().rfind("wait", 0), 0U);
  EXPECT_EQ(progress.back(), (kFailAt - 1) / 16 + 1);
}

TEST(ClockOut, AFailedChoiceClocksNothing) {
  FakePacer pacer;
  int progress_calls = 0;
  EXPECT_THROW(
      ClockOut(
          DefaultImage(), []() -> std::unique_ptr<LineDriver> { throw LineError("no port"); },
          pacer, [&](int) { ++progress_calls; }),
      LineError);
  EXPECT_EQ(pacer.waits(), 0);
  EXPECT_EQ(progress_calls, 0);
}

}  // namespace
}  // namespace transfer
