#pragma once

#include <QObject>
#include <QPointer>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "receiver/air_guard.h"
#include "transfer/port_choice.h"
#include "transfer/precise_pacer.h"
#include "transfer/send_sequence.h"
#include "transfer/send_view.h"
#include "transfer/time_of_day.h"
#include "transfer/va_comm.h"
#include "window/air_watcher.h"
#include "window/dedaraz.h"
#include "window/qiv_language.h"

namespace app {

// The parts of the program behind the window's handlers: the translation, the settings
// file, the port choice with the serial port object, the port driver and the send
// sequence. The window reaches them through the hooks; they reach the window's controls
// through the views below. Lives longer than the window.
class Program final : private transfer::SendView, private transfer::PortChoiceView {
 public:
  // What tests put in place of the system's serial port, clock and pacer; each one left
  // empty is the system's.
  struct Parts {
    std::unique_ptr<transfer::TVaCustomComm> comm;
    transfer::TimeOfDayClock* clock = nullptr;
    transfer::Pacer* pacer = nullptr;
    QString locale_name;  // the user's locale ("de_DE") for the translation; empty: the system's
    // The on-air monitor's command; unset: the one saved in the user's folder, if any.
    std::optional<std::string> monitor_command;
    // How long a Send has to show on air, and how long a change on air that no Send made
    // must hold before the window tells it.
    std::chrono::milliseconds confirm_timeout = std::chrono::seconds(20);
    std::chrono::milliseconds change_grace = std::chrono::seconds(5);
    transfer::PortDriver* port_driver = nullptr;  // null: the process's own
  };

  Program();
  explicit Program(Parts parts);
  ~Program() override;

  TForm1::Hooks Hooks();

  // LoadRDSFN and SaveRDSFN.
  void LoadSettings(TForm1& form);
  void SaveSettings(TForm1& form);

  transfer::TVaCustomComm& Comm() { return *comm_; }
  int PortSetting() const { return port_choice_.PortSetting(); }

 private:
  // transfer::SendView
  rds::StationSettings ReadSettings() override;
  void WriteBackTexts(const std::string& pi, const rds::AfTexts& af) override;
  void ProcessPendingMessages() override;
  void SetProgress(int position) override;
  void SetBusyCursor(bool busy) override;
  void ShowLastSent(const transfer::LastSentRecord& record) override;

  // transfer::PortChoiceView
  void ShowWarning(const std::string& text, const std::string& caption) override;
  void ShowSystemTab() override;
  void SetPortIndex(int index) override;

  TForm1& Form();
  std::unique_ptr<transfer::LineDriver> ChooseLineDriver(transfer::PortDriver& driver);
  // The monitor command saved now (or the one given); none when none is.
  std::optional<std::string> MonitorCommand() const;
  // The watch over the air with the monitor command saved now: started, started anew with
  // another command, or ended when none is saved. Null without a monitor.
  AirWatcher* Watcher(TForm1& form);
  // After a send, when a monitor is set up: the verdict comes in place of the progress bar.
  void ConfirmOnAir(TForm1& form);
  // An event of the watch, in the window's thread.
  void ShowAirEvent(receiver::AirEvent event,
                    const std::vector<receiver::FieldDifference>& differences);

  TForm1* form_ = nullptr;
  std::unique_ptr<transfer::TVaCustomComm> comm_;
  transfer::PortChoice port_choice_;
  TqivLanguage language_;
  transfer::SystemTimeOfDayClock clock_;
  transfer::PrecisePacer pacer_;
  transfer::SendSequence send_;
  // Set once the load at start-up has run to its end. Until then the file on disk holds
  // the operator's values and the window does not, so exit must not save over it.
  bool settings_loaded_ = false;
  // The load found a file it could not use: a copy is kept before the first save.
  bool keep_ignored_file_ = false;
  QString locale_name_;
  std::optional<std::string> monitor_command_;
  std::chrono::milliseconds confirm_timeout_;
  std::chrono::milliseconds change_grace_;
  // The watcher's events reach the window's thread through this object, which outlives it.
  QObject relay_;
  QPointer<TForm1> watched_form_;
  unsigned watches_ = 0;  // watchers started, so that an earlier one's late events are dropped
  unsigned sends_ = 0;    // Sent calls to the present watcher
  std::unique_ptr<AirWatcher> watcher_;
};

}  // namespace app
