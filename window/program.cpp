#include "window/program.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMetaObject>
#include <QPointer>
#include <QTabWidget>
#include <QTime>
#include <filesystem>
#include <stdexcept>

#include "appcore/monitor_setting.h"
#include "appcore/settings_file.h"
#include "rds/station_checks.h"
#include "receiver/air_check.h"
#include "transfer/last_sent_record.h"
#include "transfer/zlportio.h"
#include "ui_dedaraz.h"
#include "window/error_box.h"
#include "window/program_folder.h"
#include "window/qt_text.h"

namespace app {
Program::Program() : Program(Parts{}) {}

namespace {

// The system's serial port object; COM1 and COM2 follow the port links in the user's folder
// for this program (rdsq7-cli ports), so a USB adapter can be either.
std::unique_ptr<transfer::TVaCustomComm> SystemComm() {
  auto comm = std::make_unique<transfer::TVaComm>();
  if (const auto folder = UserFolder(SystemEnvironment())) comm->SetPortLinkFolder(*folder);
  return comm;
}

}  // namespace

Program::Program(Parts parts)
    : comm_(parts.comm ? std::move(parts.comm) : SystemComm()),
      port_choice_(*comm_, *this),
      send_(*this, parts.clock ? *parts.clock : clock_, parts.pacer ? *parts.pacer : pacer_,
            [this, port_driver = parts.port_driver] {
              return ChooseLineDriver(port_driver ? *port_driver : transfer::ProcessPortDriver());
            }),
      locale_name_(parts.locale_name.isEmpty() ? QLocale::system().name() : parts.locale_name),
      monitor_command_(std::move(parts.monitor_command)),
      confirm_timeout_(parts.confirm_timeout),
      change_grace_(parts.change_grace) {
  language_.setObjectName(QStringLiteral("qivLanguage1"));
}

Program::~Program() {
  watcher_.reset();
  comm_->Close();
}

std::optional<std::string> Program::MonitorCommand() const {
  if (monitor_command_) return monitor_command_;
  // A monitor file that cannot be read is no reason to trouble the window or a send.
  try {
    if (const auto file = MonitorCommandFile(SystemEnvironment())) return ReadMonitorCommand(*file);
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

AirWatcher* Program::Watcher(TForm1& form) {
  const std::optional<std::string> command = MonitorCommand();
  if (watcher_ && command && watcher_->command() == *command) return watcher_.get();
  watcher_.reset();
  if (!command) return nullptr;
  watched_form_ = &form;
  sends_ = 0;
  watcher_ = std::make_unique<AirWatcher>(
      *command, confirm_timeout_, change_grace_,
      [this, watch = ++watches_](receiver::AirEvent event,
                                 std::vector<receiver::FieldDifference> differences,
                                 unsigned sends) {
        QMetaObject::invokeMethod(
            &relay_,
            [this, watch, sends, event, differences = std::move(differences)] {
              // Told by an earlier watcher, or of the air before the last Send: no longer so.
              if (watch != watches_ || sends != sends_ || !watcher_) return;
              ShowAirEvent(event, differences);
            },
            Qt::QueuedConnection);
      });
  return watcher_.get();
}

void Program::ConfirmOnAir(TForm1& form) {
  AirWatcher* watcher = Watcher(form);
  if (!watcher) return;
  form.ShowAirVerdict(TForm1::AirVerdict::kChecking);
  watcher->Sent(form.StationValues());
  ++sends_;
}

void Program::ShowAirEvent(receiver::AirEvent event,
                           const std::vector<receiver::FieldDifference>& differences) {
  if (!watched_form_) return;
  using receiver::AirEvent;
  using Verdict = TForm1::AirVerdict;
  const QString names = QString::fromStdString(receiver::DifferenceNames(differences));
  std::vector<TForm1::AirField> fields;
  for (const receiver::FieldDifference& d : differences) {
    if (d.received()) {
      fields.push_back({QString::fromLatin1(receiver::FieldName(d.field)),
                        QString::fromStdString(d.on_air), QString::fromStdString(d.expected)});
    }
  }
  switch (event) {
    case AirEvent::kNone:
      return;
    case AirEvent::kConfirmed:
      watched_form_->ShowAirVerdict(Verdict::kConfirmed,
                                    QTime::currentTime().toString(QStringLiteral("HH:mm:ss")));
      return;
    case AirEvent::kMismatch:
      watched_form_->ShowAirVerdict(Verdict::kDiffers, names, fields);
      return;
    case AirEvent::kIncomplete:
      watched_form_->ShowAirVerdict(Verdict::kWeak, names);
      return;
    case AirEvent::kNoRds:
      watched_form_->ShowAirVerdict(Verdict::kNoRds);
      return;
    case AirEvent::kChangedOnAir:
      watched_form_->ShowAirVerdict(Verdict::kChanged, names, fields);
      return;
  }
}

TForm1::Hooks Program::Hooks() {
  // Each hook first notes the window it works for: the first ones run while the window
  // is still being built.
  auto bind = [this](auto work) {
    return [this, work](TForm1& form) {
      form_ = &form;
      work(form);
    };
  };
  TForm1::Hooks hooks;
  hooks.translate_form = bind([this](TForm1& form) {
    language_.SetProgramFolder(QFileInfo(DataFilePath(kLanguageFileName)).path());
    // Without a translation of the user's choosing, the sample for their language.
    language_.SetFallbackFile(SampleTranslationPath(locale_name_));
    language_.TranslateForm(form);
  });
  hooks.reset_port_setting = bind([this](TForm1&) { port_choice_.ResetPortSetting(); });
  hooks.reset_time_of_last_send = bind([this](TForm1&) { send_.ResetTimeOfLastSend(); });
  hooks.load_settings = bind([this](TForm1& form) {
    LoadSettings(form);
    // With a monitor saved, the window watches the air from now on: a change from the last
    // send is told, though nothing is sent.
    AirWatcher* watcher = Watcher(form);
    const auto sent = transfer::SettingsOfRecord(send_.LastSent());
    if (watcher && sent) watcher->Watch(*sent);
  });
  hooks.save_settings = bind([this](TForm1& form) { SaveSettings(form); });
  hooks.apply_port_choice =
      bind([this](TForm1& form) { port_choice_.PORTClick(form.PortIndex()); });
  // At exit the watch over the air ends with the window.
  hooks.close_serial_port = bind([this](TForm1&) {
    watcher_.reset();
    comm_->Close();
  });
  hooks.enable_direct_port_access =
      bind([](TForm1&) { transfer::ProcessPortDriver().SetDirectPortAccess(true); });
  // The High priority box also raises the sending thread, silently, for each transfer.
  hooks.send = bind([this](TForm1& form) {
    pacer_.SetHighPriority(form.Controls().HIPRI->isChecked());
    // The values as typed: a PI the send corrects is told as the operator wrote it.
    const rds::StationSettings typed = form.StationValues();
    if (!send_.UPClick()) return;
    form.ShowSendWarnings(rds::CheckStation(typed));
    ConfirmOnAir(form);
  });
  hooks.keep_pty_list = bind([](TForm1& form) {
    const auto file = RbdsChoiceFile(SystemEnvironment());
    if (!file) throw std::runtime_error("no user folder to keep the choice of RBDS in");
    SaveRbdsChoice(*file, form.PtyList() == rds::PtyNames::kRbds);
  });
  return hooks;
}

std::unique_ptr<transfer::LineDriver> Program::ChooseLineDriver(transfer::PortDriver& driver) {
  try {
    return transfer::ChooseLineDriver(port_choice_.PortSetting(), driver, *comm_);
  } catch (const transfer::NoPortDriverError& e) {
    // Most PCs without the driver file have no parallel port: the way out, translated.
    throw transfer::PortAccessError(std::string(e.what()) + " " +
                                    Form().Controls().NOPARPORT->text().toStdString());
  }
}

void Program::LoadSettings(TForm1& form) {
  // A choice that cannot be read leaves Europe's names, as a missing one does.
  try {
    const auto file = RbdsChoiceFile(SystemEnvironment());
    if (file && ReadRbdsChoice(*file)) form.SetPtyList(rds::PtyNames::kRbds);
  } catch (const std::exception&) {
  }
  // The program folder becomes the current folder; a failure does not matter, the file
  // is addressed by its full path.
  QDir::setCurrent(ProgramFolder());
  SettingsValues values = form.StoredValues();
  const FileFolders folders = ProgramFileFolders();
  const std::filesystem::path path = SettingsFileToRead(folders);
  const LoadReport report = LoadSettingsFile(path, values);
  settings_loaded_ = true;
  // An unusable file is kept where the save would replace it; an earlier one elsewhere
  // stays as it is.
  keep_ignored_file_ =
      report.found && !report.file_used && path == SettingsFilePath(folders.settings);
  if (!report.file_used) return;
  form.ShowStoredValues(values);
  send_.SetLastSent(values.last_sent);
}

void Program::SaveSettings(TForm1& form) {
  if (!settings_loaded_) return;
  QDir::setCurrent(ProgramFolder());
  const FileFolders folders = ProgramFileFolders();
  CreateSettingsFolder(folders);
  const std::filesystem::path path = SettingsFilePath(folders.settings);
  // What the operator or a tool wrote there is not lost even though it could not be used.
  if (keep_ignored_file_) KeepSettingsFile(path);
  keep_ignored_file_ = false;
  SaveSettingsFile(path, form.StoredValues());
}

rds::StationSettings Program::ReadSettings() {
  return Form().StationValues();
}

void Program::WriteBackTexts(const std::string& pi, const rds::AfTexts& af) {
  Form().ShowCorrectedTexts(pi, af);
}

void Program::ProcessPendingMessages() {
  TForm1::ProcessPendingMessages();
}

void Program::SetProgress(int position) {
  Form().SetProgress(position);
}

void Program::SetBusyCursor(bool busy) {
  TForm1::SetBusyCursor(busy);
}

void Program::ShowLastSent(const transfer::LastSentRecord& record) {
  Form().SetLastSent(record);
  Form().ShowLastSent();
}

void Program::ShowWarning(const std::string& text, const std::string& caption) {
  // Before the window is shown (a port chosen by the settings file) the box has no owner.
  TForm1& form = Form();
  ShowMessageBox(BoxIcon::kWarning, form.isVisible() ? &form : nullptr, FromCp1252(caption),
                 FromCp1252(text));
}

void Program::ShowSystemTab() {
  Form().Controls().PageControl1->setCurrentIndex(1);
}

void Program::SetPortIndex(int index) {
  Form().SetPortIndex(index);
}

TForm1& Program::Form() {
  if (!form_) throw std::logic_error("no window");
  return *form_;
}

}  // namespace app
