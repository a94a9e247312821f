#include "window/error_box.h"

#include <QMessageBox>
#include <QStringDecoder>

#include "window/qt_text.h"

namespace app {
namespace {

void ShowRealErrorBox(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kApplicationTitle), text,
                  QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);  // messages quote file names and other outside text
  box.exec();
}

void ShowRealMessageBox(BoxIcon icon, QWidget* parent, const QString& caption,
                        const QString& text) {
  QMessageBox box(icon == BoxIcon::kWarning ? QMessageBox::Warning : QMessageBox::Critical, caption,
                  text, QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

ErrorBoxPresenter g_presenter = &ShowRealErrorBox;
MessageBoxPresenter g_message_presenter = &ShowRealMessageBox;

}  // namespace

QString ErrorBoxText(const QString& message) {
  if (!message.isEmpty() && message.back().unicode() > u'.') return message + u'.';
  return message;
}

QString MessageText(const char* what) {
  const QByteArray bytes(what ? what : "");
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8(bytes);
  if (!utf8.hasError()) return text;
  return FromCp1252(bytes.toStdString());
}

void ShowErrorBox(QWidget* parent, const QString& message) {
  g_presenter(parent, ErrorBoxText(message));
}

ErrorBoxPresenter SetErrorBoxPresenter(ErrorBoxPresenter presenter) {
  ErrorBoxPresenter old = g_presenter;
  g_presenter = presenter ? presenter : &ShowRealErrorBox;
  return old;
}

void ShowMessageBox(BoxIcon icon, QWidget* parent, const QString& caption, const QString& text) {
  g_message_presenter(icon, parent, caption, text);
}

MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter) {
  MessageBoxPresenter old = g_message_presenter;
  g_message_presenter = presenter ? presenter : &ShowRealMessageBox;
  return old;
}

}  // namespace app
