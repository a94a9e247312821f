#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "appcore/settings_file.h"
#include "rds/rbds.h"
#include "rds/station.h"
#include "rds/station_checks.h"
#include "transfer/last_sent_record.h"

class QLineEdit;

namespace Ui {
class Form1;
}

// The program's one window: the station settings on the Main tab, the port choice, the two
// window options and the Last-sent record on the System tab, the help text on the Help tab,
// and the Exit and Send buttons with the progress bar of a send below the tabs.
//
// The controls carry the names that the settings file, the translation and the send read
// and write them by (Controls() or findChild); every control has a dynamic property "Tag",
// 1 where its captions and hints may be translated.
class TForm1 : public QWidget {
  Q_OBJECT

 public:
  // Work of other parts of the program that the window's handlers start. Each is optional;
  // an empty one does nothing. They may throw: the calling handler reports the error.
  struct Hooks {
    std::function<void(TForm1&)> translate_form;             // start-up step 1
    std::function<void(TForm1&)> reset_port_setting;         // start-up step 2, to LPT1
    std::function<void(TForm1&)> reset_time_of_last_send;    // start-up step 4
    std::function<void(TForm1&)> load_settings;              // start-up step 6, LoadRDSFN
    std::function<void(TForm1&)> save_settings;              // SaveRDSFN, at exit
    std::function<void(TForm1&)> apply_port_choice;          // PORTClick
    std::function<void(TForm1&)> close_serial_port;          // at exit, errors ignored
    std::function<void(TForm1&)> enable_direct_port_access;  // start-up step 12
    std::function<void(TForm1&)> send;                       // UPClick
    std::function<void(TForm1&)> keep_pty_list;              // RBDSClick: keep the choice
  };

  // Builds the window from its definition and runs StartDIRI; the caller shows it.
  explicit TForm1(Hooks hooks = {}, QWidget* parent = nullptr);
  // Runs Button1Click.
  ~TForm1() override;

  Ui::Form1& Controls() { return *ui_; }

  // Handlers of the window (names as bound to its controls).
  void StartDIRI();
  void Button1Click();  // runs once; later calls do nothing
  void EXClick();
  void UPClick();
  void PORTClick();
  void ALONTOPClick();
  void HIPRIClick();
  void RBDSClick();
  void ShowLastSent();
  void ShowHelp();

  // Work of other parts, called from the handlers above.
  void TranslateForm();
  void LoadRDSFN();
  void SaveRDSFN();
  void CloseSerialPort();
  void SetDirectPortAccess();

  // Program changes of the two options and the port choice. Like the operator's clicks
  // they run the control's handler when, and only when, the state changes.
  void SetAlwaysOnTop(bool on);
  void SetHighPriority(bool on);
  // -1 clears the choice (no handler runs for that).
  void SetPortIndex(int index);
  int PortIndex() const;
  // The names the PTY list shows: Europe's, or North America's (RBDS). The chosen code stays
  // chosen; a program change keeps nothing (RBDSClick does, for the operator's click).
  void SetPtyList(rds::PtyNames names);
  rds::PtyNames PtyList() const;

  // The Main tab's values as the controls hold them now (texts in the 8-bit character set,
  // AF texts as typed, with either decimal mark).
  rds::StationSettings StationValues() const;
  // Puts station values into the Main tab's controls.
  void ShowStationValues(const rds::StationSettings& station);
  // The PI and AF texts as a send corrected them; the other controls stay as they are.
  void ShowCorrectedTexts(const std::string& pi, const rds::AfTexts& af);
  // Everything the settings file stores, as the window holds it now.
  app::SettingsValues StoredValues() const;
  // Puts loaded values into the controls. The three System-tab choices go through the
  // same change path as the operator's clicks, in the file's order: Always on top, Port,
  // High priority.
  void ShowStoredValues(const app::SettingsValues& values);

  // The Last-sent record that ShowLastSent shows (bytes of the 8-bit character set).
  const transfer::LastSentRecord& LastSent() const { return last_sent_; }
  void SetLastSent(const transfer::LastSentRecord& record) { last_sent_ = record; }

  // Window-side pieces of a send.
  static void SetBusyCursor(bool busy);
  void SetProgress(int position);  // hides the on-air verdict once a send runs

  // The verdict of the on-air monitor, in place of the progress bar; kNone shows the progress
  // bar again. kChanged: what is on air changed without a Send. detail is the time
  // (kConfirmed) or the fields' names (kDiffers, kWeak, kChanged). kDiffers and kChanged show
  // in red, with each field's value on air and as sent last in the tooltip.
  enum class AirVerdict { kNone, kChecking, kConfirmed, kDiffers, kWeak, kNoRds, kChanged };
  struct AirField {
    QString name, on_air, sent;
  };
  void ShowAirVerdict(AirVerdict verdict, const QString& detail = {},
                      const std::vector<AirField>& fields = {});
  // The mistakes in what a send sent, as one line in the same place (all of them in its
  // tooltip), above the verdict when one comes; gone when the next send runs.
  void ShowSendWarnings(const std::vector<rds::StationWarning>& warnings);
  static void ProcessPendingMessages();

 signals:
  // The window has been closed (Exit, Esc, title bar, system menu, Alt+F4).
  void Closed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  std::array<QLineEdit*, rds::kAfCount> AfBoxes() const;
  void SetUpControls();
  void FitLabels();
  void MakeLabelsPlainText();
  void UpdatePortTabStop();
  void ShowOnAirArea();
  void ConnectHandlers();
  void Run(const std::function<void(TForm1&)>& hook) {
    if (hook) hook(*this);
  }

  std::unique_ptr<Ui::Form1> ui_;
  Hooks hooks_;
  transfer::LastSentRecord last_sent_{};
  bool destroyed_ = false;
  // The serial port the settings file chose when start-up fell back to LPT1 because it
  // would not open (an adapter unplugged): saved instead of LPT1 until the operator chooses.
  std::optional<int> unopened_port_index_;
  bool shown_before_ = false;
  QRect onair_place_;          // the verdict's place, that of the progress bar
  QString air_verdict_;        // the on-air verdict's text, empty for none
  QString air_tip_;            // what the verdict found, for the tooltip
  bool air_fault_ = false;     // the verdict shows in red
  QStringList send_warnings_;  // the last send's warnings, translated
};

namespace app {

// One line about the program: the tooltip of the logo and the first default help line.
QString AboutLine();

// The help file's name, looked for in the program folder.
inline constexpr char kHelpFileName[] = "tvxhelp.rtf";
// The shipped help text is a few KB; a larger file than this is refused unread, so that
// start-up and the Help tab stay quick.
inline constexpr std::size_t kHelpFileLimit = 2 * 1024 * 1024;

// The font every control uses unless it says otherwise: 8 points of a plain sans serif.
QFont WindowFont();

}  // namespace app
