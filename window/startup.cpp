#include "window/startup.h"

#include <QApplication>
#include <QEventLoop>
#include <QStyleFactory>
#include <algorithm>
#include <iostream>
#include <memory>

#include "window/command_line.h"
#include "window/dedaraz.h"
#include "window/error_box.h"
#include "window/program.h"

namespace app {
namespace {

void ShowAlreadyRunning() {
  ShowMessageBox(BoxIcon::kError, nullptr, QStringLiteral("Application already running"),
                 QStringLiteral("Instance of this application is already running."));
}

// On Windows the window takes the look of the system's own programs, from the styles Qt
// offers there (the styles plugin beside the program); elsewhere the desktop's choice holds.
void ChooseWindowsStyle() {
#ifdef _WIN32
  const QStringList offered = QStyleFactory::keys();
  for (const QString& name : {QStringLiteral("windowsvista"), QStringLiteral("Windows")}) {
    if (offered.contains(name, Qt::CaseInsensitive)) {
      QApplication::setStyle(name);
      return;
    }
  }
#endif
}

}  // namespace

void RunMessageLoop(TForm1& form) {
  QEventLoop loop;
  QObject::connect(&form, &TForm1::Closed, &loop, [&loop] { loop.quit(); });
  form.show();
  loop.exec();
}

int RunApplication(int argc, char** argv) {
  const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
  if (CommandLineAnswer(args)) UseParentConsole();
  if (const std::optional<int> status = AnswerCommandLine(args, std::cout)) return *status;
  // Qt shows no message box without its application object, so that comes first.
  QApplication application(argc, argv);
  ChooseWindowsStyle();
  return RunProgram();
}

int RunProgram(const std::string& instance_name) {
  SingleInstance instance(instance_name);
  if (instance.AlreadyRunning()) {
    // Turned away before the port driver starts, so the running instance's port access
    // is left alone.
    ShowAlreadyRunning();
    return 0;
  }
  transfer::PortDriver& port_driver = transfer::ProcessPortDriver();
  port_driver.StartPortAccess();
  {
    QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
    QApplication::setQuitOnLastWindowClosed(false);  // the window's loop ends by itself
    Program program;
    auto form = std::make_unique<TForm1>(program.Hooks());
    RunMessageLoop(*form);
    form.reset();  // runs Button1Click: settings saved, serial port closed
  }
  port_driver.EndPortAccess();
  return 0;
}

}  // namespace app
