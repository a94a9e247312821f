// The window together with the parts behind it: settings file, port choice, send.
#include "window/program.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <utility>

#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#endif

#include "rds/station.h"
#include "tests/receiver/mpx_synth.h"
#include "tests/transfer/fakes.h"
#include "tests/window/gui_test_support.h"
#include "transfer/last_sent_record.h"
#include "transfer/preamble.h"
#include "ui_dedaraz.h"
#include "window/program_folder.h"

namespace {

using transfer::testing::At;
using transfer::testing::FakePacer;
using transfer::testing::FakeTimeOfDay;

// A serial port whose numbered ports exist or not, and which notes its lines' changes.
class FakeComm final : public transfer::TVaCustomComm {
 public:
  struct State {
    std::set<int> missing_ports;
    std::vector<std::string> calls;
    int opens = 0;
  };
  explicit FakeComm(State& state) : state_(state) {}

  void Open() override {
    if (state_.missing_ports.count(PortNum())) {
      throw transfer::EVaCommError("Specified device not found (" + PortName() + ").", 2);
    }
    ++state_.opens;
    active_ = true;
  }
  void Close() override { active_ = false; }
  bool Active() const override { return active_; }
  void SetDtrLine(bool level) override {
    if (active_) state_.calls.push_back(level ? "DTR1" : "DTR0");
  }
  void SetRtsLine(bool level) override {
    if (active_) state_.calls.push_back(level ? "RTS1" : "RTS0");
  }

