#include "app/startup.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <memory>

#include "app/dedaraz.h"
#include "app/error_box.h"
#include "app/single_instance.h"

namespace app {
namespace {

// Opens the way to the parallel port's registers before anything else runs, and closes it
// after the window is gone (the port driver's start and end).
void StartPortAccess() {}
void EndPortAccess() {}

// What the window's handlers start in the other parts of the program.
TForm1::Hooks ProgramHooks() {
  TForm1::Hooks hooks;
  // hooks.translate_form: the translation of the captions and hints
  // hooks.load_settings, hooks.save_settings: the station settings file
  // hooks.apply_port_choice, hooks.close_serial_port: the port choice and the serial port
  // hooks.enable_direct_port_access: the port driver
  // hooks.send: the send sequence
  return hooks;
}

void ShowAlreadyRunning() {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Application already running"),
                  QStringLiteral("Instance of this application is already running."),
                  QMessageBox::Ok);
  box.exec();
}

}  // namespace

void RunMessageLoop(TForm1& form) {
  QEventLoop loop;
  QObject::connect(&form, &TForm1::Closed, &loop, [&loop] { loop.quit(); });
  form.show();
  loop.exec();
}

int RunApplication(int argc, char** argv) {
  StartPortAccess();
  {
    // Qt shows no message box without its application object, so that comes first.
    QApplication application(argc, argv);
    SingleInstance instance;
    if (instance.AlreadyRunning()) {
      ShowAlreadyRunning();
    } else {
      QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
      QApplication::setQuitOnLastWindowClosed(false);  // the window's loop ends by itself
      auto form = std::make_unique<TForm1>(ProgramHooks());
      RunMessageLoop(*form);
      form.reset();  // runs Button1Click: settings saved, serial port closed
    }
  }
  EndPortAccess();
  return 0;
}

}  // namespace app
