#include "app/error_box.h"

#include <QMessageBox>
#include <QStringDecoder>

#include "rds/cp1252.h"

namespace app {
namespace {

void ShowMessageBox(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kApplicationTitle), text,
                  QMessageBox::Ok, parent);
  box.exec();
}

void ShowRealWarningBox(QWidget* parent, const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok, parent);
  box.exec();
}

ErrorBoxPresenter g_presenter = &ShowMessageBox;
WarningBoxPresenter g_warning_presenter = &ShowRealWarningBox;

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
  return QString::fromStdString(rds::Cp1252ToUtf8(bytes.toStdString()));
}

void ShowErrorBox(QWidget* parent, const QString& message) {
  g_presenter(parent, ErrorBoxText(message));
}

ErrorBoxPresenter SetErrorBoxPresenter(ErrorBoxPresenter presenter) {
  ErrorBoxPresenter old = g_presenter;
  g_presenter = presenter ? presenter : &ShowMessageBox;
  return old;
}

void ShowWarningBox(QWidget* parent, const QString& caption, const QString& text) {
  g_warning_presenter(parent, caption, text);
}

WarningBoxPresenter SetWarningBoxPresenter(WarningBoxPresenter presenter) {
  WarningBoxPresenter old = g_warning_presenter;
  g_warning_presenter = presenter ? presenter : &ShowRealWarningBox;
  return old;
}

}  // namespace app
