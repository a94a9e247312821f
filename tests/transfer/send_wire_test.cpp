// A whole send through the real line drivers, over fake hardware.
#include <gtest/gtest.h>

#include "rds/station.h"
#include "tests/transfer/fake_comm.h"
#include "tests/transfer/fakes.h"
#include "transfer/parallel_bytes.h"
#include "transfer/parallel_line_driver.h"
#include "transfer/preamble.h"
#include "transfer/recording_line_driver.h"
#include "transfer/send_sequence.h"
#include "transfer/serial_line_driver.h"

namespace transfer {
namespace {

using testing::At;
using testing::FakePacer;
using testing::FakeTimeOfDay;
using testing::FakeView;
using testing::Log;

struct ByteRegister final : DataRegister {
  explicit ByteRegister(std::vector<std::uint8_t>& out) : written(out) {}
  void Write(std::uint8_t value) override { written.push_back(value); }
  std::vector<std::uint8_t>& written;
};

// Passes every operation on to two drivers.
struct TeeDriver final : LineDriver {
  TeeDriver(std::unique_ptr<LineDriver> a, std::unique_ptr<LineDriver> b)
      : first(std::move(a)), second(std::move(b)) {}
  void ResetLines() override { first->ResetLines(), second->ResetLines(); }
  void ClockHigh(rds::BitCell bit) override { first->ClockHigh(bit), second->ClockHigh(bit); }
  void ClockLow(rds::BitCell bit) override { first->ClockLow(bit), second->ClockLow(bit); }
  std::unique_ptr<LineDriver> first, second;
};

TEST(SendOverTheWire, TheParallelDriverWritesTheBytesTheRecordingShows) {
  Log log;
  FakeView view(log);
  FakeTimeOfDay clock(At(9, 0, 0));
  FakePacer pacer;
  std::vector<std::uint8_t> written;
  WireTrace trace;
  SendSequence sequence(view, clock, pacer, [&] {
    return std::make_unique<TeeDriver>(
        std::make_unique<ParallelLineDriver>(std::make_unique<ByteRegister>(written)),
        std::make_unique<RecordingLineDriver>(trace));
  });
  sequence.UploadRDS();
  ASSERT_EQ(written.size(), 898U);
  EXPECT_EQ(written, ParallelPortBytes(trace));
}

class SerialSend : public ::testing::Test {
 protected:
  SerialSend()
      : view(log),
        clock(At(9, 0, 0)),
        sequence(view, clock, pacer, [this] { return std::make_unique<SerialLineDriver>(comm); }) {
    comm.Open();
    comm.log.clear();
  }

  Log log;
  FakeView view;
  FakeTimeOfDay clock;
  FakePacer pacer;
  FakeComm comm;
  SendSequence sequence;
};

TEST_F(SerialSend, PerBitDataLineThenClockSetThenClockClear) {
  sequence.UploadRDS();
  std::vector<std::string> expected = {"DTR-", "RTS-"};
  const rds::EncoderImage image = rds::Encode(view.settings).image;
  std::vector<rds::BitCell> bits(PreambleCells().begin(), PreambleCells().end());
  bits.insert(bits.end(), image.begin(), image.end());
  for (const rds::BitCell bit : bits) {
    expected.push_back(bit ? "DTR+" : "DTR-");
    expected.push_back("RTS+");
    expected.push_back("RTS-");
  }
  expected.push_back("DTR-");
  expected.push_back("RTS-");
  EXPECT_EQ(comm.log, expected);
}

TEST_F(SerialSend, AnErrorMidImageKeepsTheRecordAndTheTimeAndStopsTheLines) {
  clock.Set(At(9, 0, 5));
  ASSERT_TRUE(sequence.UPClick());
  const LastSentRecord before = sequence.LastSent();
  const TimeOfDay sent_at = sequence.TimeOfLastSend();

  view.settings.pi = "2A07";
  view.on_progress = [this](int position) {
    if (position == 20) comm.fail_lines = true;
  };
  comm.log.clear();
  clock.Set(At(9, 0, 9));
  try {
    sequence.UPClick();
    FAIL() << "no error";
  } catch (const EVaCommError& e) {
    EXPECT_STREQ(e.what(), "Error calling comm function (25), no modem lines");
  }
  // Runs 0 to 18 went out whole, 19 * 8 bits of three calls each after the reset's two.
  EXPECT_EQ(comm.log.size(), 2U + 19 * 8 * 3);
  EXPECT_EQ(sequence.LastSent(), before);
  EXPECT_EQ(sequence.TimeOfLastSend(), sent_at);
  EXPECT_EQ(view.shown, before);
  EXPECT_EQ(view.progress, 0);
  EXPECT_FALSE(view.busy);
}

}  // namespace
}  // namespace transfer
