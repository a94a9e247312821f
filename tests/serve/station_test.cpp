#include "serve/station.h"

#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <sstream>
#include <tuple>

#include "serve/send_budget.h"

namespace serve {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(SendStartTime, AChangeGoesOutAtOnceAndAStreamNeverHoldsItBack) {
  const std::chrono::steady_clock::time_point t{100s};
  struct Case {
    std::chrono::milliseconds last;  // after the first change
    std::optional<std::chrono::milliseconds> throttle_free;
    std::chrono::milliseconds start;
  };
  const std::vector<Case> cases = {
      {0ms, std::nullopt, kCoalesceWindow},  // one change while idle
      {30ms, std::nullopt, kCoalesceLimit},  // a stream of them
      {0ms, 1500ms, 1500ms},                 // the throttle decides
  };
  for (const Case& c : cases) {
    const auto throttle = c.throttle_free ? std::optional(t + *c.throttle_free) : std::nullopt;
    EXPECT_EQ(SendStartTime(t, t + c.last, throttle), t + c.start) << c.last.count();
  }
  EXPECT_LE(kCoalesceLimit, 50ms) << "an idle change starts its send within 50 ms";
}

TEST(SendBudget, HoldsSendsToTheLimitInAnyHour) {
  SendBudget budget(3);
  const SendBudget::Clock::time_point t{};
  struct Case {
    std::chrono::minutes at;
    bool sends;  // when allowed, a send starts then
    std::optional<std::chrono::minutes> free;
    std::size_t in_last_hour;
  };
  const std::vector<Case> cases = {
      {0min, true, std::nullopt, 0},  {10min, true, std::nullopt, 1},
      {20min, true, std::nullopt, 2}, {30min, false, 60min, 3},
      {60min, true, std::nullopt, 2},  // the first is an hour old
      {61min, false, 70min, 3},       {130min, false, std::nullopt, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(budget.InLastHour(t + c.at), c.in_last_hour) << c.at.count();
    const auto free = budget.NextFree(t + c.at);
    EXPECT_EQ(free, c.free ? std::optional(t + *c.free) : std::nullopt) << c.at.count();
    if (c.sends && !free) budget.Sent(t + c.at);
  }
  SendBudget unlimited(0);
  for (int i = 0; i < 1000; ++i) unlimited.Sent(t);
  EXPECT_EQ(unlimited.NextFree(t), std::nullopt);
}

// The station with a dry run's sends (2.6 s each, recorded only) and its log as text.
class StationRun : public ::testing::Test {
 protected:
  void RunUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (!done() && std::chrono::steady_clock::now() < end) {
      io_.restart();  // a send's end is posted from the worker's thread
      io_.run_for(10ms);
    }
  }
  // Alarms on the station, with delays short enough for a test; their conditions in STATUS.
  StationAlarms& Alarms() {
    AlarmOptions options;
    options.delays = {300ms, 200ms};
    options.system_log = false;
    alarms_.emplace(io_, options, *log_);
    station_.UseAlarms(*alarms_);
    alarms_->Start(true);
    return *alarms_;
  }
  // How long until STATUS says (or stops saying) text, limit at most. The alarms look at
  // their delays once a second.
  Clock::duration Until(const std::string& text, bool present, Clock::duration limit = 2500ms) {
    const auto start = Clock::now();
    RunUntil([&] {
      return (station_.Status().find(text) != std::string::npos) == present ||
             Clock::now() - start >= limit;
    });
    return Clock::now() - start;
  }
  std::string Log() {
    log_.reset();  // writes what waits
    return out_.str();
  }

  asio::io_context io_;
  std::ostringstream out_;
  std::optional<ServeLog> log_{std::in_place, out_};
  SendWorker worker_{cmdline::SendTarget{}};  // no port: recorded only
  ServeStation station_{io_, {}, {}, worker_, *log_};
  std::optional<StationAlarms> alarms_;
};

TEST_F(StationRun, AChangeWaitingWhenStopComesIsSentBeforeTheEnd) {
  rds::StationSettings next = station_.Settings();
  next.ps = "STOP";
  station_.Change(next, "PS", [](const auto&) {});
  bool stopped = false;
  station_.Stop([&stopped](bool) { stopped = true; });
  RunUntil([&stopped] { return stopped; });
  const std::string log = Log();
  EXPECT_NE(log.find(" send changes=PS "), std::string::npos) << log;
  EXPECT_EQ(log.find("not sent"), std::string::npos) << log;
  const StationStatus status = station_.Report();
  EXPECT_EQ(status.sends, 1U);
  EXPECT_EQ(status.failed_sends, 0U);
  EXPECT_EQ(status.sent.value_or(rds::StationSettings{}).ps, "STOP");
  EXPECT_TRUE(status.last_ok_send);
  EXPECT_FALSE(status.changes_pending);
  EXPECT_EQ(status.send, SendResult::kOk);
}

// Changes 10 ms apart for 400 ms, PTY first and TP from 200 ms on: the first send starts
// within the limit after the first change, not once the stream has ended.
TEST_F(StationRun, AStreamOfChangesDoesNotHoldTheSendBack) {
  asio::steady_timer tick(io_);
  const auto start = std::chrono::steady_clock::now();
  int count = 0;
  std::function<void()> change = [&] {
    rds::StationSettings next = station_.Settings();
    next.pty = count % 32;
    station_.Change(next, count < 20 ? "PTY" : "TP", [](const auto&) {});
    if (++count == 40) return;
    tick.expires_at(start + count * 10ms);
    tick.async_wait([&change](const std::error_code&) { change(); });
  };
  change();
  RunUntil([this] { return station_.Status().rfind("STATUS none", 0) != 0; });
  const std::string log = Log();
  EXPECT_NE(log.find(" send changes=PTY "), std::string::npos) << log;
}

// Automation repeats PS with every song: a value that leaves the data on air as it is is
// answered and sends nothing, so repeats never reload the encoder nor spend its budget.
TEST_F(StationRun, AChangeThatChangesNothingIsAnsweredAndNotSent) {
  station_.RequestSend();  // SEND sends the state as it is
  io_.run_for(1s);         // until that send runs
  std::vector<std::optional<std::string>> answers;
  for (int i = 0; i < 3; ++i) {
    station_.Change(station_.Settings(), "PS", [&answers](const auto& a) { answers.push_back(a); });
  }
  bool stopped = false;
  station_.Stop([&stopped](bool) { stopped = true; });
  RunUntil([&stopped] { return stopped; });
  EXPECT_EQ(answers, std::vector<std::optional<std::string>>(3, std::nullopt));
  const std::string log = Log();
  ASSERT_NE(log.find(" send changes=SEND "), std::string::npos) << log;
  EXPECT_EQ(log.rfind(" send changes="), log.find(" send changes=SEND ")) << log;
}

// Timers count from the last time a client set something, a repeat included: the TA
// time-out from the last TA=1, the fallback from the last change. The fallback takes PS, PTY
// and TA back, and nothing else.
TEST_F(StationRun, TaTimeOutAndFallbackCountFromTheLastChange) {
  ServeStation station{io_, {}, {std::nullopt, 2s, 0, 3s, std::nullopt}, worker_, *log_};
  rds::StationSettings song = station.Settings();
  std::tie(song.ps, song.pty, song.ta, song.pi, song.ms) =
      std::make_tuple("SONG", 10, 1, "2A07", 0);
  io_.run_for(1200ms);  // the timers keep it running
  station.Change(song, "PS,PTY,TA,PI,MS", nullptr);
  io_.run_for(1200ms);
  const Clock::time_point last = Clock::now();
  station.Change(song, "TA", nullptr);  // the same again
  RunUntil([&station] { return station.Settings().ta == 0; });
  EXPECT_GE(Clock::now() - last, 2s) << "TA back to 0 too early";
  EXPECT_EQ(station.Settings().ps, "SONG");
  RunUntil([&station] { return station.Settings().ps != "SONG"; });
  EXPECT_GE(Clock::now() - last, 3s) << "the fallback came too early";
  const rds::StationSettings& now = station.Settings();
  EXPECT_EQ(std::tie(now.ps, now.pty, now.ta, now.pi, now.ms),
            std::make_tuple("FM RADIO", 0, 0, "2A07", 0));
}

// A mismatch on air is sent once more, the next one raises the alarm; a change (not a
// repeat of the same values) earns a resend of its own and ends the alarm.
TEST_F(StationRun, EachNewStateEarnsOneResendBeforeTheAlarm) {
  const std::vector<receiver::FieldDifference> ps = {{receiver::Field::kPs, "OTHER", "FM RADIO"}};
  station_.OnAir(receiver::AirEvent::kMismatch, ps);
  station_.OnAir(receiver::AirEvent::kMismatch, ps);
  station_.Change(station_.Settings(), "PS", nullptr);
  EXPECT_NE(station_.Status().find(" ALARM"), std::string::npos) << "a repeat ended the alarm";
  rds::StationSettings next = station_.Settings();
  next.ps = "NEW";
  station_.Change(next, "PS", nullptr);
  EXPECT_EQ(station_.Status().find(" ALARM"), std::string::npos);
  station_.OnAir(receiver::AirEvent::kMismatch, ps);
  const std::string log = Log();
  EXPECT_NE(log.find("; sending once more"), log.rfind("; sending once more")) << log;
  EXPECT_EQ(log.find("ALARM on air"), log.rfind("ALARM on air")) << log;
}

// The monitor's levels in STATUS, and a line in the log when those outside their limits
// change; RDS injection too low raises rds-level after the trip delay, back at its limit it
// clears after the clear delay, and levels that say nothing (unscaled) leave it as it is.
TEST_F(StationRun, ShowsTheLevelsAndLogsThoseOutsideTheirLimits) {
  Alarms();
  receiver::Levels levels;
  levels.scaled = true;
  levels.pilot_khz = 6.75;
  levels.rds_khz = 3.4;
  levels.peak_khz = 74.96;
  levels.over_percent = 0.05;
  levels.mpx_power_dbr = -0.44;
  levels.block_errors_percent = 1.3;
  const auto at = std::chrono::system_clock::time_point{} + 14h + 3min + 20s;
  station_.OnLevels(levels, at);
  EXPECT_NE(station_.Status().find(" LEVELS=pilot:6.75kHz,rds:3.40kHz,peak:75.0kHz,over75kHz:"
                                   "0.05%,mpx:-0.4dBr,bler:1.3% 14:03:20"),
            std::string::npos)
      << station_.Status();
  levels.rds_khz = 1.5;
  station_.OnLevels(levels, at);
  station_.OnLevels(levels, at);
  const auto tripped = Until("CONDITIONS=rds-level", true);
  EXPECT_GE(tripped, 250ms);
  EXPECT_LT(tripped, 2s);
  levels.scaled = false;
  station_.OnLevels(levels, at);
  EXPECT_GE(Until("CONDITIONS=", false), 2500ms) << "unscaled levels cleared the condition";
  levels.scaled = true;
  levels.rds_khz = 2;
  station_.OnLevels(levels, at);
  const auto cleared = Until("CONDITIONS=", false);
  EXPECT_GE(cleared, 150ms);
  EXPECT_LT(cleared, 2s);
  levels.scaled = false;
  station_.OnLevels(levels, at);
  EXPECT_NE(station_.Status().find(" LEVELS=unscaled,bler:1.3% 14:03:20"), std::string::npos);
  const std::string log = Log();
  EXPECT_NE(log.find("Z levels outside limits: RDS injection 1.50 kHz, below 2.0 kHz\n"),
            std::string::npos);
  EXPECT_EQ(log.find("outside limits"), log.rfind("outside limits")) << log;
  EXPECT_NE(log.find("Z levels: back within limits\n"), std::string::npos) << log;
  EXPECT_NE(log.find("RECOVERY"), std::string::npos) << log;
}

// A confidence monitor is judged by its false alarms: no RDS, a weak signal and what comes
// while reception is poor raise no mismatch or pi-error; a PI received with evidence does.
TEST_F(StationRun, NoRdsAWeakSignalAndPoorReceptionRaiseNoFieldAlarm) {
  Alarms();
  using receiver::AirEvent, receiver::Field;
  station_.OnAir(AirEvent::kNoRds, {});
  station_.OnAir(AirEvent::kIncomplete, {{Field::kPs, "", "FM RADIO"}, {Field::kPi, "", "2A07"}});
  EXPECT_GE(Until("CONDITIONS=", true), 2500ms) << station_.Status();
  station_.OnReception({{Condition::kPoorReception, true, Fault{"poor reception", {}}}});
  station_.OnAir(AirEvent::kMismatch,
                 {{Field::kPs, "F?O", "FM RADIO"}, {Field::kPi, "2A0F", "2A07"}});
  EXPECT_LT(Until("CONDITIONS=poor-reception", true), 2s);
  EXPECT_GE(Until("CONDITIONS=poor-reception", false), 2500ms) << station_.Status();
  station_.OnReception({{Condition::kPoorReception, true, std::nullopt}});
  station_.OnAir(AirEvent::kChangedOnAir, {{Field::kPi, "C201", "2A07"}});
  EXPECT_LT(Until("CONDITIONS=pi-error", true), 2s);
  EXPECT_NE(Log().find(": PI on air 'C201', sent '2A07', since "), std::string::npos);
}

}  // namespace
}  // namespace serve
