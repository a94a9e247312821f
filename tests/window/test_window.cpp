#include "tests/window/test_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QVBoxLayout>

namespace app::testing {
namespace {

template <typename Widget>
Widget* Make(QWidget* parent, const char* name, int tag) {
  auto* widget = new Widget(parent);
  widget->setObjectName(QString::fromLatin1(name));
  widget->setProperty("Tag", tag);
  return widget;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* text, const char* hint = "") {
  auto* label = Make<QLabel>(parent, name, 1);
  label->setText(QString::fromLatin1(text));
  label->setToolTip(QString::fromLatin1(hint));
  return label;
}

}  // namespace

std::unique_ptr<QWidget> MakeTestWindow() {
  auto window = std::make_unique<QWidget>();
  window->setObjectName("Form1");
  window->setWindowTitle("RDS Encoder Q7");
  window->setProperty("Tag", 0);

  auto* pages = Make<QTabWidget>(window.get(), "PageControl1", 0);
  auto* main = Make<QWidget>(nullptr, "Main", 1);
  auto* system = Make<QWidget>(nullptr, "System", 1);
  auto* help = Make<QWidget>(nullptr, "Help", 1);
  pages->addTab(main, "Main");
  pages->addTab(system, "System");
  pages->addTab(help, "Help");
  Make<QProgressBar>(window.get(), "ProgressBar1", 0);
  Make<QPushButton>(window.get(), "EX", 1)->setText("Exit");
  Make<QPushButton>(window.get(), "UP", 1)->setText("Send");

  MakeLabel(main, "Label2", "Program Service");
  MakeLabel(main, "Label1", "Program Type");
  Make<QLabel>(main, "Image2", 0)->setToolTip("about line");
  Make<QLineEdit>(main, "PS", 0)->setText("FM RADIO");
  Make<QComboBox>(main, "PTY", 0)->addItem("(None)");
  MakeLabel(main, "Label9", "Alternative Frequencies");
  for (const char* af : {"AF1", "AF2", "AF3", "AF4", "AF5", "AF6", "AF7"}) {
    Make<QLineEdit>(main, af, 0);
  }
  MakeLabel(main, "Label4", "M/S", "Music/Speech");
  Make<QComboBox>(main, "MS", 0)->addItems({"Speech", "Music"});
  MakeLabel(main, "Label7", "PI", "Program Identification");
  Make<QLineEdit>(main, "PI", 0)->setText("FFFF");
  MakeLabel(main, "Label5", "TP", "Traffic Program");
  Make<QComboBox>(main, "TP", 0)->addItems({"0", "1"});
  MakeLabel(main, "Label6", "TA", "Traffic Announcement");
  Make<QComboBox>(main, "TA", 0)->addItems({"0", "1"});
  MakeLabel(main, "Label8", "DI", "Decoder Identification");
  Make<QListWidget>(main, "DI", 0)->addItems({"Stereo", "Art. H.", "Comp.", "DPTY"});

  MakeLabel(system, "Label3", "Last sent");
  Make<QPlainTextEdit>(system, "SENT", 0);
  Make<QCheckBox>(system, "ALONTOP", 1)->setText("Always on top");
  Make<QCheckBox>(system, "HIPRI", 1)->setText("High priority");
  auto* port = Make<QGroupBox>(system, "PORT", 1);
  port->setTitle("Port");
  auto* port_layout = new QVBoxLayout(port);
  for (const char* item : {"LPT1 (0x378)", "LPT2 (0x278)", "COM1", "COM2"}) {
    port_layout->addWidget(new QRadioButton(QString::fromLatin1(item), port));
  }

  Make<QTextEdit>(help, "HelpBox", 0);
  return window;
}

}  // namespace app::testing
