#include "window/startup.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "appcore/single_instance.h"
#include "tests/window/gui_test_support.h"
#include "ui_dedaraz.h"
#include "window/command_line.h"
#include "window/dedaraz.h"
#include "window/error_box.h"

namespace {

int g_box_result = -1;

// Stands in for a modal message box: a nested loop that ends itself (result 7) once the
// events that were pending when it opened have been handled. Ended from outside, it
// returns 0.
void NestedLoopBox(QWidget*, const QString&) {
  QEventLoop box;
  QTimer::singleShot(0, &box, [&box] { QTimer::singleShot(0, &box, [&box] { box.exit(7); }); });
  g_box_result = box.exec();
}

TEST(MessageLoop, EndsWhenTheWindowClosesButLetsAnOpenErrorBoxFinishFirst) {
  const app::ErrorBoxPresenter previous = app::SetErrorBoxPresenter(&NestedLoopBox);
  TForm1::Hooks hooks;
  hooks.save_settings = [](TForm1&) { throw std::runtime_error("Cannot create file x"); };
  {
    TForm1 form(hooks);
    QTimer::singleShot(0, &form, [&form] { form.Controls().EX->click(); });
    // Only a guard against a loop that never ends; no test result depends on it.
    QTimer::singleShot(60000, &form, [&form] { form.close(); });
    app::RunMessageLoop(form);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(g_box_result, 7);  // the Exit handler's error box was not cut short
    g_box_result = -1;
  }
  EXPECT_EQ(g_box_result, 7);  // nor was the one of the window's destruction
  app::SetErrorBoxPresenter(previous);
}

TEST(MessageLoop, EndsWhenTheWindowIsClosedFromTheTitleBar) {
  TForm1 form;
  QTimer::singleShot(0, &form, [&form] { form.close(); });
  app::RunMessageLoop(form);
  EXPECT_FALSE(form.isVisible());
}

}  // namespace

namespace {

TEST(Start, ASecondInstanceIsRefusedWithTheMessageAndExitCodeZero) {
  // A name of this test run's own: a program the user has open is neither seen nor disturbed.
  const std::string name = "rdsq7-start-test-" + std::to_string(QApplication::applicationPid());
  app::SingleInstance running(name);  // as a first instance would hold it
  ASSERT_FALSE(running.AlreadyRunning());
  gui_test::ShownMessageBoxes().clear();
  EXPECT_EQ(app::RunProgram(name), 0);
  EXPECT_EQ(gui_test::ShownMessageBoxes(),
            std::vector<QString>{"Error Application already running: Instance of this "
                                 "application is already running."});
  EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
}

// Only --help, -h and --version end the program before the window; anything else is ignored.
TEST(Start, AnswersHelpAndVersionAndIgnoresEveryOtherArgument) {
  struct Case {
    std::vector<std::string> args;
    std::optional<int> status;  // nullopt: the window starts
    std::string starts;
  };
  for (const Case& c : std::vector<Case>{
           {{"--version"}, 0, "rdsq7 " RDSQ7_VERSION "\n"},
           {{"-h"}, 0, "Usage: rdsq7 "},
           {{"--bogus", "--help"}, 0, "Usage: rdsq7 "},
           {{}, std::nullopt, ""},
           {{"--bogus", "settings.dat", "-v"}, std::nullopt, ""},
           {{"--", "--version"}, std::nullopt, ""},
       }) {
    std::ostringstream out;
    EXPECT_EQ(app::AnswerCommandLine(c.args, out), c.status) << c.starts;
    EXPECT_EQ(out.str().rfind(c.starts, 0), 0U) << out.str();
    if (!c.status) {
      EXPECT_EQ(out.str(), "");
    }
  }
}

}  // namespace
