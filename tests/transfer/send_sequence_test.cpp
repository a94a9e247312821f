#include "transfer/send_sequence.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "fakes.h"
#include "transfer/send_throttle.h"

namespace transfer {
namespace {

using namespace testing;

class SendSequenceTest : public ::testing::Test {
 protected:
  SendSequenceTest()
      : view(log), clock(At(10, 0, 0)), sequence(view, clock, pacer, [this] {
          ++choices;
          return std::make_unique<FakeLineDriver>(log, fail_at);
        }) {}

  int Count(const std::string& entry) const {
    return static_cast<int>(std::count(log.begin(), log.end(), entry));
  }
  int LineOps() const {
    return static_cast<int>(std::count_if(log.begin(), log.end(), [](const std::string& e) {
      return e == "reset" || e.rfind("high", 0) == 0 || e.rfind("low", 0) == 0;
    }));
  }

  Log log;
  FakeView view;
  FakeTimeOfDay clock;
  FakePacer pacer;
  int fail_at = -1;
  int choices = 0;
  SendSequence sequence;
};

TEST_F(SendSequenceTest, ThrottleCountsWholeSecondsFromTheEndOfTheLastSend) {
  clock.Set(At(10, 0, 1, 500));
  EXPECT_FALSE(sequence.UPClick()) << "within two seconds of start-up";
  EXPECT_TRUE(log.empty());

  clock.Set(At(10, 0, 2, 500));
  EXPECT_TRUE(sequence.UPClick());
  EXPECT_EQ(sequence.TimeOfLastSend(), At(10, 0, 2, 500));

  clock.Set(At(10, 0, 4, 0));  // 1.5 s later
  log.clear();
  EXPECT_FALSE(sequence.UPClick());
  EXPECT_TRUE(log.empty()) << "an ignored press touches nothing, not even the cursor";

  clock.Set(At(10, 0, 5, 0));  // 2.5 s later
  EXPECT_TRUE(sequence.UPClick());
  EXPECT_EQ(choices, 2);
}

TEST_F(SendSequenceTest, TheTimeOfLastSendIsTakenAfterTheTransfer) {
  clock.Set(At(10, 0, 5));
  view.on_progress = [this](int position) {
    if (position == 56) clock.Set(At(10, 0, 8));
  };
  ASSERT_TRUE(sequence.UPClick());
  EXPECT_EQ(sequence.TimeOfLastSend(), At(10, 0, 8));
}

TEST_F(SendSequenceTest, APressAfterMidnightFollowingASendBeforeItIsAccepted) {
  clock.Set(At(23, 59, 59));
  ASSERT_TRUE(sequence.UPClick());
  clock.Set(At(0, 0, 0));
  EXPECT_TRUE(sequence.UPClick());
}

TEST(SendThrottle, ComparesTimesOfDayByWholeSecondsEitherWay) {
  EXPECT_FALSE(PressAccepted(At(12, 0, 0), At(12, 0, 1, 999)));
  EXPECT_TRUE(PressAccepted(At(12, 0, 0), At(12, 0, 2)));
  EXPECT_FALSE(PressAccepted(At(12, 0, 0), At(11, 59, 58, 1)));  // clock set back 1.999 s
  EXPECT_TRUE(PressAccepted(At(12, 0, 0), At(11, 59, 58)));      // set back 2 s
  EXPECT_TRUE(PressAccepted(At(23, 59, 59, 999), At(0, 0, 0, 0)));
  EXPECT_FALSE(PressAccepted(At(0, 0, 0), At(0, 0, 0)));
}

TEST_F(SendSequenceTest, StepsRunInOrderAroundTheTransfer) {
  sequence.UploadRDS();
  auto at = [this](const std::string& entry) {
    return std::find(log.begin(), log.end(), entry) - log.begin();
  };
  EXPECT_EQ(log.front(), "cursor busy");
  EXPECT_EQ(log[1], "read");
  EXPECT_EQ(log[2], "write back FFFF");
  EXPECT_EQ(log[3], "messages");
  EXPECT_EQ(log[4], "reset");
  EXPECT_EQ(log[5], "progress 1");
  const Log tail(log.end() - 5, log.end());
  EXPECT_EQ(tail, (Log{"reset", "read", "show", "progress 0", "cursor default"}));
  EXPECT_LT(at("progress 55"), at("progress 56"));
  EXPECT_EQ(Count("progress 56"), 1);
  EXPECT_EQ(LineOps(), 898);
  EXPECT_FALSE(view.busy);
  EXPECT_EQ(view.progress, 0);
}

TEST_F(SendSequenceTest, RecordOfTheDefaultWindow) {
  sequence.UploadRDS();
  const LastSentRecord expected = {
      "PS=FM RADIO", "PTY=0", "TP=1", "TA=0", "AF1=", "AF2=",    "AF3=",
      "AF4=",        "AF5=",  "AF6=", "AF7=", "MS=1", "PI=FFFF", "DI=0000"};
  EXPECT_EQ(sequence.LastSent(), expected);
  EXPECT_EQ(view.shown, expected);
}

TEST_F(SendSequenceTest, RecordShowsTheCorrectedTextsAsTheBoxesHoldThem) {
  view.settings.pi = "12A";
  view.settings.af = {"", "98.5", "120", "87.6", "", "", ""};
  view.settings.ps =
      "r\xE1"
      "dio";
  sequence.UploadRDS();
  EXPECT_EQ(view.settings.pi, "FFFF");
  EXPECT_EQ(sequence.LastSent()[12], "PI=FFFF");
  EXPECT_EQ(sequence.LastSent()[4], "AF1=98.5");
  EXPECT_EQ(sequence.LastSent()[5], "AF2=87.6");
  EXPECT_EQ(sequence.LastSent()[6], "AF3=");
  EXPECT_EQ(sequence.LastSent()[0],
            "PS=r\xE1"
            "dio")
      << "case and length kept";
}

TEST_F(SendSequenceTest, RecordIsReadFromTheControlsAfterTheTransfer) {
  view.on_progress = [this](int position) {
    if (position == 30) view.settings.ps = "CHANGED";
  };
  sequence.UploadRDS();
  EXPECT_EQ(sequence.LastSent()[0], "PS=CHANGED");
}

TEST(LastSentRecord, ListsAndDIFlags) {
  rds::StationSettings settings;
  settings.pty = -1;
  settings.ms = 0;
  settings.ps = "";
  settings.di = {true, false, false, false};  // Stereo
  LastSentRecord record = BuildLastSentRecord(settings);
  EXPECT_EQ(record[0], "PS=");
  EXPECT_EQ(record[1], "PTY=-1");
  EXPECT_EQ(record[11], "MS=0");
  EXPECT_EQ(record[13], "DI=0001");
  settings.di = {false, false, false, true};  // DPTY
  EXPECT_EQ(BuildLastSentRecord(settings)[13], "DI=1000");
  settings.di = {false, true, true, false};  // Art. H., Comp.
  settings.pty = 31;
  record = BuildLastSentRecord(settings);
  EXPECT_EQ(record[13], "DI=0110");
  EXPECT_EQ(record[1], "PTY=31");
  // Read back, as the window's monitor does with the record of its last send.
  settings.af = {"98.5", "", "87,6", "", "", "", ""};
  record = BuildLastSentRecord(settings);
  const auto back = SettingsOfRecord(record);
  ASSERT_TRUE(back);
  EXPECT_EQ(BuildLastSentRecord(*back), record);
  EXPECT_EQ(back->di, settings.di);
  EXPECT_FALSE(SettingsOfRecord(LastSentRecord{}));
  record[13] = "DI=01";
  EXPECT_FALSE(SettingsOfRecord(record));
}

TEST_F(SendSequenceTest, ALineErrorMidImageKeepsRecordAndTimeAndStopsTheLines) {
  clock.Set(At(10, 0, 5));
  ASSERT_TRUE(sequence.UPClick());
  const LastSentRecord before = sequence.LastSent();
  const TimeOfDay sent_at = sequence.TimeOfLastSend();

  view.settings.ps = "NEW NAME";
  fail_at = 400;
  clock.Set(At(10, 0, 9));
  log.clear();
  const int waits_before = pacer.waits();
  try {
    sequence.UPClick();
    FAIL() << "no error";
  } catch (const LineError& e) {
    EXPECT_STREQ(e.what(), "Error calling comm function (5), Access denied");
  }
  EXPECT_EQ(LineOps(), 400);
  // One wait before each of the 399 edges and the failing one, one at the end of each of
  // the 24 finished runs; none after the failing operation.
  EXPECT_EQ(pacer.waits() - waits_before, 400 + 24) << "no pause after the failing operation";
  EXPECT_EQ(sequence.LastSent(), before);
  EXPECT_EQ(sequence.TimeOfLastSend(), sent_at);
  EXPECT_EQ(Count("show"), 0);
  EXPECT_EQ(Count("read"), 1) << "no record step";
  // The hourglass and the bar do not stay behind.
  EXPECT_FALSE(view.busy);
  EXPECT_EQ(view.progress, 0);
  EXPECT_EQ(log.back(), "cursor default");

  // The throttle still counts from the last completed send.
  fail_at = -1;
  EXPECT_TRUE(sequence.UPClick());
}

TEST_F(SendSequenceTest, AFailedDriverChoiceClocksNothingAndKeepsTheRecord) {
  LastSentRecord loaded;
  loaded.fill("X=");
  SendSequence failing(view, clock, pacer, []() -> std::unique_ptr<LineDriver> {
    throw LineError("Can't access parallel port LPT1 (0x378).");
  });
  failing.SetLastSent(loaded);
  clock.Set(At(10, 0, 5));
  EXPECT_THROW(failing.UPClick(), LineError);
  EXPECT_EQ(LineOps(), 0);
  EXPECT_EQ(pacer.waits(), 0);
  EXPECT_EQ(failing.LastSent(), loaded);
  EXPECT_EQ(failing.TimeOfLastSend(), At(10, 0, 0));
  EXPECT_FALSE(view.busy);
  EXPECT_EQ(view.progress, 0);
}

TEST_F(SendSequenceTest, APressWhileMessagesRunDuringASendIsIgnored) {
  clock.Set(At(10, 0, 5));
  bool nested = true;
  view.on_messages = [&] { nested = sequence.UPClick(); };
  EXPECT_TRUE(sequence.UPClick());
  EXPECT_FALSE(nested);
  EXPECT_EQ(choices, 1);
  EXPECT_EQ(LineOps(), 898);
}

}  // namespace
}  // namespace transfer