 private:
  State& state_;
  bool active_ = false;
};

// The Last-sent record is that of sent, or lines of no send.
QByteArray SettingsFile(const QByteArray& ps, const QByteArray& port,
                        std::optional<rds::StationSettings> sent = std::nullopt) {
  QList<QByteArray> lines = {ps, "10", "1", "0",    "98.5", "",  "",   "", "",
                             "", "",   "1", "2A07", "0001", "0", port, "0"};
  for (int i = 0; i < 14; ++i) lines << QByteArray("X=") + QByteArray::number(i);
  if (sent) {
    const transfer::LastSentRecord record = transfer::BuildLastSentRecord(*sent);
    for (std::size_t i = 0; i < record.size(); ++i) lines[17 + i] = record[i].c_str();
  }
  return lines.join("\r\n") + "\r\n";
}

#ifndef _WIN32
// The multiplex of the window's default values but for PS; weak: the last PS segment lost.
std::vector<std::int16_t> StationMpx(const std::string& ps, bool weak = false, double seconds = 2) {
  rds::StationSettings station;
  station.ps = ps;
  const auto image = rds::Encode(station).image;
  std::vector<std::uint8_t> bits(image.begin(), image.end());
  for (const std::size_t bit : {81, 83}) bits[3 * 104 + bit] ^= weak ? 1 : 0;
  return receiver::testing::SynthesizeMpx(bits, seconds, {});
}

bool ShownInRed(const QLabel& label) {
  const QColor colour = label.palette().color(QPalette::WindowText);
  return colour.hue() == 0 && colour.saturation() == 255;
}
#endif

class ProgramWithWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    app::OverrideExecutableFolderForTesting(folder_.path() + u'/');
    // As if an earlier start-up step had set it: a save always has a folder to write to.
    app::SetProgramFolder(folder_.path() + u'/');
    gui_test::ShownErrorBoxes().clear();
    gui_test::ShownMessageBoxes().clear();
  }
  void TearDown() override {
    form_.reset();
    program_.reset();
    app::OverrideExecutableFolderForTesting(previous_folder_);
  }

  void Start() {
    app::Program::Parts parts;
    if (!system_comm_) parts.comm = std::make_unique<FakeComm>(comm_);
    parts.locale_name = locale_name_;
    parts.clock = &clock_;
    parts.pacer = &pacer_;
    parts.monitor_command = monitor_command_;
    parts.confirm_timeout = std::chrono::seconds(4);  // the verdict within the tests' wait
    parts.change_grace = std::chrono::seconds(1);
    parts.port_driver = port_driver_;
    program_ = std::make_unique<app::Program>(std::move(parts));
    form_ = std::make_unique<TForm1>(program_->Hooks());
  }
  void Stop() {
    form_.reset();
    program_.reset();
  }
  void Write(const QString& name, const QByteArray& content) {
    QFile file(QDir(folder_.path()).filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
  }
  QByteArray Read(const QString& name) {
    QFile file(QDir(folder_.path()).filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  Ui::Form1& ui() { return form_->Controls(); }
  // A monitor command that plays mpx, kept in a file of that name.
  std::string Play(const QString& name, const std::vector<std::int16_t>& mpx) {
    Write(name, QByteArray(reinterpret_cast<const char*>(mpx.data()),
                           static_cast<qsizetype>(mpx.size() * sizeof mpx[0])));
    return "cat '" + QDir(folder_.path()).filePath(name).toStdString() + "'";
  }

  QString previous_folder_ = app::ExecutableFolder();
  QTemporaryDir folder_;
  FakeComm::State comm_;
  bool system_comm_ = false;  // the system's serial port object instead of FakeComm
  std::optional<std::string> monitor_command_;
  transfer::PortDriver* port_driver_ = nullptr;
  QString locale_name_;
  FakeTimeOfDay clock_{At(12, 0, 0)};
  FakePacer pacer_;
  std::unique_ptr<app::Program> program_;
  std::unique_ptr<TForm1> form_;
};

TEST_F(ProgramWithWindow, SettingsChoosingAnAbsentCom2WarnOnceAndComeUpWithLpt1OnTheSystemTab) {
  Write("tolvex.dat", SettingsFile("RADIO 9", "3"));
  comm_.missing_ports = {2};
  Start();
  EXPECT_EQ(gui_test::ShownMessageBoxes(),
            std::vector<QString>{"Warning Warning: Can't open specified port (COM2)."});
  EXPECT_TRUE(gui_test::ShownErrorBoxes().empty());
  EXPECT_EQ(form_->PortIndex(), 0);
  EXPECT_EQ(program_->PortSetting(), 888);
  EXPECT_FALSE(program_->Comm().Active());
  EXPECT_EQ(ui().PageControl1->currentIndex(), 1);
  // The rest of the file is loaded all the same.
  EXPECT_EQ(ui().PS->text(), "RADIO 9");
  EXPECT_EQ(ui().PTY->currentIndex(), 10);
  EXPECT_EQ(ui().DI->item(0)->checkState(), Qt::Checked);
  EXPECT_EQ(ui().SENT->toPlainText().split(u'\n').first(), "X=0");
  // The operator's COM2 is kept for the adapter's return, unless they choose another port.
  Stop();
  EXPECT_EQ(Read("tolvex.dat").split('\n').at(15), "3\r");
  Start();
  form_->SetPortIndex(1);
  Stop();
  EXPECT_EQ(Read("tolvex.dat").split('\n').at(15), "1\r");
}

TEST_F(ProgramWithWindow, ExitAndClosingBothSaveAndTheNextStartShowsTheSameValues) {
  for (const bool with_exit_button : {true, false}) {
    SCOPED_TRACE(with_exit_button ? "Exit button" : "window closed");
    QFile::remove(QDir(folder_.path()).filePath("tolvex.dat"));
    Start();
    ui().PS->setText(QStringLiteral("Klassik"));
    ui().AF3->setText(QStringLiteral("101.1"));
    ui().PI->setText(QStringLiteral("d3c1"));
    ui().DI->item(3)->setCheckState(Qt::Checked);
    form_->SetPortIndex(2);
    ASSERT_TRUE(program_->Comm().Active());
    if (with_exit_button) {
      QTest::mouseClick(ui().EX, Qt::LeftButton);
    } else {
      form_->close();
    }
    Stop();
    EXPECT_FALSE(Read("tolvex.dat").isEmpty());

    Start();
    EXPECT_EQ(ui().PS->text(), "Klassik");
    EXPECT_EQ(ui().AF3->text(), "101.1");
    EXPECT_EQ(ui().PI->text(), "D3C1");
    EXPECT_EQ(ui().DI->item(3)->checkState(), Qt::Checked);
    EXPECT_EQ(form_->PortIndex(), 2);
    EXPECT_TRUE(program_->Comm().Active());
    Stop();
  }
  EXPECT_TRUE(gui_test::ShownErrorBoxes().empty());
}

TEST_F(ProgramWithWindow, SendClocksPreambleAndImageOverTheSerialLinesAndShowsTheRecord) {
  Start();
  form_->SetPortIndex(2);
  ui().PS->setText(QStringLiteral("R\u00e1dio"));
  ui().PI->setText(QStringLiteral("2a07"));
  ui().AF1->setText(QStringLiteral("abc"));
  ui().AF2->setText(QStringLiteral("98.5"));
  ui().AF3->setText(QStringLiteral("101,2"));  // either mark, whatever the locale
  ui().AF4->setText(QStringLiteral("9S.5"));   // a mistyped letter is no "0": dropped
  comm_.calls.clear();
  // Start-up counts as a send: a press within two seconds of it does nothing.
  clock_.Set(At(12, 0, 1, 500));
  QTest::mouseClick(ui().UP, Qt::LeftButton);
  EXPECT_TRUE(comm_.calls.empty());
  clock_.Set(At(12, 0, 3));
  QTest::mouseClick(ui().UP, Qt::LeftButton);
  ASSERT_TRUE(gui_test::ShownErrorBoxes().empty()) << gui_test::ShownErrorBoxes()[0].toStdString();

  // The corrections are shown in the boxes and in the record.
  EXPECT_EQ(ui().PI->text(), "2A07");
  EXPECT_EQ(ui().AF1->text(), "98.5");
  EXPECT_EQ(ui().AF2->text(), "101,2");
  EXPECT_EQ(ui().AF3->text(), "");
  EXPECT_EQ(ui().AF4->text(), "");
  const QStringList record = ui().SENT->toPlainText().split(u'\n');
  ASSERT_EQ(record.size(), 14);
  EXPECT_EQ(record[0], QStringLiteral("PS=R\u00e1dio"));
  EXPECT_EQ(record[4], "AF1=98.5");
  EXPECT_EQ(record[12], "PI=2A07");
  EXPECT_EQ(ui().ProgressBar1->value(), 0);

  // Reading the data line at every rising clock edge gives the preamble, then the image
  // that the encoding makes of the window's values.
  rds::StationSettings station;
  station.ps =
      "R\xE1"
      "dio";
  station.pi = "2A07";
  station.af = {"98.5", "101.2", "", "", "", "", ""};
  const rds::EncoderImage image = rds::Encode(station).image;
  std::string expected;
  for (rds::BitCell bit : transfer::PreambleCells()) expected += static_cast<char>('0' + bit);
  for (rds::BitCell bit : image) expected += static_cast<char>('0' + bit);

  std::string clocked;
  bool data = false;
  for (const std::string& call : comm_.calls) {
    if (call == "DTR1" || call == "DTR0") data = call == "DTR1";
    if (call == "RTS1") clocked += data ? '1' : '0';
  }
  EXPECT_EQ(clocked, expected);
  ASSERT_GE(comm_.calls.size(), 4U);
  EXPECT_EQ(comm_.calls.front(), "DTR0");
  EXPECT_EQ(comm_.calls.back(), "RTS0");
}

// A PI the send corrects is told beside Send, as typed and as sent, with the other mistakes
// in the tooltip; the bits are those of the PI sent. The next Send takes the line away.
TEST_F(ProgramWithWindow, SendTellsTheMistakesItSentUntilTheNextSend) {
  const auto clocked = [&] {
    std::string bits;
    bool data = false;
    for (const std::string& call : std::exchange(comm_.calls, {})) {
      if (call == "DTR1" || call == "DTR0") data = call == "DTR1";
      if (call == "RTS1") bits += data ? '1' : '0';
    }
    return bits;
  };
  Start();
  form_->SetPortIndex(2);
  comm_.calls.clear();
  clock_.Set(At(12, 0, 3));
  QTest::mouseClick(ui().UP, Qt::LeftButton);  // PI FFFF and PS FM RADIO, as the window starts
  const std::string factory = clocked();

  ui().PI->setText(QStringLiteral("12G4"));
  clock_.Set(At(12, 0, 6));
  QTest::mouseClick(ui().UP, Qt::LeftButton);
  EXPECT_EQ(clocked(), factory);
  EXPECT_EQ(ui().PI->text(), "FFFF");
  EXPECT_EQ(ui().ONAIR->text().replace(u'\n', u' '),
            "PI '12G4' is not four hexadecimal digits: FFFF was sent (+2)");
  EXPECT_EQ(ui().ONAIR->toolTip(),
            "PI '12G4' is not four hexadecimal digits: FFFF was sent\n"
            "PI FFFF is the factory default or unset: receivers may confuse this station with "
            "others\nPS is still the program's default 'FM RADIO'");

  ui().PI->setText(QStringLiteral("2A07"));
  ui().PS->setText(QStringLiteral("NEWS"));
  clock_.Set(At(12, 0, 9));
  QTest::mouseClick(ui().UP, Qt::LeftButton);
  EXPECT_FALSE(ui().ONAIR->isVisibleTo(form_.get()));
  EXPECT_TRUE(ui().ProgressBar1->isVisibleTo(form_.get()));
}

// The choice of North America lives in its own file in the user's folder, not in the
// settings file, and comes back at the next start.
TEST_F(ProgramWithWindow, TheRbdsChoiceIsKeptInTheUsersFolder) {
  const QByteArray xdg = qgetenv("XDG_CONFIG_HOME"), appdata = qgetenv("APPDATA");
  qputenv("XDG_CONFIG_HOME", folder_.path().toLocal8Bit());
  qputenv("APPDATA", folder_.path().toLocal8Bit());
  Start();
  ui().RBDS->click();
  Stop();
  EXPECT_EQ(Read("rdsq7/rbds.txt"), "rbds\n");
  EXPECT_EQ(Read("tolvex.dat").count('\n'), 31);
  Start();
  EXPECT_EQ(ui().PTY->itemText(10), "Country");
  ui().RBDS->click();
  Stop();
  EXPECT_FALSE(QFile::exists(QDir(folder_.path()).filePath("rdsq7/rbds.txt")));
  for (const auto& [name, value] : {std::pair{"XDG_CONFIG_HOME", xdg}, {"APPDATA", appdata}}) {
    value.isNull() ? qunsetenv(name) : qputenv(name, value);
  }
}

#ifndef _WIN32
// With a monitor set up, each Send ends with what the monitor found, in place of the
// progress bar; the next Send brings the bar back.
TEST_F(ProgramWithWindow, SendShowsTheOnAirVerdictWhereAMonitorIsSetUp) {
  struct Case {
    std::string command;
    QString verdict;
  };
  const Case cases[] = {{Play("same.raw", StationMpx("FM RADIO")), "On air \u2713 "},
                        {Play("other.raw", StationMpx("OTHER")), "On air: PS differs"},
                        {Play("weak.raw", StationMpx("FM RADIO", true)), "Too weak for PS"},
                        {"true", "No RDS received"}};
  int second = 3;
  for (const Case& c : cases) {
    monitor_command_ = c.command;
    Start();
    form_->SetPortIndex(2);
    clock_.Set(At(12, 0, second += 3));
    QTest::mouseClick(ui().UP, Qt::LeftButton);
    EXPECT_TRUE(ui().ONAIR->isVisibleTo(form_.get()));
    // Below the warnings of the window's own PI and PS.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return ui().ONAIR->text().section(u'\n', -1).startsWith(c.verdict); }, 20000))
        << ui().ONAIR->text().toStdString();
    EXPECT_FALSE(ui().ProgressBar1->isVisibleTo(form_.get()));
    EXPECT_EQ(ShownInRed(*ui().ONAIR), c.verdict.startsWith("On air:")) << c.command;
    Stop();
  }
  monitor_command_.reset();
  Start();  // no monitor, nothing to warn of: the window as ever
  ui().PI->setText(QStringLiteral("2A07"));
  ui().PS->setText(QStringLiteral("NEWS"));
  clock_.Set(At(12, 1, 0));
  QTest::mouseClick(ui().UP, Qt::LeftButton);
  EXPECT_FALSE(ui().ONAIR->isVisibleTo(form_.get()));
  EXPECT_TRUE(ui().ProgressBar1->isVisibleTo(form_.get()));
}

// While the window is open with a monitor saved, it watches the air against the last send,
// also without a Send: a change shows in red, with what is on air and what was sent last in
// the tooltip, until the operator sends. Nothing else turns it red: the air as sent, noise,
// a weak signal, a dead command, nothing sent before; without a monitor saved, nothing shows.
TEST_F(ProgramWithWindow, TheWindowTellsAChangeOnAirThatNoSendMade) {
  const QByteArray xdg = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", folder_.path().toLocal8Bit());
  QDir(folder_.path()).mkpath("rdsq7");
  const std::string saved = Play("other.raw", StationMpx("OTHER"));
  const auto noise = receiver::testing::SynthesizeMpx(std::vector<std::uint8_t>(104), 2,
                                                      {.rds_level = 0, .noise_rms = 0.3});
  const auto weak =
      receiver::testing::ThroughFmChain(StationMpx("FM RADIO", false, 4), {.cn_db = 11});
  struct Case {
    std::optional<std::string> command;  // unset: the one saved, if any
    bool sent_before;
    QString shown;
  } cases[] = {{std::nullopt, true, ""},  // before the monitor is saved
               {std::nullopt, true, "On air: PS differs"},
               {Play("same.raw", StationMpx("FM RADIO")), true, ""},
               {Play("noise.raw", noise), true, ""},
               {Play("weak.raw", weak), true, ""},
               {"exit 0", true, ""},
               {saved, false, ""}};
  std::vector<std::pair<std::unique_ptr<app::Program>, std::unique_ptr<TForm1>>> windows;
  for (const Case& c : cases) {
    Write("tolvex.dat",
          SettingsFile("FM RADIO", "2",
                       c.sent_before ? std::optional(rds::StationSettings{}) : std::nullopt));
    monitor_command_ = c.command;
    Start();
    windows.emplace_back(std::move(program_), std::move(form_));
    Write("rdsq7/monitor-command.txt", QByteArray::fromStdString(saved));
  }
  TForm1& changed = *windows[1].second;
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return changed.Controls().ONAIR->isVisibleTo(&changed); }, 20000));
  QTest::qWait(3000);  // the others' commands played to their end and started again
  for (std::size_t i = 0; i < windows.size(); ++i) {
    const QLabel& label = *windows[i].second->Controls().ONAIR;
    EXPECT_EQ(label.isVisibleTo(windows[i].second.get()) ? label.text() : "", cases[i].shown) << i;
    EXPECT_EQ(ShownInRed(label), !cases[i].shown.isEmpty()) << i;
  }
  EXPECT_EQ(
      changed.Controls().ONAIR->toolTip().replace(QRegularExpression("\\d\\d:\\d\\d:\\d\\d"), "T"),
      "Changed on air at T without a Send from this window\n"
      "PS on air: 'OTHER   ', sent last: 'FM RADIO'");
  EXPECT_TRUE(comm_.calls.empty());  // nothing sent
  clock_.Set(At(12, 0, 3));
  QTest::mouseClick(changed.Controls().UP, Qt::LeftButton);
  EXPECT_EQ(changed.Controls().ONAIR->text().section(u'\n', -1), "Checking on air\u2026");
  EXPECT_FALSE(ShownInRed(*changed.Controls().ONAIR));
  windows.clear();
  xdg.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", xdg);
}
#endif

