#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <memory>
#include <set>
#include <stdexcept>

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <sstream>
#include <thread>
#endif

#include "window/dedaraz.h"
#include "appcore/ini_file.h"
#include "window/program_folder.h"
#include "window/qiv_language.h"
#include "window/qt_text.h"
#include "tests/window/gui_test_support.h"
#include "tests/time_bound.h"
#include "ui_dedaraz.h"

namespace {

// Counts the calls the window makes into the other parts of the program.
struct Calls {
  int translate = 0, load = 0, save = 0, port = 0, close_serial = 0, port_access = 0, send = 0,
      keep_pty_list = 0;

  TForm1::Hooks Hooks() {
    TForm1::Hooks hooks;
    hooks.translate_form = [this](TForm1&) { ++translate; };
    hooks.load_settings = [this](TForm1&) { ++load; };
    hooks.save_settings = [this](TForm1&) { ++save; };
    hooks.apply_port_choice = [this](TForm1&) { ++port; };
    hooks.close_serial_port = [this](TForm1&) { ++close_serial; };
    hooks.enable_direct_port_access = [this](TForm1&) { ++port_access; };
    hooks.send = [this](TForm1&) { ++send; };
    hooks.keep_pty_list = [this](TForm1&) { ++keep_pty_list; };
    return hooks;
  }
};

// Points the program folder at a folder of the test's own while it lives.
class ProgramFolderScope {
 public:
  ProgramFolderScope() { app::OverrideExecutableFolderForTesting(folder_.path()); }
  ~ProgramFolderScope() { app::OverrideExecutableFolderForTesting(previous_); }
  QString Path(const QString& name) const { return QDir(folder_.path()).filePath(name); }
  void Write(const QString& name, const QByteArray& content) const {
    QFile file(Path(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
  }

 private:
  QString previous_ = app::ExecutableFolder();
  QTemporaryDir folder_;
};

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override { gui_test::ShownErrorBoxes().clear(); }
  void Create() { form_ = std::make_unique<TForm1>(calls_.Hooks()); }
  Ui::Form1& ui() { return form_->Controls(); }
  template <typename T = QWidget>
  T* Child(const char* name) {
    return form_->findChild<T*>(QString::fromLatin1(name));
  }

  Calls calls_;
  ProgramFolderScope folder_;
  std::unique_ptr<TForm1> form_;
};

TEST_F(MainWindow, IsAFixedWindowWithTheProgramsCaption) {
  Create();
  EXPECT_EQ(form_->objectName(), "Form1");
  EXPECT_EQ(form_->windowTitle(), "RDS Encoder Q7");
  EXPECT_EQ(form_->minimumSize(), QSize(353, 228));
  EXPECT_EQ(form_->maximumSize(), QSize(353, 228));
  EXPECT_FALSE(form_->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(form_->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_EQ(form_->windowIcon().actualSize(QSize(32, 32)), QSize(32, 32));
  EXPECT_EQ(ui().Image2->pixmap().size(), QSize(111, 47));
}

TEST_F(MainWindow, ComesUpWithTheValuesOfItsDefinition) {
  Create();
  EXPECT_EQ(ui().PageControl1->currentWidget()->objectName(), "Main");
  EXPECT_EQ(ui().PS->text(), "FM RADIO");
  EXPECT_EQ(ui().PTY->currentIndex(), 0);
  EXPECT_EQ(ui().PTY->currentText(), "(None)");
  for (QLineEdit* af : {ui().AF1, ui().AF2, ui().AF3, ui().AF4, ui().AF5, ui().AF6, ui().AF7}) {
    EXPECT_TRUE(af->text().isEmpty()) << af->objectName().toStdString();
  }
  EXPECT_EQ(ui().MS->currentText(), "Music");
  EXPECT_EQ(ui().PI->text(), "FFFF");
  EXPECT_EQ(ui().TP->currentText(), "1");
  EXPECT_EQ(ui().TA->currentText(), "0");
  ASSERT_EQ(ui().DI->count(), 4);
  const QStringList di_items = {"Stereo", "Art. H.", "Comp.", "DPTY"};
  for (int row = 0; row < 4; ++row) {
    EXPECT_EQ(ui().DI->item(row)->text(), di_items[row]);
    EXPECT_EQ(ui().DI->item(row)->checkState(), Qt::Unchecked);
  }
  EXPECT_EQ(ui().DI->currentRow(), -1);
  EXPECT_TRUE(ui().DI->selectedItems().isEmpty());

  EXPECT_EQ(form_->PortIndex(), 0);
  EXPECT_EQ(ui().PORTItem0->text(), "LPT1 (0x378)");
  EXPECT_FALSE(ui().ALONTOP->isChecked());
  EXPECT_FALSE(ui().HIPRI->isChecked());
  EXPECT_EQ(ui().SENT->document()->blockCount(), 14);
  EXPECT_EQ(ui().SENT->toPlainText(), QString(13, u'\n'));
  EXPECT_EQ(ui().ProgressBar1->value(), 0);
  EXPECT_EQ(ui().ProgressBar1->maximum(), 56);
  EXPECT_EQ(ui().Image2->toolTip(), app::AboutLine());
  EXPECT_TRUE(app::AboutLine().contains("RDS Encoder Q7"));
  EXPECT_TRUE(app::AboutLine().contains(RDSQ7_VERSION));
  EXPECT_EQ(app::ProgramFolder(), app::ExecutableFolder());
  EXPECT_TRUE(app::ProgramFolder().endsWith('/'));
  EXPECT_TRUE(gui_test::ShownErrorBoxes().empty());
}

TEST_F(MainWindow, ListsTheProgramTypesByCode) {
  Create();
  const QStringList names = {
      "(None)",  "News",    "Affairs",  "Info",   "Sport",    "Educate",  "Drama",    "Culture",
      "Science", "Varied",  "Pop M",    "Rock M", "Easy M",   "Light M",  "Classics", "Other M",
      "Weather", "Finance", "Children", "Social", "Religion", "Phone In", "Travel",   "Leisure",
      "Jazz",    "Country", "Nation",   "Oldies", "Folk M",   "Document", "TEST",     "Alarm!"};
  ASSERT_EQ(ui().PTY->count(), 32);
  for (int code = 0; code < 32; ++code) EXPECT_EQ(ui().PTY->itemText(code), names[code]);
  EXPECT_FALSE(ui().PTY->isEditable());
  // North America's names for the same codes; the operator's click keeps the choice.
  ui().PTY->setCurrentIndex(10);
  ui().RBDS->click();
  EXPECT_EQ(ui().PTY->currentText(), "Country");
  EXPECT_EQ(ui().PTY->itemText(31), "Emergency");
  form_->SetPtyList(rds::PtyNames::kRds);
  for (int code = 0; code < 32; ++code) EXPECT_EQ(ui().PTY->itemText(code), names[code]);
  EXPECT_EQ(ui().PTY->currentIndex(), 10);
  EXPECT_EQ(calls_.keep_pty_list, 1);
  EXPECT_EQ(ui().MS->itemText(0), "Speech");

  // The open list shows 12 rows and scrolls, also in styles that would open a menu as tall
  // as all the items.
  const QString previous_style = QApplication::style()->name();
  for (const char* style : {"Fusion", "Windows"}) {
    SCOPED_TRACE(style);
    QApplication::setStyle(QString::fromLatin1(style));
    Create();
    form_->show();
    ui().PTY->setCurrentIndex(20);
    ui().PTY->showPopup();
    const QAbstractItemView* list = ui().PTY->view();
    ASSERT_TRUE(list->isVisible());
    const QRect shown = list->viewport()->rect();
    const int first = list->indexAt(shown.topLeft() + QPoint(2, 2)).row();
    const int last = list->indexAt(shown.bottomLeft() + QPoint(2, -2)).row();
    EXPECT_EQ(last - first + 1, 12);
    EXPECT_TRUE(list->verticalScrollBar()->isVisible());  // the operator sees there is more
    EXPECT_LE(first, 20);
    EXPECT_GE(last, 20);
    ui().PTY->hidePopup();
    form_.reset();
  }
  QApplication::setStyle(previous_style);
}

TEST_F(MainWindow, EveryControlHasItsNamePlaceAndTag) {
  Create();
  struct Expected {
    const char* name;
    int tag;
    QRect place;  // an empty size means: only the top left corner is fixed
  };
  const Expected controls[] = {
      {"PageControl1", 0, {0, 0, 353, 193}},
      {"ProgressBar1", 0, {192, 200, 158, 25}},
      {"EX", 1, {4, 200, 81, 25}},
      {"UP", 1, {96, 200, 89, 25}},
      {"Main", 1, {}},
      {"System", 1, {}},
      {"Help", 1, {}},
      {"Bevel2", 0, {0, 4, 225, 50}},
      {"Bevel4", 0, {232, 4, 113, 50}},
      {"Bevel1", 0, {0, 58, 345, 50}},
      {"Bevel3", 0, {0, 112, 345, 50}},
      {"Label2", 1, {8, 8, 0, 0}},
      {"Label1", 1, {128, 8, 0, 0}},
      {"Image2", 0, {233, 6, 111, 47}},
      {"PS", 0, {8, 24, 105, 21}},
      {"PTY", 0, {128, 24, 89, 21}},
      {"Label9", 1, {8, 62, 0, 0}},
      {"AF1", 0, {8, 78, 41, 21}},
      {"AF2", 0, {56, 78, 41, 21}},
      {"AF3", 0, {104, 78, 41, 21}},
      {"AF4", 0, {152, 78, 41, 21}},
      {"AF5", 0, {200, 78, 41, 21}},
      {"AF6", 0, {248, 78, 41, 21}},
      {"AF7", 0, {296, 78, 41, 21}},
      {"Label4", 1, {8, 116, 0, 0}},
      {"MS", 0, {8, 132, 73, 21}},
      {"Label7", 1, {96, 116, 0, 0}},
      {"PI", 0, {96, 132, 41, 21}},
      {"Label5", 1, {152, 116, 0, 0}},
      {"TP", 0, {152, 132, 33, 21}},
      {"Label6", 1, {200, 116, 0, 0}},
      {"TA", 0, {200, 132, 33, 21}},
      {"Label8", 1, {248, 116, 0, 0}},
      {"DI", 0, {248, 131, 81, 26}},
      {"Label3", 1, {8, 8, 0, 0}},
      {"SENT", 0, {8, 24, 209, 108}},
      {"RBDS", 1, {8, 136, 209, 17}},
      {"ALONTOP", 1, {232, 120, 113, 17}},
      {"HIPRI", 1, {232, 136, 113, 17}},
      {"PORT", 1, {232, 8, 105, 97}},
      {"HelpBox", 0, {0, 0, 345, 166}},
  };
  for (const Expected& expected : controls) {
    SCOPED_TRACE(expected.name);
    QWidget* control = Child(expected.name);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->property("Tag").toInt(), expected.tag);
    if (!expected.place.isNull()) {
      EXPECT_EQ(control->pos(), expected.place.topLeft());
      if (expected.place.width() > 0) {
        EXPECT_EQ(control->size(), expected.place.size());
      }
    }
  }
  EXPECT_EQ(form_->property("Tag").toInt(), 0);
  EXPECT_EQ(ui().PageControl1->tabText(0), "Main");
  EXPECT_EQ(ui().PageControl1->tabText(1), "System");
  EXPECT_EQ(ui().PageControl1->tabText(2), "Help");
  EXPECT_EQ(ui().PORT->title(), "Port");
  EXPECT_TRUE(ui().UP->font().bold());
  EXPECT_EQ(ui().UP->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(ui().UP->icon().actualSize(QSize(18, 18)), QSize(18, 18));
  EXPECT_EQ(ui().EX->icon().actualSize(QSize(18, 18)), QSize(18, 18));
}

TEST_F(MainWindow, OnlyTheSmallLabelsAndTheLogoShowHints) {
  Create();
  const std::set<QString> with_hint = {"Label4", "Label5", "Label6", "Label7", "Label8", "Image2"};
  for (QWidget* widget : form_->findChildren<QWidget*>()) {
    if (widget->objectName().isEmpty() || widget->objectName().startsWith("qt_")) continue;
    EXPECT_EQ(!widget->toolTip().isEmpty(), with_hint.count(widget->objectName()) == 1)
        << widget->objectName().toStdString();
  }
  EXPECT_EQ(ui().Label4->toolTip(), "Music/Speech");
  EXPECT_EQ(ui().Label7->toolTip(), "Program Identification");
  EXPECT_EQ(ui().Label5->toolTip(), "Traffic Program");
  EXPECT_EQ(ui().Label6->toolTip(), "Traffic Announcement");
  EXPECT_EQ(ui().Label8->toolTip(), "Decoder Identification");
}

TEST_F(MainWindow, TabKeyVisitsTheControlsInTheirOrder) {
  Create();
  form_->SetPortIndex(2);  // COM1
  form_->show();
  form_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
  ui().PS->setFocus();
  // Presses a key where the focus is and names the control that has it then.
  auto press = [](Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    QWidget* focus = QApplication::focusWidget();
    return focus ? focus->objectName().toStdString() : std::string();
  };
  // Round the Main tab, back to PS; the tab bar carries Qt's own name.
  std::vector<std::string> visited;
  do {
    visited.push_back(press(Qt::Key_Tab));
  } while (visited.size() < 30 && QApplication::focusWidget() != ui().PS);
  const std::vector<std::string> main_order = {
      "PTY", "TP",  "TA", "AF1", "AF2", "AF3", "AF4", "AF5",
      "AF6", "AF7", "MS", "PI",  "DI",  "EX",  "UP",  "qt_tabwidget_tabbar",
      "PS"};
  EXPECT_EQ(visited, main_order);

  ui().PageControl1->setCurrentIndex(1);
  ui().PageControl1->tabBar()->setFocus();
  // Only the chosen port is a tab stop: COM1, not LPT1 first.
  EXPECT_EQ(press(Qt::Key_Tab), "ALONTOP");
  EXPECT_EQ(press(Qt::Key_Tab), "HIPRI");
  EXPECT_EQ(press(Qt::Key_Tab), "RBDS");
  EXPECT_EQ(press(Qt::Key_Tab), "PORTItem2");
  EXPECT_EQ(press(Qt::Key_Space), "PORTItem2");
  EXPECT_EQ(press(Qt::Key_Tab), "EX");
  EXPECT_EQ(press(Qt::Key_Tab), "UP");
  EXPECT_EQ(press(Qt::Key_Tab, Qt::ShiftModifier), "EX");
  EXPECT_EQ(press(Qt::Key_Tab, Qt::ShiftModifier), "PORTItem2");
  EXPECT_EQ(form_->PortIndex(), 2);
  EXPECT_EQ(calls_.port, 2);  // start-up and SetPortIndex(2)

  // The arrow keys move within the group and choose; Tab then enters at the new choice.
  EXPECT_EQ(press(Qt::Key_Down), "PORTItem3");
  EXPECT_EQ(form_->PortIndex(), 3);
  EXPECT_EQ(press(Qt::Key_Up), "PORTItem2");
  EXPECT_EQ(press(Qt::Key_Up), "PORTItem1");
  EXPECT_EQ(form_->PortIndex(), 1);
  EXPECT_EQ(calls_.port, 5);
  EXPECT_EQ(press(Qt::Key_Tab), "EX");
  EXPECT_EQ(press(Qt::Key_Tab, Qt::ShiftModifier), "PORTItem1");
  EXPECT_EQ(press(Qt::Key_Tab, Qt::ShiftModifier), "RBDS");

  // The read-only texts take focus by click only.
  for (QWidget* no_tab : std::initializer_list<QWidget*>{ui().SENT, ui().HelpBox}) {
    EXPECT_EQ(no_tab->focusPolicy(), Qt::ClickFocus) << no_tab->objectName().toStdString();
  }
}

TEST_F(MainWindow, TextBoxesLimitTheirLengthAndPIBecomesCapitals) {
  Create();
  ui().PI->clear();
  QTest::keyClicks(ui().PI, "abcde");
  EXPECT_EQ(ui().PI->text(), "ABCD");

  ui().PI->setText("AB");
  ui().PI->setCursorPosition(1);
  QTest::keyClicks(ui().PI, "f");
  EXPECT_EQ(ui().PI->text(), "AFB");
  EXPECT_EQ(ui().PI->cursorPosition(), 2);

  ui().PS->clear();
  QTest::keyClicks(ui().PS, "Radio One");
  EXPECT_EQ(ui().PS->text(), "Radio On");  // not upper-cased, cut at 8
  QTest::keyClicks(ui().AF3, "107.95");
  EXPECT_EQ(ui().AF3->text(), "107.9");
}

TEST_F(MainWindow, CheckListTicksWithSpaceButHasNoTypeAheadSearch) {
  Create();
  ui().DI->setFocus();
  QTest::keyClick(ui().DI, Qt::Key_D);
  EXPECT_EQ(ui().DI->currentRow(), -1);
  ui().DI->setCurrentRow(1);
  QTest::keyClick(ui().DI, Qt::Key_Space);
  EXPECT_EQ(ui().DI->item(1)->checkState(), Qt::Checked);
  QTest::keyClick(ui().DI, Qt::Key_S);
  EXPECT_EQ(ui().DI->currentRow(), 1);
}

TEST_F(MainWindow, EnterPressesSendAndEscPressesExit) {
  Create();
  form_->show();
  QTest::keyClick(ui().PS, Qt::Key_Return);
  EXPECT_EQ(calls_.send, 1);
  QTest::keyClick(ui().AF2, Qt::Key_Enter);
  EXPECT_EQ(calls_.send, 2);
  QTest::keyClick(ui().PTY, Qt::Key_Return);
  EXPECT_EQ(calls_.send, 3);
  EXPECT_EQ(calls_.save, 0);

  // A stray Enter while reading the Last-sent record or the help starts no transfer.
  ui().PageControl1->setCurrentIndex(1);
  QTest::keyClick(ui().SENT, Qt::Key_Return);
  QTest::keyClick(ui().SENT, Qt::Key_Enter);
  ui().PageControl1->setCurrentIndex(2);
  QTest::keyClick(ui().HelpBox, Qt::Key_Return);
  QTest::keyClick(ui().HelpBox, Qt::Key_Enter);
  EXPECT_EQ(calls_.send, 3);

  QTest::keyClick(ui().HelpBox, Qt::Key_Escape);
  EXPECT_EQ(calls_.send, 3);
  EXPECT_EQ(calls_.save, 1);  // EXClick saves once ...
  EXPECT_EQ(calls_.close_serial, 1);
  EXPECT_FALSE(form_->isVisible());
  form_.reset();
  EXPECT_EQ(calls_.save, 2);  // ... and the window's destruction once more
  EXPECT_EQ(calls_.close_serial, 2);
}

TEST_F(MainWindow, ClosingTheWindowSavesOnceWhenItIsDestroyed) {
  Create();
  form_->show();
  form_->close();  // title bar, system menu, Alt+F4
  EXPECT_EQ(calls_.save, 0);
  EXPECT_EQ(calls_.close_serial, 0);
  form_.reset();  // the save and the closing of the port come with the destruction
  EXPECT_EQ(calls_.save, 1);
  EXPECT_EQ(calls_.close_serial, 1);
}

TEST_F(MainWindow, AFailedSaveSkipsClosingThePortButTheWindowStillCloses) {
  TForm1::Hooks hooks = calls_.Hooks();
  hooks.save_settings = [](TForm1&) { throw std::runtime_error("Cannot create file tolvex.dat"); };
  form_ = std::make_unique<TForm1>(hooks);
  form_->show();
  QTest::mouseClick(ui().EX, Qt::LeftButton);
  EXPECT_FALSE(form_->isVisible());
  EXPECT_EQ(calls_.close_serial, 0);
  form_.reset();
  EXPECT_EQ(calls_.close_serial, 0);
  const std::vector<QString> expected = {"Cannot create file tolvex.dat.",
                                         "Cannot create file tolvex.dat."};
  EXPECT_EQ(gui_test::ShownErrorBoxes(), expected);
}

TEST_F(MainWindow, ErrorsOfTheSerialPortAtExitAreIgnored) {
  TForm1::Hooks hooks = calls_.Hooks();
  hooks.close_serial_port = [](TForm1&) { throw std::runtime_error("Close failed"); };
  form_ = std::make_unique<TForm1>(hooks);
  form_->EXClick();
  form_.reset();
  EXPECT_EQ(calls_.save, 2);
  EXPECT_TRUE(gui_test::ShownErrorBoxes().empty());
}

TEST_F(MainWindow, StartUpRunsEachStepOnceInOrder) {
  std::vector<std::string> steps;
  TForm1::Hooks hooks;
  hooks.translate_form = [&](TForm1&) { steps.push_back("translate"); };
  hooks.reset_port_setting = [&](TForm1&) { steps.push_back("port setting"); };
  hooks.reset_time_of_last_send = [&](TForm1&) { steps.push_back("time of last send"); };
  hooks.load_settings = [&](TForm1& form) {
    steps.push_back("load");
    // The load sets the options and the port as the file says; each handler runs once here
    // and once more in its own start-up step.
    form.SetPortIndex(3);
    form.Controls().DI->setCurrentRow(2);
    form.Controls().DI->item(1)->setCheckState(Qt::Checked);
    form.SetLastSent({"PS=NEWS FM", "PTY=1"});
  };
  hooks.apply_port_choice = [&](TForm1&) { steps.push_back("port"); };
  hooks.enable_direct_port_access = [&](TForm1&) { steps.push_back("port access"); };
  form_ = std::make_unique<TForm1>(hooks);
  const std::vector<std::string> expected = {
      "translate", "port setting", "time of last send", "load", "port", "port", "port access"};
  EXPECT_EQ(steps, expected);
  EXPECT_EQ(ui().DI->currentRow(), -1);
  EXPECT_EQ(ui().DI->item(1)->checkState(), Qt::Checked);
  EXPECT_EQ(ui().SENT->toPlainText(), "PS=NEWS FM\nPTY=1" + QString(12, u'\n'));
}

TEST_F(MainWindow, TranslatedLabelsTakeTheSizeOfTheirNewText) {
  TForm1::Hooks hooks;
  hooks.translate_form = [](TForm1& form) {
    form.Controls().Label4->setText("Musik/Sprache (lang)");
  };
  form_ = std::make_unique<TForm1>(hooks);
  EXPECT_GE(ui().Label4->width(), ui().Label4->fontMetrics().horizontalAdvance("Musik/Sprache"));
}

// The shipped translations on the real window: every caption is shown whole, every hint is
// applied.
TEST_F(MainWindow, ShippedTranslationsFitTheirControls) {
  for (const char* file : {"vuvur.de.lng", "vuvur.fr.lng"}) {
    SCOPED_TRACE(file);
    const QString path = QStringLiteral(RDSQ7_SOURCE_DIR "/translations/") + file;
    TForm1::Hooks hooks;
    hooks.translate_form = [&path](TForm1& form) {
      app::TqivLanguage().ApplyLanguageFile(form, path);
    };
    form_ = std::make_unique<TForm1>(hooks);
    form_->show();
    ASSERT_TRUE(gui_test::ShownErrorBoxes().empty());

    QFile source(path);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const auto entries =
        app::ReadSectionEntries(app::IniFile(source.readAll().toStdString()), "TRANSLATIONS");
    ASSERT_GE(entries.size(), 20u);
    for (const app::IniEntry& entry : entries) {
      SCOPED_TRACE(entry.key);
      const QStringList key = QString::fromStdString(entry.key).split('.');
      ASSERT_EQ(key.size(), 3);
      QWidget* control = form_->findChild<QWidget*>(key[1]);
      ASSERT_NE(control, nullptr);
      const QString text = app::FromCp1252(entry.value);
      if (key[2] == "Hint") {
        EXPECT_EQ(control->toolTip(), text);
        continue;
      }
      const int width = control->fontMetrics().horizontalAdvance(text);
      if (const int page = ui().PageControl1->indexOf(control); page >= 0) {
        EXPECT_EQ(ui().PageControl1->tabText(page), text);
        EXPECT_GE(ui().PageControl1->tabBar()->tabRect(page).width(), width);
      } else if (auto* label = qobject_cast<QLabel*>(control);
                 label && !label->isVisibleTo(form_.get())) {
        // A text kept for later: a verdict fits the label that shows it, with the time or
        // two fields for %1; a message has a box of its own.
        EXPECT_EQ(label->text(), text);
        const QString detail = label == ui().ONAIROK ? "12:34:56" : "PS, PI";
        const QString shown = text.contains("%1") ? text.arg(detail) : text;
        if (label->objectName().startsWith("ONAIR")) {
          EXPECT_LE(control->fontMetrics().horizontalAdvance(shown),
                    ui().ONAIR->contentsRect().width());
        }
      } else if (auto* label = qobject_cast<QLabel*>(control)) {
        EXPECT_EQ(label->text(), text);
        if (label->isHidden()) continue;  // a text kept for the area beside Send
        EXPECT_LE(width, label->contentsRect().width());
        EXPECT_TRUE(label->parentWidget()->rect().contains(label->geometry()));
        // Nor does it run into a neighbour (the bevels are only frames around them).
        for (QWidget* other :
             label->parentWidget()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
          if (other == label || other->metaObject() == &QFrame::staticMetaObject) continue;
          EXPECT_FALSE(label->geometry().intersects(other->geometry()))
              << other->objectName().toStdString();
        }
      } else if (auto* box = qobject_cast<QGroupBox*>(control)) {
        EXPECT_EQ(box->title(), text);
        EXPECT_LE(box->minimumSizeHint().width(), box->width());  // the title and its frame
      } else if (auto* check = qobject_cast<QCheckBox*>(control)) {
        EXPECT_EQ(check->text(), text);
        QStyleOptionButton option;
        option.initFrom(check);
        option.text = text;
        EXPECT_LE(
            width,
            check->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, check).width());
      } else if (auto* button = qobject_cast<QPushButton*>(control)) {
        EXPECT_EQ(button->text(), text);
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = text;
        option.icon = button->icon();
        option.iconSize = button->iconSize();
        option.features = QStyleOptionButton::AutoDefaultButton;
        const QRect contents =
            button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        EXPECT_LE(width + button->iconSize().width() + 4, contents.width());  // icon, gap
      } else {
        ADD_FAILURE() << "a caption on a control of an unexpected kind";
      }
    }
    // All three tabs fit side by side, with no scroll buttons.
    EXPECT_LE(ui().PageControl1->tabBar()->sizeHint().width(), ui().PageControl1->width());
    form_.reset();
  }
}

TEST_F(MainWindow, AnErrorInStartUpSkipsTheRemainingSteps) {
  TForm1::Hooks hooks = calls_.Hooks();
  hooks.load_settings = [](TForm1&) { throw std::runtime_error("Cannot open file tolvex.dat"); };
  form_ = std::make_unique<TForm1>(hooks);
  EXPECT_EQ(gui_test::ShownErrorBoxes(), std::vector<QString>{"Cannot open file tolvex.dat."});
  EXPECT_EQ(ui().Image2->toolTip(), app::AboutLine());  // step 3 ran
  EXPECT_EQ(calls_.port, 0);                            // step 7 did not
  EXPECT_EQ(calls_.port_access, 0);
  EXPECT_EQ(ui().SENT->document()->blockCount(), 1);  // nor step 9
}

TEST_F(MainWindow, PortHandlerRunsOnlyWhenTheChoiceChanges) {
  Create();
  EXPECT_EQ(calls_.port, 1);  // start-up step 7
  form_->SetPortIndex(0);
  EXPECT_EQ(calls_.port, 1);
  form_->SetPortIndex(2);
  EXPECT_EQ(calls_.port, 2);
  EXPECT_EQ(form_->PortIndex(), 2);
  form_->SetPortIndex(2);
  EXPECT_EQ(calls_.port, 2);
  form_->show();
  ui().PageControl1->setCurrentIndex(1);
  QTest::mouseClick(ui().PORTItem3, Qt::LeftButton);
  EXPECT_EQ(calls_.port, 3);
  EXPECT_EQ(form_->PortIndex(), 3);
  QTest::mouseClick(ui().PORTItem3, Qt::LeftButton);
  EXPECT_EQ(calls_.port, 3);
  form_->SetPortIndex(-1);
  EXPECT_EQ(form_->PortIndex(), -1);
  EXPECT_EQ(calls_.port, 3);
}

TEST_F(MainWindow, AlwaysOnTopFollowsItsCheckBoxAndKeepsTheWindowShown) {
  Create();
  form_->show();
  form_->SetAlwaysOnTop(true);
  EXPECT_TRUE(ui().ALONTOP->isChecked());
  EXPECT_TRUE(form_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(form_->isVisible());
  form_->show();
  ui().PageControl1->setCurrentIndex(1);
  QTest::mouseClick(ui().ALONTOP, Qt::LeftButton);
  EXPECT_FALSE(ui().ALONTOP->isChecked());
  EXPECT_FALSE(form_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(form_->isVisible());
  EXPECT_EQ(form_->size(), QSize(353, 228));
}

#if defined(__linux__)
// The nice value of every thread of this process (field 19 of /proc/self/task/*/stat).
std::map<std::string, int> NiceOfEveryThread() {
  std::map<std::string, int> nice;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream stat(task.path() / "stat");
    const std::string line((std::istreambuf_iterator<char>(stat)),
                           std::istreambuf_iterator<char>());
    // The name in field 2 may hold spaces and parentheses; field 3 follows its last ')'.
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    for (int number = 3; number <= 19 && fields >> field; ++number) {
    }
    nice[task.path().filename().string()] = std::stoi(field);
  }
  return nice;
}

// Whether this process may lower a thread's nice value (root or CAP_SYS_NICE); tried on a
// thread of its own, which ends right after.
bool MayLowerNiceValue() {
  bool allowed = false;
  std::thread probe([&allowed] {
    allowed = ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), -1) == 0;
  });
  probe.join();
  return allowed;
}

// A thread that waits until the test lets it go.
class WaitingThread {
 public:
  WaitingThread() : thread_([this] { released_.get_future().wait(); }) {}
  ~WaitingThread() {
    released_.set_value();
    thread_.join();
  }

