// The alarm conditions on a scripted clock, the events' delivery to commands, and the
// history read back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "serve/alarm_conditions.h"
#include "serve/alarm_delivery.h"
#include "serve/history_file.h"
#include "serve/history_reader.h"
#include "serve/reception_watch.h"

namespace serve {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(AlarmConditions, EveryNameIsKnownBothWays) {
  for (std::size_t i = 0; i < kConditionCount; ++i) {
    const auto c = static_cast<Condition>(i);
    EXPECT_EQ(ConditionNamed(ConditionName(c)), c) << ConditionName(c);
  }
  EXPECT_EQ(ConditionNamed("poor-reception"), Condition::kPoorReception);
  EXPECT_EQ(ConditionNamed("mpx-power"), Condition::kMpxPower);
  EXPECT_EQ(ConditionNamed("alarm"), std::nullopt);
}

// A script of measurements at given seconds, with trip 30 s and clear 10 s, and what each
// step raises (+name) or clears (-name/seconds it lasted).
TEST(AlarmConditions, TripAndClearDelaysHoldWithoutChatterAndPoorReceptionJudgesNothing) {
  enum Act { kFault, kClear, kUnknown, kTick };
  struct Step {
    double at_s;
    Condition condition;
    Act act;
    std::string changes;
  };
  const Condition mm = Condition::kMismatch, pi = Condition::kPiError,
                  poor = Condition::kPoorReception, rds = Condition::kRdsLost;
  const std::vector<Step> script = {
      {0, mm, kFault, ""},
      {29.9, mm, kTick, ""},  // a moment short of the trip delay
      {30, mm, kTick, "+mismatch"},
      {31, mm, kFault, ""},  // still there: nothing new
      {40, mm, kClear, ""},
      {49.9, mm, kTick, ""},
      {50, mm, kFault, ""},  // back within the clear delay: it never cleared
      {55, mm, kClear, ""},
      {65, mm, kTick, "-mismatch/55"},  // lasted from 0 to 55
      {100, mm, kFault, ""},
      {120, mm, kClear, ""},
      {125, mm, kFault, ""},  // the trip delay starts over
      {150, mm, kTick, ""},
      {155, mm, kTick, "+mismatch"},
      // Poor reception: PI measurements are no evidence, a raised mismatch stays.
      {200, poor, kFault, ""},
      {200, pi, kFault, ""},
      {215, mm, kClear, ""},
      {230, poor, kTick, "+poor-reception"},
      {260, pi, kFault, ""},
      {300, poor, kClear, ""},
      {300, pi, kFault, ""},
      {310, poor, kTick, "-poor-reception/100"},
      {329, pi, kTick, ""},
      {330, pi, kTick, "+pi-error"},
      {330, mm, kClear, ""},
      {340, mm, kTick, "-mismatch/205"},  // from 125
      // A measurement that can say nothing holds: no trip while it lasts, none dropped.
      {400, rds, kFault, ""},
      {420, rds, kUnknown, ""},
      {435, rds, kTick, ""},
      {440, rds, kFault, "+rds-lost"},  // seen before and after: since 400
      {480, rds, kUnknown, ""},
      {600, rds, kTick, ""},
  };
  AlarmConditions conditions({30s, 10s});
  const Moment start = Moment::Now();
  for (const Step& step : script) {
    const Moment now = start + std::chrono::milliseconds(static_cast<long>(step.at_s * 1000));
    std::vector<ConditionChange> changes;
    switch (step.act) {
      case kFault:
        changes = conditions.Observe(step.condition, Fault{"wrong", {}}, now);
        break;
      case kClear:
        changes = conditions.Observe(step.condition, std::nullopt, now);
        break;
      case kUnknown:
        changes = conditions.Unknown(step.condition, now);
        break;
      case kTick:
        changes = conditions.Tick(now);
        break;
    }
    std::string seen;
    for (const ConditionChange& c : changes) {
      seen += (c.raised ? "+" : "-") + std::string(ConditionName(c.condition));
      if (!c.raised) {
        seen += "/" + std::to_string(std::chrono::duration_cast<std::chrono::seconds>(
                                         c.ended->steady - c.since.steady)
                                         .count());
      }
    }
    EXPECT_EQ(seen, step.changes) << "at " << step.at_s << " s";
  }
  const auto active = conditions.Active();
  ASSERT_EQ(active.size(), 2U);
  EXPECT_EQ(active[0].condition, rds);
  EXPECT_EQ(active[1].condition, pi);
  EXPECT_EQ(active[1].since.steady, (start + 300s).steady);
}

// Blocks at a share of the full rate (45.67 per second) for 30 s of signal, with or without
// the pilot at the end: what the decoder's counts say about reception.
TEST(ReceptionWatch, PoorReceptionNeedsAWholeWindowOfMostBlocksLostButSomeReceived) {
  struct Case {
    double good_share;
    bool pilot_at_end;
    bool poor, rds_lost, pilot_lost;
  };
  const std::vector<Case> cases = {
      {1.0, true, false, false, false}, {0.52, true, false, false, false},
      {0.48, true, true, false, false}, {0.01, false, true, false, true},
      {0.0, false, false, true, true},
  };
  for (const Case& c : cases) {
    ReceptionWatch watch;
    receiver::DecoderStats stats;
    for (int tenth = 0; tenth <= 300; ++tenth) {
      const ReceptionWatch::Position at(tenth / 10.0);
      stats.blocks_received = static_cast<std::uint64_t>(at.count() * 1187.5 / 26 * c.good_share);
      stats.pilot = tenth < 200 || c.pilot_at_end;
      if (stats.blocks_received > 0) watch.Group(at);
      watch.Stats(stats, at);
      if (tenth == 190) EXPECT_FALSE(watch.PoorReception()) << "less than a window so far";
    }
    EXPECT_EQ(watch.PoorReception().has_value(), c.poor) << c.good_share;
    EXPECT_EQ(watch.RdsLost().has_value(), c.rds_lost) << c.good_share;
    EXPECT_EQ(watch.PilotLost().has_value(), c.pilot_lost) << c.good_share;
  }
  ReceptionWatch mono;  // a pilot never seen is not lost; RDS gone for 10 s of signal is
  receiver::DecoderStats stats;
  mono.Group(ReceptionWatch::Position(5));
  mono.Stats(stats, ReceptionWatch::Position(14.9));
  EXPECT_FALSE(mono.RdsLost());
  mono.Stats(stats, ReceptionWatch::Position(15));
  EXPECT_TRUE(mono.RdsLost());
  EXPECT_FALSE(mono.PilotLost());
  // A command just started again: before a group or 10 s of signal, and before a whole
  // window, RDS and reception are not known (an active rds-lost must not start to clear).
  ReceptionWatch fresh;
  fresh.Stats(stats, ReceptionWatch::Position(9.9));
  for (const Measurement& m : ReceptionMeasurements(fresh))
    EXPECT_EQ(m.known, m.condition == Condition::kPilotLost) << ConditionName(m.condition);
}

// On each system's shell: the event on standard input and in the environment, the exit
// status, and a command that does not end in time ended.
TEST(RunAlarmCommand, GivesTheEventAndTellsHowTheCommandEnded) {
  AlarmEvent event;
  event.kind = EventKind::kRecovery;
  event.condition = Condition::kSendFailed;
#if defined(_WIN32)
  const std::string echo = "more & echo %RDSQ7_EVENT%/%RDSQ7_CONDITION%& exit /b 3";
  const std::string hang = "ping -n 30 127.0.0.1 >NUL";
#else
  const std::string echo = "cat; echo $RDSQ7_EVENT/$RDSQ7_CONDITION; exit 3";
  const std::string hang = "sleep 30";
#endif
  const app::CommandResult done = RunAlarmCommand(echo, event, "studio", 10s);
  EXPECT_EQ(done.exit_status, 3);
  EXPECT_FALSE(done.Succeeded());
  EXPECT_NE(done.output.find("{\"event\":\"recovery\",\"condition\":\"send-failed\""),
            std::string::npos)
      << done.output;
  EXPECT_NE(done.output.find("recovery/send-failed"), std::string::npos) << done.output;
  const auto start = std::chrono::steady_clock::now();
  const app::CommandResult hung = RunAlarmCommand(hang, event, "studio", 500ms);
  EXPECT_TRUE(hung.timed_out);
  EXPECT_EQ(hung.ending, "ended after 500 ms");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}

#if !defined(_WIN32)
class AlarmDeliveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("rdsq7-alarms-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static std::string Read(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // Waits for a file to hold text.
  static bool Holds(const std::string& path, const std::string& text) {
    for (int i = 0; i < 200; ++i) {
      if (Read(path).find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(25ms);
    }
    return false;
  }

  fs::path dir_;
  std::ostringstream log_text_;
};

AlarmEvent Alarm(EventKind kind = EventKind::kAlarm) {
  AlarmEvent event;
  event.kind = kind;
  event.condition = Condition::kMismatch;
  event.time = std::chrono::system_clock::now();
  event.since = event.time - 40s;
  event.fault = {"PS on air 'ABCDEFGH', sent 'RADIO 1'", {{"PS", "ABCDEFGH", "RADIO 1"}}};
  return event;
}

TEST_F(AlarmDeliveryTest, TheCommandGetsTheEventAsJsonAndInItsEnvironment) {
  {
    ServeLog log(log_text_);
    AlarmDelivery delivery({"cat > " + Path("in") + "; echo \"$RDSQ7_EVENT|$RDSQ7_CONDITION|" +
                            "$RDSQ7_INSTANCE|$RDSQ7_SUMMARY\" > " + Path("env")},
                           "studio", log);
    delivery.Post(Alarm());
    ASSERT_TRUE(Holds(Path("env"), "\n"));
  }
  const auto json = nlohmann::json::parse(Read(Path("in")));
  EXPECT_EQ(json["event"], "alarm");
  EXPECT_EQ(json["condition"], "mismatch");
  EXPECT_EQ(json["instance"], "studio");
  EXPECT_EQ(json["fields"][0]["on_air"], "ABCDEFGH");
  EXPECT_FALSE(json.contains("duration_s"));
  const std::string env = Read(Path("env"));
  EXPECT_EQ(env.substr(0, env.find("since")),
            "alarm|mismatch|studio|ALARM studio: PS on air 'ABCDEFGH', sent 'RADIO 1', ");
}

TEST_F(AlarmDeliveryTest, AFailureIsTriedAgainAndAHangingCommandEnded) {
  DeliveryOptions quick;
  quick.retry_pauses = {10ms, 20ms, 40ms};
  quick.timeout = 300ms;
  {
    ServeLog log(log_text_);
    // Fails twice, then works; always fails; hangs.
    AlarmDelivery delivery(
        {"echo x >> " + Path("tries") + "; [ $(wc -l < " + Path("tries") + ") -ge 3 ]",
         "echo x >> " + Path("fails") + "; echo no mail server; exit 7",
         "echo x >> " + Path("hangs") + "; sleep 30"},
        "studio", log, quick);
    delivery.Post(Alarm());
    for (const char* file : {"tries", "fails", "hangs"})
      ASSERT_TRUE(Holds(Path(file), "x\nx\nx\n"));
    ASSERT_TRUE(Holds(Path("fails"), "x\nx\nx\nx\n"));
    ASSERT_TRUE(Holds(Path("hangs"), "x\nx\nx\nx\n"));
  }
  const std::string log = log_text_.str();
  EXPECT_EQ(Read(Path("tries")), "x\nx\nx\n");
  EXPECT_NE(log.find("alarm command 1: alarm mismatch delivered at try 3"), std::string::npos)
      << log;
  EXPECT_NE(log.find("alarm command 2: alarm mismatch failed: exited with status 7: no mail "
                     "server; trying again in 10 ms"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("alarm command 2: alarm mismatch failed: exited with status 7: no mail "
                     "server; given up"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("alarm command 3: alarm mismatch failed: ended after 300 ms; given up"),
            std::string::npos)
      << log;
}

TEST_F(AlarmDeliveryTest, AFullQueueDropsHeartbeatsFirstAndAlarmsOnlyPastItsHardLimit) {
  using K = EventKind;
  struct Case {
    std::vector<EventKind> posted;  // while the command is busy with a test event
    std::string delivered;
  };
  // Two wait at most, three alarms and recoveries.
  const std::vector<Case> cases = {
      {{K::kHeartbeat, K::kStart, K::kAlarm, K::kHeartbeat}, "test start alarm "},
      {{K::kTest, K::kHeartbeat, K::kRecovery}, "test test recovery "},
      {{K::kHeartbeat, K::kAlarm, K::kRecovery, K::kAlarm, K::kRecovery},
       "test recovery alarm recovery "},
  };
  DeliveryOptions small;
  small.queue_limit = 2;
  small.hard_limit = 3;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const std::string n = std::to_string(i);
    {
      ServeLog log(log_text_);
      // The first event waits until the queue has been filled.
      AlarmDelivery delivery(
          {"[ -e " + Path("go" + n) + " ] || { touch " + Path("busy" + n) + "; while [ ! -e " +
           Path("go" + n) + " ]; do sleep 0.02; done; }; printf '%s ' $RDSQ7_EVENT >> " +
           Path("got" + n)},
          "studio", log, small);
      delivery.Post(Alarm(K::kTest));
      while (!fs::exists(Path("busy" + n))) std::this_thread::sleep_for(10ms);
      for (const EventKind kind : cases[i].posted) delivery.Post(Alarm(kind));
      std::ofstream(Path("go" + n)).put('\n');
      ASSERT_TRUE(Holds(Path("got" + n), cases[i].delivered));
    }
    EXPECT_EQ(Read(Path("got" + n)), cases[i].delivered) << i;
  }
}
#endif

TEST(History, ReadsBackWhatWasWrittenSkipsATornLineAndSumsUpTheTimeOnAir) {
  const fs::path file = fs::temp_directory_path() / "rdsq7-history-test.jsonl";
  fs::remove(file);
  fs::remove(fs::path(file).concat(".1"));
  const auto t0 =
      std::chrono::system_clock::time_point(std::chrono::sys_days(std::chrono::year_month_day(
          std::chrono::year(2026), std::chrono::month(3), std::chrono::day(1))));
  const auto at = [&](int s) {
    return "\"time\":\"" + IsoTime(t0 + std::chrono::seconds(s)) + "\"";
  };
  {
    std::ofstream out(file);
    out << "{" << at(0) << ",\"type\":\"start\",\"monitor\":true}\n"
        << "{" << at(10) << ",\"type\":\"verdict\",\"verdict\":\"confirmed\"}\n"
        << "{" << at(100) << ",\"type\":\"verdict\",\"verdict\":\"mismatch\"}\n"
        << "{" << at(130) << ",\"type\":\"alarm\",\"condition\":\"mismatch\"}\n"
        << "{" << at(150) << ",\"type\":\"verdict\",\"verdict\":\"checking\"}\n"
        << "{" << at(160) << ",\"type\":\"verdict\",\"verdict\":\"confirmed\"}\n"
        << "{" << at(200) << ",\"type\":\"verdict\",\"verdict\":\"no-rds\"}\n"  // then a crash
        << "{" << at(1000) << ",\"type\":\"start\",\"monitor\":true}\n"
        << "{" << at(1010) << ",\"type\":\"verdict\",\"verdict\":\"confirmed\"}\n"
        << "{" << at(1100) << ",\"type\":\"stop\"}\n"
        << "{" << at(1200) << ",\"type\":\"start\",\"monitor\":false}\n"
        << "{" << at(1300) << ",\"type\":\"alarm\",\"con";  // cut short by a crash
  }
  {
    // A line written after the torn one stands on its own.
    std::ostringstream log_text;
    ServeLog log(log_text);
    HistoryFile(file, log).Write("stop");
  }
  const History history = ReadHistory(file);
  EXPECT_EQ(history.skipped, 1U);
  ASSERT_EQ(history.records.size(), 12U);
  EXPECT_EQ(history.records.back().type, "stop");

  struct Case {
    int from, until;
    int monitored, on_air, outage_start, outage;
    int alarms;
  };
  const std::vector<Case> cases = {
      // 0-200 and 1000-1100 monitored; confirmed 10-100, 160-200, 1010-1100; the outage
      // 100-160; the one from 200 ends with its run at 200 (no record after it).
      {0, 2000, 300, 220, 100, 60, 1},
      {120, 2000, 180, 130, 120, 40, 1},  // the outage clipped to the stretch asked for
      {140, 2000, 160, 130, 140, 20, 0},
  };
  for (const Case& c : cases) {
    const HistorySummary s = SummarizeHistory(history, t0 + std::chrono::seconds(c.from),
                                              t0 + std::chrono::seconds(c.until));
    EXPECT_EQ(s.monitored, std::chrono::seconds(c.monitored)) << c.from;
    EXPECT_EQ(s.on_air, std::chrono::seconds(c.on_air)) << c.from;
    ASSERT_TRUE(s.longest_outage) << c.from;
    EXPECT_EQ(s.longest_outage->start, t0 + std::chrono::seconds(c.outage_start)) << c.from;
    EXPECT_EQ(s.longest_outage->length, std::chrono::seconds(c.outage)) << c.from;
    EXPECT_EQ(s.alarms.count("mismatch") ? s.alarms.at("mismatch") : 0, c.alarms) << c.from;
  }
  fs::remove(file);
}

}  // namespace
}  // namespace serve