// The verdict in the language of the shipped samples, from "checking" to what was found.
TEST_F(ProgramWithWindow, TheOnAirVerdictTakesTheTranslation) {
  struct Case {
    QString sample, checking, found;
  };
  const Case cases[] = {
      {"vuvur.de.lng", QStringLiteral("Pr\u00fcfe Sendung\u2026"), "Kein RDS empfangen"},
      {"vuvur.fr.lng", QStringLiteral("V\u00e9rification\u2026"),
       QStringLiteral("Aucun RDS re\u00e7u")},
  };
  monitor_command_ = "exit 0";  // nothing on air
  int second = 0;
  for (const Case& c : cases) {
    QFile::remove(QDir(folder_.path()).filePath("vuvur.lng"));
    QFile::copy(RDSQ7_SOURCE_DIR "/translations/" + c.sample,
                QDir(folder_.path()).filePath("vuvur.lng"));
    Start();
    form_->SetPortIndex(2);
    clock_.Set(At(12, 0, second += 3));
    QTest::mouseClick(ui().UP, Qt::LeftButton);
    // The verdict stands below the warnings of the window's default PI and PS.
    EXPECT_EQ(ui().ONAIR->text().section(u'\n', -1), c.checking);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return ui().ONAIR->text().section(u'\n', -1) == c.found; }, 20000))
        << ui().ONAIR->text().toStdString();
    Stop();
  }
}

