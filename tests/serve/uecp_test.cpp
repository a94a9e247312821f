#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serve/network.h"
#include "serve/uecp_frame.h"
#include "serve/uecp_messages.h"
#include "tests/serve/fake_station.h"

namespace serve {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::FakeStation;

Bytes Hex(const std::string& text) {
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    if (text[i] == ' ') {
      --i;
      continue;
    }
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

std::vector<UecpFrameResult> Read(const Bytes& stream) {
  std::vector<UecpFrameResult> frames;
  UecpFrameReader reader;
  reader.Feed(stream, [&](const UecpFrameResult& r) { frames.push_back(r); });
  return frames;
}

TEST(UecpFrame, CrcAndFramesMatchPublishedValues) {
  const std::string check = "123456789";
  EXPECT_EQ(UecpCrc(Bytes(check.begin(), check.end())), 0xD64E);
  EXPECT_EQ(EncodeUecpFrame(0, 0, {}), Hex("fe000000007b3fff"));
  EXPECT_EQ(EncodeUecpFrame(0, 0xFE, {}), Hex("fe0000fd01004bf1ff"));
  EXPECT_EQ(EncodeUecpFrame(0, 0xFD, {}), Hex("fe0000fd00001ea2ff"));
  EXPECT_EQ(EncodeUecpFrame(0, 0xFE, Hex("010000 00ff")), Hex("fe0000fd010501000000fd020d3dff"));
  EXPECT_EQ(EncodeUecpFrame(0, 0x2A, UecpAcknowledgement(UecpResponse::kOk, 0x2A)),
            Hex("fe00002a0218004ab0ff"));
}

TEST(UecpFrame, ReaderTakesGoodFramesAndNamesWhatIsWrongWithBadOnes) {
  struct Case {
    std::string stream;
    UecpResponse response;
    int sequence;
  };
  const std::vector<Case> cases = {
      {"fe000000007b3fff", UecpResponse::kOk, 0},
      {"11 22 fe0000fd01004bf1ff", UecpResponse::kOk, 0xFE},
      {"fe000000007b3eff", UecpResponse::kCrcError, 0},
      {"fe00000501007b3fff", UecpResponse::kCrcError, 5},
      {"fe0000fd07004bf1ff", UecpResponse::kBadStuffing, -1},
      {"fe0000ff", UecpResponse::kUnexpectedEnd, -1},
      {"fe000007 fe000000007b3fff", UecpResponse::kEndMessageMissing, 7},
      // sequence FD (FD 00) and PI 00FF (FD 02), worked out by hand from the layout
      {"fe0000fd000501000000fd02d5bfff", UecpResponse::kOk, 0xFD},
      {"fe00000902050000a0d5ff", UecpResponse::kFieldLengthError, 9},  // length 2, 3 bytes
  };
  for (const Case& c : cases) {
    const auto frames = Read(Hex(c.stream));
    ASSERT_FALSE(frames.empty()) << c.stream;
    EXPECT_EQ(frames[0].response, c.response) << c.stream;
    if (c.sequence >= 0) {
      EXPECT_EQ(frames[0].sequence, c.sequence) << c.stream;
    }
  }
  EXPECT_EQ(Read(Hex("fe0000fd000501000000fd02d5bfff"))[0].message, Hex("01 0000 00ff"));
  // A frame whose length byte disagrees with its size, CRC right.
  Bytes wrong_length = {0, 0, 9, 4, 0x05, 0, 0};
  const std::uint16_t crc = UecpCrc(wrong_length);
  wrong_length.insert(wrong_length.end(), {std::uint8_t(crc >> 8), std::uint8_t(crc & 0xFF)});
  wrong_length.insert(wrong_length.begin(), kUecpStart);
  wrong_length.push_back(kUecpStop);
  ASSERT_EQ(Read(wrong_length).size(), 1U);
  EXPECT_EQ(Read(wrong_length)[0].response, UecpResponse::kFieldLengthError);

  Bytes huge = {kUecpStart};
  huge.insert(huge.end(), 100000, 0x41);
  huge.push_back(kUecpStop);
  ASSERT_EQ(Read(huge).size(), 1U);
  EXPECT_EQ(Read(huge)[0].response, UecpResponse::kBufferOverflow);
}

TEST(UecpFrame, AddressFilter) {
  const UecpAddress ours{5, 3};
  EXPECT_TRUE(UecpAddressedTo(5 << 6 | 3, std::nullopt));
  EXPECT_TRUE(UecpAddressedTo(5 << 6 | 3, ours));
  EXPECT_TRUE(UecpAddressedTo(0, ours));
  EXPECT_TRUE(UecpAddressedTo(5 << 6, ours));
  EXPECT_TRUE(UecpAddressedTo(3, ours));  // every site, our encoder
  EXPECT_FALSE(UecpAddressedTo(4, ours));
  EXPECT_FALSE(UecpAddressedTo(6 << 6 | 3, ours));
  EXPECT_FALSE(UecpAddressedTo(5 << 6 | 4, ours));
}

TEST(UecpMessages, ElementsSetTheFieldsTheyCarry) {
  FakeStation station;
  // PI 2A07; PS "R" á "dio" in table codes (á is 0x80); TA 1 TP 1; DI stereo + artificial head; MS
  // speech; PTY 10; AF 98.5 (code 110) and 87.6 (code 1), then a filler.
  const Bytes message =
      Hex("01 0000 2a07"
          "02 0000 52 80 64 69 6f 20 20 20"
          "03 0000 03"
          "04 0000 03"
          "05 0000 00"
          "07 0000 0a"
          "13 0000 04 e2 6e 01 cd");
  ASSERT_EQ(ApplyUecpMessage(message, station), UecpResponse::kOk);
  ASSERT_EQ(station.changes, std::vector<std::string>{"PI,PS,TA,TP,DI,MS,PTY,AF"});
  const rds::StationSettings& s = station.settings;
  EXPECT_EQ(s.pi, "2A07");
  EXPECT_EQ(s.ps,
            "R\xE1"
            "dio");
  EXPECT_EQ(s.ta, 1);
  EXPECT_EQ(s.tp, 1);
  EXPECT_EQ((std::array<bool, 4>{true, true, false, false}), s.di);
  EXPECT_EQ(s.ms, 0);
  EXPECT_EQ(s.pty, 10);
  EXPECT_EQ(s.af, (rds::AfTexts{"98.5", "87.6"}));
}

// What takes effect, and the answer: the main service (PSN 0) of the data set on air; an
// element this encoder does not carry is passed over; a malformed one refuses the frame.
TEST(UecpMessages, OnlyTheMainServiceOnAirChangesAndBadFramesChangeNothing) {
  struct Case {
    std::string message;
    UecpResponse response;
    std::string changed;
  };
  const std::vector<Case> cases = {
      {"03 0000 01", UecpResponse::kOk, "TA,TP"},
      {"13 0000 08 e7 01 02 03 04 05 06 07", UecpResponse::kOk, "AF"},  // seven AFs
      {"01 0000 1234 01 0002 abcd", UecpResponse::kOk, "PI"},           // and an EON PI
      {"01 0002 abcd", UecpResponse::kServiceNumberError, ""},
      {"07 fe00 05", UecpResponse::kOk, ""},  // all data sets but the one on air
      {"07 0500 05", UecpResponse::kDataSetNumberError, ""},
      {"07 ff00 05", UecpResponse::kOk, "PTY"},
      {"0a 0000 03 00 48 49 02 0000 41 42 43 44 45 46 47 48", UecpResponse::kOk, "PS"},
      {"0a 0000 03 00 48 49", UecpResponse::kMessageUnknown, ""},
      {"0d 01 02 03 04 05 06 07 08", UecpResponse::kMessageUnknown, ""},  // clock time
      {"07 0000 20", UecpResponse::kParameterOutOfRange, ""},
      {"01 0000 1234 07 0000 20", UecpResponse::kParameterOutOfRange, ""},
      {"01 0000 12", UecpResponse::kElementLengthError, ""},
      {"13 0000 02 e9 01", UecpResponse::kParameterOutOfRange, ""},  // eight AFs
      {"13 0000 03 e2 01", UecpResponse::kElementLengthError, ""},
      {"13 0000 02 e2 01", UecpResponse::kElementLengthError, ""},      // two told, one given
      {"13 0000 03 e1 01 02", UecpResponse::kParameterOutOfRange, ""},  // no filler after one
      {"13 0000 02 e1 cf", UecpResponse::kParameterOutOfRange, ""},
      {"13 0000 05 e1 01", UecpResponse::kElementLengthError, ""},
      {"02 0000 41 42 43 44 45 46 47 ff", UecpResponse::kParameterOutOfRange, ""},
      {"03 0000 04", UecpResponse::kParameterOutOfRange, ""},
      {"05 0000 02", UecpResponse::kParameterOutOfRange, ""},
  };
  for (const Case& c : cases) {
    FakeStation station;
    EXPECT_EQ(ApplyUecpMessage(Hex(c.message), station), c.response) << c.message;
    EXPECT_EQ(station.changes,
              c.changed.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.changed})
        << c.message;
    if (c.changed == "TA,TP") {
      EXPECT_EQ(station.settings.ta * 2 + station.settings.tp, 2);
    }
    if (c.changed == "AF") {
      EXPECT_EQ(station.settings.af[6], "88.2");
    }
    if (c.changed == "PI") {
      EXPECT_EQ(station.settings.pi, "1234");
    }
  }
}

// Frames for site 1 encoder 1 are answered; frames for a group (site or encoder 0) and
// acknowledgements never are. All but the acknowledgement are carried out.
TEST(UecpMessages, AnswersOnlyWhatTheStandardAnswers) {
  struct Case {
    Bytes frame;
    std::string reply;
    bool carried;
  };
  const Bytes di = Hex("04000001");
  const std::vector<Case> cases = {
      {Hex("fe0041050404000001bb9bff"), "fe0041050218001229ff", true},
      {Hex("fe0000050404000001de16ff"), "", true},
      {EncodeUecpFrame(0x0001, 5, di), "", true},  // site 0, encoder 1
      {EncodeUecpFrame(0x0040, 5, di), "", true},  // site 1, encoder 0
      {Hex("fe00410602180089f5ff"), "", false},
  };
  for (const Case& c : cases) {
    FakeStation station;
    std::string out;
    const auto handler = MakeStreamHandler(Protocol::kUecp, station, std::nullopt,
                                           [&](std::string bytes) { out += bytes; });
    EXPECT_EQ(handler->Feed(c.frame), 1U);
    EXPECT_EQ(Bytes(out.begin(), out.end()), Hex(c.reply)) << c.reply;
    EXPECT_EQ(station.changes.size(), c.carried ? 1U : 0U) << c.reply;
  }
}

}  // namespace
}  // namespace serve
