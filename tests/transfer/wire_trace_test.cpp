#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "fakes.h"
#include "rds/station.h"
#include "transfer/clock_out.h"
#include "transfer/precise_pacer.h"
#include "transfer/recording_line_driver.h"
#include "transfer/trace_timing.h"
#include "transfer/vcd_writer.h"

namespace transfer {
namespace {

using namespace testing;
using Time = std::chrono::steady_clock::time_point;

// What a waveform viewer gets out of a dump: per time stamp, the levels of the signals
// named "data" and "clock" after the changes at that time.
struct Sample {
  long long us;
  int data;
  int clock;
};

std::vector<Sample> ParseVcd(const std::string& text) {
  std::istringstream in(text);
  std::map<std::string, std::string> names;  // id -> name
  std::string word;
  bool timescale_us = false;
  while (in >> word && word != "$enddefinitions") {
    if (word == "$var") {
      std::string type, width, id, name, end;
      in >> type >> width >> id >> name >> end;
      EXPECT_EQ(type, "wire");
      EXPECT_EQ(width, "1");
      EXPECT_EQ(end, "$end");
      names[id] = name;
    } else if (word == "$timescale") {
      std::string value, end;
      in >> value;
      if (value == "1") in >> value;  // "1 us" or "1us"
      timescale_us = value == "us" || value == "1us";
      in >> end;
    }
  }
  EXPECT_TRUE(timescale_us);
  EXPECT_EQ(names.size(), 2U);
  in >> word;
  EXPECT_EQ(word, "$end");

  std::vector<Sample> samples;
  std::map<std::string, int> level;
  while (in >> word) {
    if (word == "$dumpvars" || word == "$end") continue;
    if (word[0] == '#') {
      samples.push_back({std::stoll(word.substr(1)), -1, -1});
    } else {
      EXPECT_TRUE(word[0] == '0' || word[0] == '1') << word;
      EXPECT_TRUE(names.count(word.substr(1))) << word;
      level[names[word.substr(1)]] = word[0] - '0';
    }
    if (!samples.empty()) {
      samples.back().data = level.count("data") ? level["data"] : -1;
      samples.back().clock = level.count("clock") ? level["clock"] : -1;
    }
  }
  return samples;
}

TEST(VcdWriter, AWholeSendReadsBackAsTheTraceAndClocksInTheBitsOnRisingEdges) {
  FakePacer pacer;
  WireTrace trace;
  const rds::EncoderImage image = rds::Encode(rds::StationSettings{}).image;
  ClockOut(
      image,
      [&] { return std::make_unique<RecordingLineDriver>(trace, [&] { return pacer.Now(); }); },
      pacer, [](int) {});
  std::ostringstream out;
  WriteVcd(trace, out);
  const std::vector<Sample> samples = ParseVcd(out.str());

  ASSERT_EQ(samples.size(), trace.size());
  std::vector<rds::BitCell> sampled;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const auto us =
        std::chrono::duration_cast<std::chrono::microseconds>(trace[i].time - trace.front().time);
    EXPECT_EQ(samples[i].us, us.count());
    EXPECT_EQ(samples[i].data, trace[i].Data());
    EXPECT_EQ(samples[i].clock, trace[i].Clock());
    if (i > 0 && samples[i - 1].clock == 0 && samples[i].clock == 1) {
      sampled.push_back(static_cast<rds::BitCell>(samples[i].data));
    }
  }
  std::vector<rds::BitCell> expected(PreambleCells().begin(), PreambleCells().end());
  expected.insert(expected.end(), image.begin(), image.end());
  EXPECT_EQ(sampled, expected);
  EXPECT_EQ(samples.back().us, std::chrono::microseconds(kNominalTransferTime).count());
  EXPECT_EQ(samples.back().data, 0);
  EXPECT_EQ(samples.back().clock, 0);
}

TEST(VcdWriter, AnEmptyTraceIsAHeaderOnly) {
  std::ostringstream out;
  WriteVcd({}, out);
  EXPECT_TRUE(ParseVcd(out.str()).empty());
}

TEST(TraceTiming, FindsTheShortestPauseOfEachKind) {
  const Time t0{std::chrono::seconds(5)};
  WireTrace trace = {{LineOp::kResetLines, 0, t0}};
  Time t = t0;
  // Two runs; one short bit pause in the second run and a short gap between the runs.
  for (int bit = 0; bit < 16; ++bit) {
    t += bit == 8 ? 30900us : bit == 11 ? 999us : 1000us;
    trace.push_back({LineOp::kClockHigh, 1, t});
    t += 1001us;
    trace.push_back({LineOp::kClockLow, 1, t});
  }
  t += 10us;  // the gap before the final reset belongs to neither kind
  trace.push_back({LineOp::kResetLines, 0, t});
  const TraceTiming timing = MeasureTrace(trace);
  EXPECT_EQ(timing.elapsed, t - t0);
  EXPECT_EQ(timing.min_bit_pause, std::chrono::nanoseconds(999us));
  EXPECT_EQ(timing.min_run_pause, std::chrono::nanoseconds(30900us));
}

TEST(PrecisePacer, NeverEndsAWaitEarly) {
  PrecisePacer pacer;
  for (const auto wait : {-5us, 0us, 20us, 150us, 1000us, 1000us, 3000us, 1000us}) {
    const Time deadline = pacer.Now() + wait;
    pacer.WaitUntil(deadline);
    EXPECT_GE(pacer.Now(), deadline);
  }
  EXPECT_LE(pacer.BusyTime(), pacer.WaitTime());
}

// A clock that moves 1 us per reading, and sleeps that wake by a script: early, late by
// whole time slices (a busy machine), or on time. The processors are busy at every
// busy_every-th wait (every third unless told).
class ScriptedClock final : public WaitClock {
 public:
  explicit ScriptedClock(std::vector<std::chrono::microseconds> wake_errors, int busy_every = 3)
      : errors_(std::move(wake_errors)), busy_every_(busy_every) {}
  Time Now() override { return now_ += 1us; }
  void SleepUntil(Time deadline) override {
    sleep_targets_.push_back(deadline);
    const auto error = errors_[next_++ % errors_.size()];
    now_ = std::max(now_, deadline + error);
  }
  bool ProcessorsBusy() override { return ++asked_ % busy_every_ == 0; }
  std::vector<Time> sleep_targets_;