// Without the port driver's file the PC most likely has no parallel port: the message says
// what to do instead, in the window's language.
TEST_F(ProgramWithWindow, ASendWithoutThePortDriverFileSuggestsASerialAdapter) {
  transfer::PortDriver driver(std::make_unique<transfer::testing::FakePortSystem>());
  driver.StartPortAccess();
  port_driver_ = &driver;
  const QString refused = "Can't access parallel port LPT1 (0x378). Check the driver. ";
  int second = 0;
  for (const QByteArray& hint : {QByteArray(), QByteArray("Ohne Parallelport: COM1 w\xe4hlen.")}) {
    Write("vuvur.lng", hint.isEmpty() ? QByteArray("[TRANSLATIONS]\r\n")
                                      : "[TRANSLATIONS]\r\nForm1.NOPARPORT.Caption=" + hint);
    gui_test::ShownErrorBoxes().clear();
    Start();
    clock_.Set(At(12, 0, second += 3));
    QTest::mouseClick(ui().UP, Qt::LeftButton);
    ASSERT_EQ(gui_test::ShownErrorBoxes().size(), 1U);
    EXPECT_EQ(
        gui_test::ShownErrorBoxes()[0],
        refused + (hint.isEmpty() ? "On a PC without a parallel port, choose COM1 or COM2 on "
                                    "the System tab, with a USB-serial adapter."
                                  : QString::fromUtf8("Ohne Parallelport: COM1 w\u00e4hlen.")));
    Stop();
  }
}

