#include "window/pictures.h"

#include <QPainter>
#include <QString>
#include <QSvgRenderer>

// The pictures live in a static library, whose resources must be registered by hand.
static void RegisterPictureResources() {
  Q_INIT_RESOURCE(images);
}

namespace app {
namespace {

QPixmap Render(const QString& name, int width, int height) {
  static const bool registered = (RegisterPictureResources(), true);
  (void)registered;
  QPixmap pixmap(width, height);
  pixmap.fill(Qt::transparent);
  QSvgRenderer renderer(QStringLiteral(":/rdsq7/") + name);
  QPainter painter(&pixmap);
  renderer.render(&painter);
  return pixmap;
}

QIcon ButtonIcon(const QString& normal, const QString& disabled) {
  constexpr int kButtonPictureSize = 18;
  QIcon icon;
  icon.addPixmap(Render(normal, kButtonPictureSize, kButtonPictureSize), QIcon::Normal);
  icon.addPixmap(Render(disabled, kButtonPictureSize, kButtonPictureSize), QIcon::Disabled);
  return icon;
}

}  // namespace

QIcon WindowIcon() {
  return QIcon(Render(QStringLiteral("icon.svg"), 32, 32));
}

QPixmap LogoPicture() {
  return Render(QStringLiteral("logo.svg"), 111, 47);
}

QIcon SendButtonIcon() {
  return ButtonIcon(QStringLiteral("send.svg"), QStringLiteral("send_disabled.svg"));
}

QIcon ExitButtonIcon() {
  return ButtonIcon(QStringLiteral("exit.svg"), QStringLiteral("exit_disabled.svg"));
}

}  // namespace app
