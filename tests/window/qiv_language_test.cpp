#include "window/qiv_language.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextDocument>
#include <functional>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "tests/window/test_window.h"
#include "tests/time_bound.h"

namespace app {
namespace {

using testing::Find;

class Translation : public ::testing::Test {
 protected:
  // Writes the bytes as the folder's "vuvur.lng".
  QString WriteFile(const std::string& bytes) {
    const QString path = folder_.filePath("vuvur.lng");
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
    return path;
  }

  // Applies a file of these lines (CR LF) under "[TRANSLATIONS]".
  void Apply(const std::string& lines) {
    language_.ApplyLanguageFile(*window_, WriteFile("[TRANSLATIONS]\r\n" + lines));
  }

  QString Text(const char* name) { return Find<QLabel>(*window_, name)->text(); }
  QString Hint(const char* name) { return Find(*window_, name)->toolTip(); }
  QString Tab(int index) { return Find<QTabWidget>(*window_, "PageControl1")->tabText(index); }

  QTemporaryDir folder_;
  std::unique_ptr<QWidget> window_ = testing::MakeTestWindow();
  TqivLanguage language_;
};

TEST_F(Translation, WithoutTheFileNothingChanges) {
  language_.SetProgramFolder(folder_.path());
  language_.TranslateForm(*window_);
  EXPECT_EQ(language_.LanguageFile, folder_.filePath("vuvur.lng"));
  EXPECT_EQ(Text("Label1"), "Program Type");
  EXPECT_EQ(Hint("Label5"), "Traffic Program");
  EXPECT_EQ(Tab(0), "Main");
}

TEST_F(Translation, LooksBesideTheExecutableUnlessTold) {
  language_.TranslateForm(*window_);
  EXPECT_EQ(language_.LanguageFile, QCoreApplication::applicationDirPath() + "/vuvur.lng");
}

TEST_F(Translation, TranslateFormReadsVuvurLngFromTheProgramFolder) {
  WriteFile("[TRANSLATIONS]\r\nForm1.Label1.Caption=Programmart\r\n");
  language_.SetProgramFolder(folder_.path());
  language_.TranslateForm(*window_);
  EXPECT_EQ(Text("Label1"), "Programmart");
}

TEST_F(Translation, SetsCaptionAndHintOfEachKindOfControl) {
  Apply(
      "Form1.Label1.Caption=Programmart\r\n"
      "Form1.Label5.Hint=Verkehrsfunk\r\n"
      "Form1.Help.Caption=Hilfe\r\n"
      "Form1.PORT.Caption=Anschluss\r\n"
      "Form1.ALONTOP.Caption=Im Vordergrund\r\n"
      "Form1.UP.Caption=Senden\r\n"
      "Form1.HIPRI.Caption=Hohe Priorit\xE4t\r\n");
  EXPECT_EQ(Text("Label1"), "Programmart");
  EXPECT_EQ(Hint("Label5"), "Verkehrsfunk");
  EXPECT_EQ(Tab(2), "Hilfe");
  EXPECT_EQ(Tab(0), "Main");
  EXPECT_EQ(Find<QGroupBox>(*window_, "PORT")->title(), "Anschluss");
  EXPECT_EQ(Find<QCheckBox>(*window_, "ALONTOP")->text(), "Im Vordergrund");
  EXPECT_EQ(Find<QPushButton>(*window_, "UP")->text(), "Senden");
  EXPECT_EQ(Find<QCheckBox>(*window_, "HIPRI")->text(), QString::fromUtf8("Hohe Priorität"));
  EXPECT_EQ(Find<QLabel>(*window_, "Label1")->size(),
            Find<QLabel>(*window_, "Label1")->sizeHint());  // a label fits its new text
}

// Translation texts are outside text: shown as typed, never as markup that could load
// images or files.
TEST_F(Translation, TextsAreShownAsPlainText) {
  const QString markup = "<img src=\"no-such-picture.png\"><b>x</b>";
  const std::string line = markup.toStdString();
  for (const std::string key :
       {"Form1.Label1.Caption", "Form1.Label5.Hint", "Form1.Label6.toolTip",
        "Form1.Label7.whatsThis", "Form1.Label8.text"}) {
    SCOPED_TRACE(key);
    window_ = testing::MakeTestWindow();
    Apply(key + "=" + line + "\r\n");
    auto* label = Find<QLabel>(*window_, key.substr(6, 6).c_str());
    // What Qt would show for each text, read back as plain text.
    const QString caption = label->textFormat() == Qt::PlainText ? QString() : label->text();
    for (const QString& shown : {caption, label->toolTip(), label->whatsThis()}) {
      if (!Qt::mightBeRichText(shown)) continue;
      QTextDocument rendered;
      rendered.setHtml(shown);
      EXPECT_EQ(rendered.toPlainText(), markup);
    }
  }
}

// Refused unread and at once: a FIFO would block start-up for ever.
TEST_F(Translation, AFileThatIsNoRegularFileOrTooLargeIsRefused) {
  const QString path = folder_.filePath("vuvur.lng");
  struct Case {
    std::string name;
    std::function<void()> make;
    std::string reason;
  };
  for (const Case& c : std::vector<Case>{
           {"too large", [&] { WriteFile(std::string(kLanguageFileLimit + 1, ';')); },
            "larger than 1048576 bytes"},
#ifndef _WIN32
           {"FIFO", [&] { ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0); },
            "not a regular file"},
           {"device", [&] { ASSERT_TRUE(QFile::link("/dev/zero", path)); }, "not a regular file"},
#endif
       }) {
    SCOPED_TRACE(c.name);
    QFile::remove(path);
    c.make();
    test_support::RunWithin(std::chrono::seconds(20), "vuvur.lng " + c.name, [&] {
      try {
        language_.ApplyLanguageFile(*window_, path);
        ADD_FAILURE() << "no error";
      } catch (const TranslationError& e) {
        EXPECT_EQ(e.what(), "Cannot open file vuvur.lng: " + c.reason);
      }
    });
  }
}

TEST_F(Translation, WindowPartIsExactComponentAndPropertyPartsIgnoreCase) {
  Apply(
      "form1.Label1.Caption=lower-case window\r\n"
      "FORM1.Label2.Caption=upper-case window\r\n"
      "Form1.label3.caption=Zuletzt gesendet\r\n"
      "Form1.LABEL7.HINT=Programmkennung\r\n"
      "Form1.ex.TEXT=Beenden\r\n");
  EXPECT_EQ(Text("Label1"), "Program Type");
  EXPECT_EQ(Text("Label2"), "Program Service");
  EXPECT_EQ(Text("Label3"), "Zuletzt gesendet");
  EXPECT_EQ(Hint("Label7"), "Programmkennung");
  EXPECT_EQ(Find<QPushButton>(*window_, "EX")->text(), "Beenden");
}

TEST_F(Translation, KeysWithoutThreePartsOrWithADeeperPropertyAreIgnored) {
  // Qt's inner widgets have no name: made translatable, no key may reach one of them
  // through an empty component part.
  auto* unnamed = new QLabel("unnamed", Find(*window_, "Main"));
  for (QWidget* widget : window_->findChildren<QWidget*>()) {
    if (widget->objectName().isEmpty()) widget->setProperty("Tag", 1);
  }
  Apply(
      "Form1.Caption=no component\r\n"
      "Form1.Hint=no component\r\n"
      "Form1..Caption=empty component\r\n"
      "Form1..Hint=empty component\r\n"
      "Form1=no full stop\r\n"
      "Label1.Caption=no window\r\n"
      "Form1.Label1.Caption.Text=property of a property\r\n"
      "Form1.Label1.Font.Name=Arial\r\n"
      "Form1.Label4.=empty property\r\n");
  EXPECT_EQ(unnamed->text(), "unnamed");
  for (QWidget* widget : window_->findChildren<QWidget*>()) {
    EXPECT_FALSE(widget->toolTip().contains("component")) << widget->metaObject()->className();
  }
  EXPECT_EQ(Text("Label1"), "Program Type");
  EXPECT_EQ(Text("Label4"), "M/S");
  EXPECT_EQ(Hint("Label4"), "Music/Speech");
}

TEST_F(Translation, NeverChangesTheWindowsOwnCaption) {
  window_->setProperty("Tag", 1);
  Apply(
      "Form1.Form1.Caption=Fenster\r\n"
      "Form1.Form1.windowTitle=Fenster\r\n"
      "Form1.Form1.Hint=Fenster\r\n");
  EXPECT_EQ(window_->windowTitle(), "RDS Encoder Q7");
  EXPECT_EQ(window_->toolTip(), "");
}

TEST_F(Translation, OnlyTextPropertiesOfControlsWithAPositiveTag) {
  auto* negative = new QLabel("negative", Find(*window_, "Main"));
  negative->setObjectName("Negative");
  negative->setProperty("Tag", -1);
  Apply(
      "Form1.PS.Hint=Sendername\r\n"
      "Form1.PS.Text=GEAENDERT\r\n"
      "Form1.PageControl1.Hint=Seiten\r\n"
      "Form1.Negative.Caption=changed\r\n"
      "Form1.Label1.Tag=0\r\n"
      "Form1.PORT.Items=LPT1~~LPT2\r\n"
      "Form1.ALONTOP.Checked=1\r\n"
      "Form1.Label9.Nonexistent=x\r\n"
      "Form1.Label1.Caption=applied after the skipped entries\r\n");
  EXPECT_EQ(Hint("PS"), "");
  EXPECT_EQ(Find<QLineEdit>(*window_, "PS")->text(), "FM RADIO");
  EXPECT_EQ(Hint("PageControl1"), "");
  EXPECT_EQ(negative->text(), "negative");
  EXPECT_EQ(Find(*window_, "Label1")->property("Tag").toInt(), 1);
  EXPECT_EQ(Find<QGroupBox>(*window_, "PORT")->title(), "Port");
  EXPECT_EQ(Find<QGroupBox>(*window_, "PORT")->findChildren<QRadioButton*>().first()->text(),
            "LPT1 (0x378)");
  EXPECT_FALSE(Find<QCheckBox>(*window_, "ALONTOP")->isChecked());
  EXPECT_EQ(Text("Label1"), "applied after the skipped entries");
}

TEST_F(Translation, SetsOtherQtTextPropertiesButNotThoseThatBreakTheProgram) {
  auto* field = new QLineEdit(Find(*window_, "System"));
  field->setObjectName("Field");
  field->setProperty("Tag", 1);
  Apply(
      "Form1.Label1.objectName=Renamed\r\n"
      "Form1.Label1.STYLESHEET=color: red\r\n"
      "Form1.Field.inputMask=999\r\n"
      "Form1.Field.placeholderText=Name\r\n"
      "Form1.Label8.accessibleName=DI-Kennung\r\n"
      "Form1.HIPRI.toolTip=Priorit\xE4t des Prozesses\r\n"
      "Form1.Label1.Caption=still found by its name\r\n");
  EXPECT_EQ(Text("Label1"), "still found by its name");
  EXPECT_EQ(Find(*window_, "Label1")->styleSheet(), "");
  EXPECT_EQ(field->inputMask(), "");
  EXPECT_EQ(field->placeholderText(), "Name");
  EXPECT_EQ(Find(*window_, "Label8")->accessibleName(), "DI-Kennung");
  EXPECT_EQ(Hint("HIPRI"), QString::fromUtf8("Priorität des Prozesses"));
}

TEST_F(Translation, DoubleTildeIsALineBreakAndAnEmptyValueEmptiesTheText) {
  Apply(
      "Form1.Label1.Caption=Programm~~Art\r\n"
      "Form1.Label2.Caption=a~~~b\r\n"
      "Form1.Label3.Caption=~~~~x~\r\n"
      "Form1.Label4.Hint=\r\n"
      "Form1.UP.Caption=\r\n");
  EXPECT_EQ(Text("Label1"), "Programm\nArt");
  EXPECT_EQ(Text("Label2"), "a\n~b");
  EXPECT_EQ(Text("Label3"), "\n\nx~");
  EXPECT_EQ(Hint("Label4"), "");
  EXPECT_EQ(Find<QPushButton>(*window_, "UP")->text(), "");
}

TEST_F(Translation, SectionNameInAnyLetterCaseOtherSectionsIgnored) {
  language_.ApplyLanguageFile(*window_, WriteFile("[Other]\r\n"
                                                  "Form1.Label2.Caption=other section\r\n"
                                                  "[translations]\n"
                                                  "Form1.Label1.Caption=Programmart\n"));
  EXPECT_EQ(Text("Label1"), "Programmart");
  EXPECT_EQ(Text("Label2"), "Program Service");
}

TEST_F(Translation, RepeatedKeyAppliesItsFirstValue) {
  Apply(
      "Form1.Label1.Caption=first\r\n"
      "Form1.Label2.Caption=Sendername\r\n"
      "Form1.Label1.Caption=second\r\n");
  EXPECT_EQ(Text("Label1"), "first");
}

TEST_F(Translation, AnErrorWhileSettingATextEndsTheTranslationAndReachesTheCaller) {
  // A label's selected text is a text property that cannot be written.
  WriteFile(
      "[TRANSLATIONS]\r\n"
      "Form1.Label1.Caption=before\r\n"
      "Form1.Label2.selectedText=refused\r\n"
      "Form1.Label3.Caption=after\r\n");
  language_.SetProgramFolder(folder_.path());
  try {
    language_.TranslateForm(*window_);
    FAIL() << "no error";
  } catch (const TranslationError& error) {
    EXPECT_STREQ(error.what(), "Cannot set property selectedText of Label2");
  }
  EXPECT_EQ(Text("Label1"), "before");
  EXPECT_EQ(Text("Label3"), "Last sent");
}

}  // namespace
}  // namespace app
