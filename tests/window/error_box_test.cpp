#include "window/error_box.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/window/gui_test_support.h"

namespace {

TEST(ErrorBoxText, AppendsAFullStopOnlyAfterCharactersAboveIt) {
  EXPECT_EQ(app::ErrorBoxText("Cannot open file tolvex.dat"), "Cannot open file tolvex.dat.");
  EXPECT_EQ(app::ErrorBoxText("Disk full"), "Disk full.");
  EXPECT_EQ(app::ErrorBoxText("Port 7"), "Port 7.");    // '7' is 0x37
  EXPECT_EQ(app::ErrorBoxText("Done."), "Done.");       // 0x2E itself: no
  EXPECT_EQ(app::ErrorBoxText("Really?"), "Really?.");  // '?' is 0x3F
  EXPECT_EQ(app::ErrorBoxText("Stop!"), "Stop!");       // '!' is 0x21
  EXPECT_EQ(app::ErrorBoxText("(none)"), "(none)");     // ')' is 0x29
  EXPECT_EQ(app::ErrorBoxText("a-"), "a-");             // '-' is 0x2D
  EXPECT_EQ(app::ErrorBoxText("a/"), "a/.");            // '/' is 0x2F
  EXPECT_EQ(app::ErrorBoxText(QString::fromUtf8("Gr\u00fc\u00df")),
            QString::fromUtf8("Gr\u00fc\u00df."));
  EXPECT_EQ(app::ErrorBoxText(""), "");
}

TEST(ErrorBoxText, ReadsMessagesAsUtf8OrAsThe8BitCharacterSet) {
  EXPECT_EQ(app::MessageText("Caf\xc3\xa9"), QString::fromUtf8("Caf\u00e9"));
  EXPECT_EQ(app::MessageText("Caf\xe9 \x80"), QString::fromUtf8("Caf\u00e9 \u20ac"));
}

TEST(RunGuarded, ReportsTheErrorAndSkipsTheRestOfTheHandler) {
  gui_test::ShownErrorBoxes().clear();
  bool rest_ran = false;
  const bool completed = app::RunGuarded(nullptr, [&] {
    throw std::runtime_error("Cannot create file tolvex.dat");
    rest_ran = true;
  });
  EXPECT_FALSE(completed);
  EXPECT_FALSE(rest_ran);
  ASSERT_EQ(gui_test::ShownErrorBoxes().size(), 1u);
  EXPECT_EQ(gui_test::ShownErrorBoxes()[0], "Cannot create file tolvex.dat.");

  EXPECT_TRUE(app::RunGuarded(nullptr, [] {}));
  EXPECT_EQ(gui_test::ShownErrorBoxes().size(), 1u);
}

}  // namespace
