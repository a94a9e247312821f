#include <gtest/gtest.h>

#include <QLabel>
#include <QString>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "appcore/ini_file.h"
#include "window/qiv_language.h"
#include "tests/window/test_window.h"

namespace app {
namespace {

// The components the window lets a translation change.
const std::set<std::string> kTranslatable = {
    "Main",   "System", "Help",   "Label1", "Label2",  "Label3", "Label4", "Label5", "Label6",
    "Label7", "Label8", "Label9", "PORT",   "ALONTOP", "HIPRI",  "EX",     "UP",
    // North America, and the warnings shown after a send
    "RBDS", "WARNPI", "WARNPIDEF", "WARNTATP", "WARNAF", "WARNPS"};
// Those that have a tooltip to translate.
const std::set<std::string> kWithHint = {"Label4", "Label5", "Label6", "Label7", "Label8"};

std::string ReadSample(const std::string& name) {
  std::ifstream in(std::string(RDSQ7_SOURCE_DIR) + "/translations/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class SampleTranslation : public ::testing::TestWithParam<const char*> {};

TEST_P(SampleTranslation, CoversEveryTextOfTheWindowAndNothingElse) {
  const std::string bytes = ReadSample(GetParam());
  ASSERT_FALSE(bytes.empty()) << GetParam();

  std::set<std::string> captions;
  std::set<std::string> hints;
  for (const IniEntry& entry : ReadSectionEntries(IniFile(bytes), "TRANSLATIONS")) {
    SCOPED_TRACE(entry.key);
    const auto first = entry.key.find('.');
    const auto second = entry.key.find('.', first + 1);
    ASSERT_NE(second, std::string::npos);
    EXPECT_EQ(entry.key.substr(0, first), "Form1");
    const std::string component = entry.key.substr(first + 1, second - first - 1);
    const std::string property = entry.key.substr(second + 1);
    EXPECT_TRUE(kTranslatable.count(component));
    EXPECT_FALSE(entry.value.empty());
    if (property == "Caption") {
      EXPECT_TRUE(captions.insert(component).second) << "repeated";
    } else if (property == "Hint") {
      EXPECT_TRUE(kWithHint.count(component));
      EXPECT_TRUE(hints.insert(component).second) << "repeated";
    } else {
      ADD_FAILURE() << "unexpected property";
    }
  }
  EXPECT_EQ(captions, kTranslatable);
  EXPECT_EQ(hints, kWithHint);
}

TEST_P(SampleTranslation, IsWindows1252WithCrLfLineEnds) {
  const std::string bytes = ReadSample(GetParam());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n') {
      EXPECT_TRUE(i > 0 && bytes[i - 1] == '\r') << "at byte " << i;
    }
    // The lead byte of a two-byte UTF-8 letter (Ã, Â) is never meant in these files.
    EXPECT_NE(bytes[i], '\xC3') << "UTF-8 at byte " << i;
    EXPECT_NE(bytes[i], '\xC2') << "UTF-8 at byte " << i;
  }
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
}

TEST_P(SampleTranslation, AppliesToTheWindowWithoutError) {
  const auto window = testing::MakeTestWindow();
  TqivLanguage language;
  language.ApplyLanguageFile(*window, QString::fromStdString(std::string(RDSQ7_SOURCE_DIR) +
                                                             "/translations/" + GetParam()));
  EXPECT_NE(testing::Find<QLabel>(*window, "Label9")->text(), "Alternative Frequencies");
  EXPECT_EQ(window->windowTitle(), "RDS Encoder Q7");
}

INSTANTIATE_TEST_SUITE_P(Shipped, SampleTranslation,
                         ::testing::Values("vuvur.de.lng", "vuvur.fr.lng"));

TEST(GermanSample, ReadsAsWindows1252) {
  const auto window = testing::MakeTestWindow();
  TqivLanguage language;
  language.ApplyLanguageFile(*window, QString::fromStdString(std::string(RDSQ7_SOURCE_DIR) +
                                                             "/translations/vuvur.de.lng"));
  EXPECT_EQ(testing::Find<QWidget>(*window, "HIPRI")->property("text").toString(),
            QString::fromUtf8("Hohe Priorität"));
}

}  // namespace
}  // namespace app
