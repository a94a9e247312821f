#include "window/pictures.h"

#include <QString>

namespace app {
namespace {

// The pictures are PNG renderings of window/images/*.svg made by the build, each with a
// twice-as-large one (name@2x.png) that QIcon takes on a high-DPI screen.
QString PictureFile(const char* name) {
  return QStringLiteral(":/rdsq7/%1.png").arg(QLatin1String(name));
}

QIcon ButtonIcon(const char* normal, const char* disabled) {
  QIcon icon;
  icon.addFile(PictureFile(normal), {}, QIcon::Normal);
  icon.addFile(PictureFile(disabled), {}, QIcon::Disabled);
  return icon;
}

}  // namespace

QIcon WindowIcon() {
  return QIcon(PictureFile("icon"));
}

QPixmap LogoPicture() {
  return QIcon(PictureFile("logo")).pixmap(QSize(111, 47));
}

QIcon SendButtonIcon() {
  return ButtonIcon("send", "send_disabled");
}

QIcon ExitButtonIcon() {
  return ButtonIcon("exit", "exit_disabled");
}

}  // namespace app