 private:
  Time now_{std::chrono::seconds(100)};
  std::vector<std::chrono::microseconds> errors_;
  std::size_t next_ = 0;
  int busy_every_;
  int asked_ = 0;
};

TEST(PrecisePacer, SpinsAtMostItsBudgetAndNeverEndsEarlyWhateverTheWakeUps) {
  constexpr SpinBudgets kBudgets{.free = 150us, .busy = 20us};
  ScriptedClock clock({4000us, -300us, 3us, 6000us, -40us, 0us, 12000us, 149us, 19us});
  PrecisePacer pacer(clock, kBudgets);
  for (int i = 0; i < 40; ++i) {
    const Time deadline = pacer.Now() + (i % 8 == 7 ? 30000us : 1000us);
    const auto busy_before = pacer.BusyTime();
    const std::size_t sleeps_before = clock.sleep_targets_.size();
    const auto budget = i % 3 == 2 ? kBudgets.busy : kBudgets.free;
    pacer.WaitUntil(deadline);
    EXPECT_GE(clock.Now(), deadline) << "wait " << i;
    // Late wake-ups before do not make it wake earlier or spin longer.
    EXPECT_LE(pacer.BusyTime() - busy_before, budget + 2us) << "wait " << i;
    for (std::size_t s = sleeps_before; s < clock.sleep_targets_.size(); ++s) {
      EXPECT_EQ(clock.sleep_targets_[s], deadline - budget) << "wait " << i;
    }
  }

  // Prompt wake-ups shorten the spin to what they need: 6 us late, 10 us of margin.
  ScriptedClock prompt({5us});
  PrecisePacer learner(prompt, kBudgets);
  for (int i = 0; i < 64; ++i) learner.WaitUntil(learner.Now() + 1000us);
  const auto busy_before = learner.BusyTime();
  for (int i = 0; i < 30; ++i) learner.WaitUntil(learner.Now() + 1000us);
  EXPECT_LE(learner.BusyTime() - busy_before, 30 * 16us);
}

// Every second wait finds the processors busy and wakes 4 ms late; the others wake 0 to
// 124 us late. The spin learns only the latter, and covers nine in ten of them.
TEST(PrecisePacer, SpinCoversNineInTenFreeWakeUpsAndNoBusyOne) {
  constexpr SpinBudgets kBudgets{.free = 150us, .busy = 20us};
  std::vector<std::chrono::microseconds> late;
  for (int i = 0; i < 32; ++i) late.insert(late.end(), {i * 4us, 4000us});
  ScriptedClock clock(late, 2);
  PrecisePacer pacer(clock, kBudgets);
  for (std::size_t i = 0; i < late.size(); ++i) pacer.WaitUntil(pacer.Now() + 1000us);
  const Time deadline = pacer.Now() + 1000us;
  pacer.WaitUntil(deadline);
  // The 29th of 32 delays is 28 * 4 us, read 1 us later; then the margin of 10 us.
  EXPECT_EQ(clock.sleep_targets_.back(), deadline - 123us);
}

// A thread that busy threads of normal priority cannot take the processor from spins the
// free budget whatever the others do.
TEST(PrecisePacer, AtRealTimePriorityBusyProcessorsDoNotShortenTheSpin) {
  constexpr SpinBudgets kBudgets{.free = 150us, .busy = 20us};
  ScriptedClock clock({0us}, 1);
  PrecisePacer pacer(clock, kBudgets);
  pacer.SetHighPriority(true);
  pacer.BeginTransfer();
  const Time deadline = pacer.Now() + 1000us;
  pacer.WaitUntil(deadline);
  pacer.EndTransfer();
  if (pacer.PriorityGot().rfind("real-time", 0) != 0) {
    GTEST_SKIP() << "no real-time priority here: " << pacer.PriorityGot();
  }
  EXPECT_EQ(clock.sleep_targets_.back(), deadline - kBudgets.free);
}

}  // namespace
}  // namespace transfer