TEST_F(ProgramWithWindow, AFileWithEmptyLinesAtTheEndLoadsAndOneThatIsIgnoredIsKept) {
  const QByteArray ignored = SettingsFile("RADIO 9", "0") + "one line too many\r\n";
  for (const QByteArray& file : {SettingsFile("RADIO 9", "0") + "\r\n", ignored}) {
    Write("tolvex.dat", file);
    Start();
    EXPECT_EQ(ui().PS->text(), file == ignored ? "FM RADIO" : "RADIO 9");
    Stop();
  }
  EXPECT_EQ(Read("tolvex.dat.bak"), ignored);
}

#ifndef _WIN32
TEST_F(ProgramWithWindow, Com1LinkedToAPseudoTerminalIsTheDeviceTheSendDrives) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
  qputenv("XDG_CONFIG_HOME", folder_.path().toLocal8Bit());
  QDir(folder_.path()).mkpath("rdsq7");
  QFile::link(QString::fromLocal8Bit(::ptsname(master)), folder_.path() + "/rdsq7/com1");
  system_comm_ = true;
  Start();
  form_->SetPortIndex(2);
  clock_.Set(At(12, 0, 3));
  QTest::mouseClick(ui().UP, Qt::LeftButton);
  // Opened (no port message), but a pseudo-terminal has no modem lines to change.
  EXPECT_TRUE(gui_test::ShownMessageBoxes().empty());
  ASSERT_EQ(gui_test::ShownErrorBoxes().size(), 1U);
  EXPECT_TRUE(gui_test::ShownErrorBoxes()[0].contains("Error calling comm function ("));
  Stop();
  qunsetenv("XDG_CONFIG_HOME");
  ::close(master);
}
#endif

