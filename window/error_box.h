#pragma once

#include <QString>
#include <exception>
#include <utility>

class QWidget;

namespace app {

// Caption of the standard error box and text of the taskbar button.
inline constexpr char kApplicationTitle[] = "RDS Encoder Q7";

// The text the standard error box shows for an error message: the message with a full stop
// appended when its last character's code lies above that of the full stop (0x2E): "Disk full"
// gets one, "Done." and "(none)" stay as they are.
QString ErrorBoxText(const QString& message);

// An error's message as text: valid UTF-8 is taken as such, anything else as the program's
// 8-bit character set.
QString MessageText(const char* what);

// Shows the standard error box (error icon, one OK button, the application title as
// caption) for a message, modal to parent (which may be null).
void ShowErrorBox(QWidget* parent, const QString& message);

// Tests replace the box with a recorder; null restores the real box. Returns the old one.
using ErrorBoxPresenter = void (*)(QWidget* parent, const QString& text);
ErrorBoxPresenter SetErrorBoxPresenter(ErrorBoxPresenter presenter);

// Other modal message boxes with one OK button and a caption of their own: the port
// choice's warning and the refusal of a second start.
enum class BoxIcon { kWarning, kError };
void ShowMessageBox(BoxIcon icon, QWidget* parent, const QString& caption, const QString& text);

// Tests replace these boxes with a recorder; null restores the real box. Returns the old
// one.
using MessageBoxPresenter = void (*)(BoxIcon icon, QWidget* parent, const QString& caption,
                                     const QString& text);
MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter);

// Runs one event handler. An error that leaves it is reported in the standard error box;
// the rest of the handler is skipped and the program goes on. Returns false after an error.
template <typename Handler>
bool RunGuarded(QWidget* parent, Handler&& handler) {
  try {
    std::forward<Handler>(handler)();
    return true;
  } catch (const std::exception& e) {
    ShowErrorBox(parent, MessageText(e.what()));
  } catch (...) {
    ShowErrorBox(parent, QStringLiteral("Unknown error"));
  }
  return false;
}

}  // namespace app
