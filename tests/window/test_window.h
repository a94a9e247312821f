#pragma once

#include <QWidget>
#include <memory>
#include <stdexcept>
#include <string>

namespace app::testing {

// A window shaped like the program's main window for the translation: the same names,
// kinds of widget and Tags (1 on the translatable controls, 0 on all others), the English
// texts, and tooltips on Label4 to Label8.
std::unique_ptr<QWidget> MakeTestWindow();

// The descendant widget of that objectName; fails the test when it is missing.
template <typename Widget = QWidget>
Widget* Find(QWidget& window, const char* name) {
  auto* widget = window.findChild<Widget*>(QString::fromLatin1(name));
  if (widget == nullptr) throw std::logic_error(std::string("test window lacks ") + name);
  return widget;
}

}  // namespace app::testing
