// Prints how long the window takes to come up with a given help file, and the longest time
// the window's event loop is held up while the Help tab is shown and scrolled to its end:
//   help_timing FILE   (QT_QPA_PLATFORM=offscreen without a display)
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "window/dedaraz.h"
#include "window/program_folder.h"
#include "ui_dedaraz.h"

namespace {

// Runs the event loop for ms milliseconds with a 5 ms tick; returns the longest gap
// between two ticks (or to the end), i.e. the longest the window could not react.
qint64 LongestStall(int ms) {
  QElapsedTimer clock;
  clock.start();
  qint64 last = 0, longest = 0;
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    longest = std::max(longest, now - last);
    last = now;
  });
  tick.start(5);
  while (clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
  return std::max(longest, clock.elapsed() - last);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: help_timing FILE\n");
    return 2;
  }
  QTemporaryDir folder;
  if (!QFile::copy(QString::fromLocal8Bit(argv[1]), folder.filePath("tvxhelp.rtf"))) {
    std::fprintf(stderr, "help_timing: cannot copy %s\n", argv[1]);
    return 1;
  }
  app::OverrideExecutableFolderForTesting(folder.path());

  QElapsedTimer clock;
  clock.start();
  auto form = std::make_unique<TForm1>(TForm1::Hooks{});
  form->show();
  QApplication::processEvents();
  const qint64 start_ms = clock.elapsed();

  clock.restart();
  form->Controls().PageControl1->setCurrentIndex(2);
  QApplication::processEvents();
  const qint64 tab_ms = clock.elapsed();
  const qint64 stall_ms = LongestStall(2000);

  clock.restart();
  QScrollBar* bar = form->Controls().HelpBox->verticalScrollBar();
  bar->setValue(bar->maximum());
  QApplication::processEvents();
  const qint64 end_ms = clock.elapsed();
  const qint64 end_stall_ms = LongestStall(2000);

  std::printf(
      "window_up_ms=%lld help_tab_ms=%lld longest_stall_ms=%lld scroll_to_end_ms=%lld "
      "longest_stall_after_scroll_ms=%lld blocks=%d\n",
      static_cast<long long>(start_ms), static_cast<long long>(tab_ms),
      static_cast<long long>(stall_ms), static_cast<long long>(end_ms),
      static_cast<long long>(end_stall_ms), form->Controls().HelpBox->document()->blockCount());
  return 0;
}
