#include "transfer/va_comm.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace transfer {
namespace {

using ::testing::ElementsAre;

// The system's serial calls, logged; one call can be made to fail with a code.
class FakeSerialSystem : public SerialSystem {
 public:
  FakeSerialSystem(std::vector<std::string>& log, std::string failing = "", int code = 0)
      : log_(log), failing_(std::move(failing)), code_(code) {}

  std::string DeviceFor(const std::string& name) override { return name; }
  int OpenDevice(const std::string& device, Handle& handle) override {
    handle = 7;
    return Call("open " + device);
  }
  int WriteDcb(Handle) override { return Call("dcb"); }
  int SetupBuffers(Handle) override { return Call("buffers"); }
  int SetTimeouts(Handle) override { return Call("timeouts"); }
  int SetEventMask(Handle) override { return Call("mask"); }
  int Escape(Handle, CommFunction function) override {
    static const char* const kNames[] = {"DTR+", "DTR-", "RTS+", "RTS-"};
    return Call(kNames[static_cast<int>(function)]);
  }
  void CloseDevice(Handle) override { log_.push_back("close"); }
  bool IsNotFound(int code) override { return code == 2; }
  std::string ErrorText(int code) override { return "text of " + std::to_string(code); }
  std::string OpenFailureCure(int) override { return ""; }

 private:
  int Call(const std::string& name) {
    log_.push_back(name);
    return name.starts_with(failing_) && !failing_.empty() ? code_ : 0;
  }
  std::vector<std::string>& log_;
  std::string failing_;
  int code_;
};

TEST(TVaComm, OpenAndCloseNeverRaiseALine) {
  std::vector<std::string> log;
  {
    TVaComm comm(std::make_unique<FakeSerialSystem>(log));
    comm.SetPortNum(2);
    comm.Open();
    EXPECT_TRUE(comm.Active());
    comm.SetPortNum(1);
    comm.Open();  // a second open closes the first port before it
    comm.Close();
    comm.Close();  // closed already: nothing
    comm.Open();
  }  // destroyed open: closed like Close
  const std::vector<std::string> open = {"open COM2", "dcb",  "buffers", "timeouts",
                                         "mask",      "DTR-", "RTS-"};
  std::vector<std::string> expected = open;
  for (const char* step : {"DTR-", "RTS-", "close"}) expected.push_back(step);
  for (int i = 0; i < 2; ++i) {
    for (std::string step : open) expected.push_back(step == "open COM2" ? "open COM1" : step);
    for (const char* step : {"DTR-", "RTS-", "close"}) expected.push_back(step);
  }
  EXPECT_EQ(log, expected);
}

TEST(TVaComm, EachFailingStepHasItsOwnTextAndLeavesThePortClosed) {
  struct Case {
    const char* step;
    int code;
    const char* message;
  };
  const Case cases[] = {
      {"open", 2, "Specified device not found (COM1)."},
      {"open", 5, "Can't open specified device COM1 (Error 5, text of 5)"},
      {"dcb", 87, "Error writing dcb (87), text of 87"},
      {"buffers", 8, "Error initializing buffers (8), text of 8"},
      {"timeouts", 6, "Error setting timeouts (6), text of 6"},
      {"mask", 1, " Error setting EventMask (1), text of 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    std::vector<std::string> log;
    TVaComm comm(std::make_unique<FakeSerialSystem>(log, c.step, c.code));
    try {
      comm.Open();
      ADD_FAILURE() << "opened";
    } catch (const EVaCommError& e) {
      EXPECT_STREQ(e.what(), c.message);
      EXPECT_EQ(e.ErrorCode(), c.code);
    }
    EXPECT_FALSE(comm.Active());
    // A device that opened is closed again, with no line touched.
    const bool opened = std::string(c.step) != "open";
    EXPECT_EQ(log.back(), opened ? "close" : "open COM1");
    EXPECT_EQ(std::count(log.begin(), log.end(), "close"), opened ? 1 : 0);
    comm.SetDtrLine(true);  // closed: nothing happens
    EXPECT_EQ(log.back(), opened ? "close" : "open COM1");
  }
}

TEST(TVaComm, LineCallsReachTheSystemAndItsRefusalIsAnError) {
  std::vector<std::string> log;
  TVaComm comm(std::make_unique<FakeSerialSystem>(log));
  comm.Open();
  log.clear();
  comm.SetDtrLine(true);
  comm.SetRtsLine(true);
  comm.SetRtsLine(false);
  comm.SetDtrLine(false);
  EXPECT_THAT(log, ElementsAre("DTR+", "RTS+", "RTS-", "DTR-"));

  std::vector<std::string> refused_log;
  TVaComm refused(std::make_unique<FakeSerialSystem>(refused_log, "RTS+", 22));
  refused.Open();
  try {
    refused.SetRtsLine(true);
    FAIL() << "no error";
  } catch (const EVaCommError& e) {
    EXPECT_STREQ(e.what(), "Error calling comm function (22), text of 22");
  }
  EXPECT_TRUE(refused.Active());
}

}  // namespace
}  // namespace transfer