 private:
  std::promise<void> released_;
  std::thread thread_;
};

TEST_F(MainWindow, HighPrioritySetsTheProcessPriorityOnEveryChange) {
  if (!MayLowerNiceValue()) GTEST_SKIP() << "raising the priority needs root or CAP_SYS_NICE";
  using Nice = std::map<std::string, int>;
  auto all_at = [](int value) {
    Nice expected = NiceOfEveryThread();
    for (auto& [tid, nice] : expected) nice = value;
    return expected;
  };
  Create();
  auto before = std::make_unique<WaitingThread>();
  form_->SetHighPriority(true);
  auto after = std::make_unique<WaitingThread>();
  EXPECT_GE(NiceOfEveryThread().size(), 3u);
  EXPECT_EQ(NiceOfEveryThread(), all_at(-10));

  ASSERT_EQ(::setpriority(PRIO_PROCESS, 0, 5), 0);
  form_->SetHighPriority(true);  // no change of the box: the handler does not run
  EXPECT_EQ(::getpriority(PRIO_PROCESS, 0), 5);
  form_->SetHighPriority(false);
  EXPECT_EQ(NiceOfEveryThread(), all_at(0));
}
#endif

TEST_F(MainWindow, ShowsTheHelpFilesFormattedTextOrTheDefaultLines) {
  Create();
  EXPECT_EQ(ui().HelpBox->toPlainText(),
            app::AboutLine() + "\n\n(Help file \"tvxhelp.rtf\" is missing)");
  EXPECT_TRUE(ui().HelpBox->isReadOnly());

  folder_.Write("tvxhelp.rtf", "{\\rtf1\\ansi {\\b Wiring}\\par Data on DTR.\\par}");
  form_.reset();
  Create();
  EXPECT_EQ(ui().HelpBox->toPlainText(), "Wiring\nData on DTR.");
  const QTextBlock first = ui().HelpBox->document()->firstBlock();
  EXPECT_EQ(first.begin().fragment().charFormat().fontWeight(), QFont::Bold);

  folder_.Write("tvxhelp.rtf", "Plain help\r\nsecond line \xe9");
  form_.reset();
  Create();
  EXPECT_EQ(ui().HelpBox->toPlainText(), QString::fromUtf8("Plain help\nsecond line \u00e9"));
}

// Refused unread and at once: a FIFO would block start-up, a device or a huge file would
// hold it up for long.
TEST_F(MainWindow, AHelpFileThatCannotBeReadIsReported) {
  const QString path = folder_.Path("tvxhelp.rtf");
  struct Case {
    std::string name;
    std::function<void()> make;
    QString reason;
  };
  for (const Case& c : std::vector<Case>{
           {"folder", [&] { ASSERT_TRUE(QDir().mkdir(path)); }, "not a regular file"},
           {"too large",
            [&] { folder_.Write("tvxhelp.rtf", QByteArray(2 * 1024 * 1024 + 1, 'x')); },
            "larger than 2097152 bytes"},
#ifndef _WIN32
           {"FIFO", [&] { ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0); },
            "not a regular file"},
           {"device", [&] { ASSERT_TRUE(QFile::link("/dev/zero", path)); }, "not a regular file"},
#endif
       }) {
    SCOPED_TRACE(c.name);
    form_.reset();
    QDir().rmdir(path);
    QFile::remove(path);
    gui_test::ShownErrorBoxes().clear();
    calls_ = {};
    c.make();
    test_support::RunWithin(std::chrono::seconds(30), "help file " + c.name, [&] { Create(); });
    ASSERT_EQ(gui_test::ShownErrorBoxes().size(), 1u);
    EXPECT_EQ(gui_test::ShownErrorBoxes()[0], "Cannot open file " + path + ": " + c.reason + ".");
    EXPECT_EQ(calls_.port_access, 0);  // the steps after ShowHelp did not run
  }
}

TEST_F(MainWindow, ShowLastSentReplacesTheWholeMemo) {
  Create();
  transfer::LastSentRecord record;
  for (std::size_t i = 0; i < record.size(); ++i) record[i] = "L" + std::to_string(i);
  record[0] = "PS=Caf\xe9";
  form_->SetLastSent(record);
  form_->ShowLastSent();
  const QStringList lines = ui().SENT->toPlainText().split('\n');
  ASSERT_EQ(lines.size(), 14);
  EXPECT_EQ(lines[0], QString::fromUtf8("PS=Caf\u00e9"));
  EXPECT_EQ(lines[13], "L13");
  EXPECT_TRUE(ui().SENT->isReadOnly());
}

TEST_F(MainWindow, SendPiecesSetTheCursorAndTheProgressBar) {
  Create();
  form_->ShowSendWarnings({{rds::WarningKind::kTaWithoutTp, {}, {}}});
  EXPECT_TRUE(ui().ONAIR->isVisibleTo(form_.get()));
  form_->SetProgress(17);  // the next send takes the last one's warnings away as it starts
  EXPECT_FALSE(ui().ONAIR->isVisibleTo(form_.get()));
  EXPECT_EQ(ui().ProgressBar1->value(), 17);
  TForm1::SetBusyCursor(true);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
  TForm1::ProcessPendingMessages();
  TForm1::SetBusyCursor(false);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
