// The window tests need a QApplication; without a display they use Qt's offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include "window/error_box.h"
#include "window/program_folder.h"
#include "tests/window/gui_test_support.h"

namespace gui_test {

std::vector<QString>& ShownErrorBoxes() {
  static std::vector<QString> shown;
  return shown;
}

std::vector<QString>& ShownMessageBoxes() {
  static std::vector<QString> shown;
  return shown;
}

namespace {
void RecordErrorBox(QWidget*, const QString& text) {
  ShownErrorBoxes().push_back(text);
}
void RecordMessageBox(app::BoxIcon icon, QWidget*, const QString& caption, const QString& text) {
  const QString kind =
      icon == app::BoxIcon::kWarning ? QStringLiteral("Warning ") : QStringLiteral("Error ");
  ShownMessageBoxes().push_back(kind + caption + QStringLiteral(": ") + text);
}
}  // namespace

}  // namespace gui_test

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  // The build folder holds the real help file beside the programs; tests start from an
  // empty program folder and put there what they need.
  QTemporaryDir empty_folder;
  app::OverrideExecutableFolderForTesting(empty_folder.path());
  app::SetErrorBoxPresenter(&gui_test::RecordErrorBox);
  app::SetMessageBoxPresenter(&gui_test::RecordMessageBox);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