TEST_F(ProgramWithWindow, WithoutVuvurLngTheSampleForTheUsersLanguageTranslates) {
  QDir(folder_.path()).mkpath("translations");
  Write("translations/vuvur.de.lng", "[TRANSLATIONS]\r\nForm1.Label1.Caption=Programmart\r\n");
  for (const char* locale : {"de_DE", "C"}) {
    locale_name_ = QString::fromLatin1(locale);
    Start();
    EXPECT_EQ(ui().Label1->text(), locale_name_ == "C" ? "Program Type" : "Programmart");
    Stop();
  }
}

TEST_F(ProgramWithWindow, AFailedTranslationLeavesTheSettingsFileAsItWas) {
  const QByteArray file = SettingsFile("KEEP ME", "0");
  Write("tolvex.dat", file);
  Write("vuvur.lng", "[TRANSLATIONS]\r\nForm1.Label2.selectedText=refused\r\n");
  Start();
  ASSERT_EQ(gui_test::ShownErrorBoxes().size(), 1U);
  // The load never ran, so the window holds its defaults, not the operator's values; the
  // exit must not write them over the file.
  EXPECT_EQ(ui().PS->text(), "FM RADIO");
  Stop();
  EXPECT_EQ(Read("tolvex.dat"), file);
  EXPECT_EQ(gui_test::ShownErrorBoxes().size(), 1U);
}

TEST_F(ProgramWithWindow, TranslationChangesCaptionsButNeverLoadedValuesTitleOrAboutLine) {
  Write("tolvex.dat", SettingsFile("KEEP", "0"));
  Write("vuvur.lng",
        "[translations]\r\n"
        "Form1.Label1.Caption=Programmart\r\n"
        "Form1.PS.Text=CHANGED\r\n"
        "Form1.Form1.Caption=Other title\r\n"
        "Form1.Image2.Hint=Other about line\r\n"
        "Form1.System.Caption=Anlage\r\n");
  Start();
  EXPECT_TRUE(gui_test::ShownErrorBoxes().empty());
  EXPECT_EQ(ui().Label1->text(), "Programmart");
  EXPECT_EQ(ui().PageControl1->tabText(1), "Anlage");
  EXPECT_EQ(ui().PS->text(), "KEEP");
  EXPECT_EQ(form_->windowTitle(), "RDS Encoder Q7");
  EXPECT_EQ(ui().Image2->toolTip(), app::AboutLine());
}

}  // namespace
