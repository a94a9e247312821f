#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QString>
#include <QXmlStreamReader>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "appcore/ini_file.h"
#include "tests/window/test_window.h"
#include "window/qiv_language.h"

namespace app {
namespace {

struct TranslatableTexts {
  std::set<std::string> captions;  // every component the window lets a translation change
  std::set<std::string> hints;     // those of them with a tooltip
};

// Read from the window's own definition, so that a text added to the window needs its
// translation in every sample.
TranslatableTexts WindowTexts() {
  QFile file(QStringLiteral(RDSQ7_SOURCE_DIR "/window/dedaraz.ui"));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly));
  QXmlStreamReader ui(&file);
  TranslatableTexts texts;
  std::vector<std::string> widgets;  // the widgets open around the reader's place
  while (!ui.atEnd()) {
    ui.readNext();
    if (ui.isEndElement() && ui.name() == QLatin1String("widget")) widgets.pop_back();
    if (!ui.isStartElement()) continue;
    if (ui.name() == QLatin1String("widget")) {
      widgets.push_back(ui.attributes().value(QLatin1String("name")).toString().toStdString());
    } else if (ui.name() == QLatin1String("property") && !widgets.empty()) {
      const auto property = ui.attributes().value(QLatin1String("name"));
      if (property == QLatin1String("toolTip")) texts.hints.insert(widgets.back());
      if (property == QLatin1String("Tag") && ui.readNextStartElement() &&
          ui.readElementText() == QLatin1String("1")) {
        texts.captions.insert(widgets.back());
      }
    }
  }
  EXPECT_FALSE(ui.hasError()) << ui.errorString().toStdString();
  std::erase_if(texts.hints, [&](const std::string& name) { return !texts.captions.count(name); });
  return texts;
}

std::string ReadSample(const std::string& name) {
  std::ifstream in(std::string(RDSQ7_SOURCE_DIR) + "/translations/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class SampleTranslation : public ::testing::TestWithParam<const char*> {};

TEST_P(SampleTranslation, CoversEveryTextOfTheWindowAndNothingElse) {
  const std::string bytes = ReadSample(GetParam());
  ASSERT_FALSE(bytes.empty()) << GetParam();

  const TranslatableTexts window = WindowTexts();
  ASSERT_GE(window.captions.size(), 17U);
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
    EXPECT_TRUE(window.captions.count(component));
    EXPECT_FALSE(entry.value.empty());
    if (property == "Caption") {
      EXPECT_TRUE(captions.insert(component).second) << "repeated";
    } else if (property == "Hint") {
      EXPECT_TRUE(window.hints.count(component));
      EXPECT_TRUE(hints.insert(component).second) << "repeated";
    } else {
      ADD_FAILURE() << "unexpected property";
    }
  }
  EXPECT_EQ(captions, window.captions);
  EXPECT_EQ(hints, window.hints);
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
