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
      auto form = std::make_unique<TForm1>();
      RunMessageLoop(*form);
      form.reset();  // runs Button1Click: settings saved, serial port closed
    }
  }
  EndPortAccess();
  return 0;
}

}  // namespace app
