#include "window/dedaraz.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProxyStyle>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTime>
#include <QValidator>
#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "appcore/bounded_file.h"
#include "appcore/process_priority.h"
#include "rds/cp1252.h"
#include "ui_dedaraz.h"
#include "window/error_box.h"
#include "window/pictures.h"
#include "window/program_folder.h"
#include "window/qt_text.h"
#include "window/rtf_reader.h"

namespace {

// The window's client area, laid out in pixels at 96 dpi (dedaraz.ui).
constexpr int kClientWidth = 353;
constexpr int kClientHeight = 228;
// Check list rows: two of them fit the list's height and the rest scroll.
constexpr int kCheckListItemHeight = 13;

// The check boxes of the check list must fit its 13-pixel rows, which some styles' boxes
// do not.
constexpr int kCheckListIndicatorSize = 11;

class CheckListStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override {
    if (metric == PM_IndicatorWidth || metric == PM_IndicatorHeight) {
      return kCheckListIndicatorSize;
    }
    return QProxyStyle::pixelMetric(metric, option, widget);
  }
};

// A drop-down list that shows maxVisibleItems rows and scrolls the rest. Styles that show a
// non-editable combo box's list as a menu make it as tall as all its items (up to the
// screen's height) instead.
class ScrollingListStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* data) const override {
    if (hint == SH_ComboBox_Popup) return 0;
    return QProxyStyle::styleHint(hint, option, widget, data);
  }
};

// The station's texts are stored and sent in the 8-bit character set: a character it
// cannot hold is refused as it is typed or pasted. With upper_case, letters become
// capitals per character (the text never grows: the German sharp s has no single capital);
// the cursor stays where it was.
class Cp1252Validator : public QValidator {
 public:
  Cp1252Validator(bool upper_case, QObject* parent) : QValidator(parent), upper_case_(upper_case) {}
  State validate(QString& input, int& /*pos*/) const override {
    for (QChar& c : input) {
      if (upper_case_) c = c.toUpper();
      if (c.isSurrogate() || !rds::UnicodeToCp1252(c.unicode())) return Invalid;
    }
    return Acceptable;
  }

 private:
  bool upper_case_;
};

// text broken between words into at most max_lines lines of width pixels, suffix after it;
// where it does not fit, the last line is cut with an ellipsis before the suffix and cut is
// set.
QStringList WrapLines(const QString& text, const QString& suffix, const QFontMetrics& metrics,
                      int width, int max_lines, bool& cut) {
  QStringList lines;
  for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
    const QString longer = lines.isEmpty() ? word : lines.back() + u' ' + word;
    if (!lines.isEmpty() && metrics.horizontalAdvance(longer) <= width) {
      lines.back() = longer;
    } else {
      lines << word;
    }
  }
  if (lines.isEmpty()) lines << QString();
  const bool suffix_fits = metrics.horizontalAdvance(lines.back() + suffix) <= width;
  cut = lines.size() + (suffix_fits ? 0 : 1) > max_lines;
  for (const QString& line : lines) cut = cut || metrics.horizontalAdvance(line) > width;
  if (!cut) {
    if (suffix_fits) {
      lines.back() += suffix;
    } else {
      lines << suffix.trimmed();
    }
    return lines;
  }
  QStringList kept = lines.mid(0, max_lines - 1);
  kept << metrics.elidedText(lines.mid(max_lines - 1).join(u' '), Qt::ElideRight,
                             width - metrics.horizontalAdvance(suffix)) +
              suffix;
  return kept;
}

// A hidden label's text with %1, %2 … replaced by values, each by its number: a translation
// may drop one or change their order. Empty for no label.
QString FilledText(const QLabel* label, const QStringList& values) {
  if (!label) return {};
  const QString text = label->text();
  QString filled;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const int number = i + 1 < text.size() ? text[i + 1].digitValue() : -1;
    if (text[i] == u'%' && number >= 1 && number <= values.size()) {
      filled += values[number - 1];
      ++i;
    } else {
      filled += text[i];
    }
  }
  return filled;
}

// The colour of an on-air verdict that found a fault.
constexpr QRgb kFaultColour = qRgb(0xC0, 0x00, 0x00);

void UseToolTipColours(QWidget* widget) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::ToolTipBase));
  palette.setColor(QPalette::Text, palette.color(QPalette::ToolTipText));
  widget->setPalette(palette);
}

}  // namespace

namespace app {

QString AboutLine() {
  return QStringLiteral("RDS Encoder Q7 control program, version " RDSQ7_VERSION);
}

QFont WindowFont() {
  QFont font;
  // The first family a system has wins: the classic dialog font of Windows, then the sans
  // serif faces of Linux desktops, all of which fit the window's 96 dpi layout at 8 points.
  font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Microsoft Sans Serif"),
                    QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans"),
                    QStringLiteral("Arial")});
  font.setPointSize(8);
  return font;
}

}  // namespace app

TForm1::TForm1(Hooks hooks, QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::Form1>()), hooks_(std::move(hooks)) {
  setFont(app::WindowFont());
  ui_->setupUi(this);
  SetUpControls();
  ConnectHandlers();
  app::RunGuarded(nullptr, [this] { StartDIRI(); });
}

TForm1::~TForm1() {
  app::RunGuarded(nullptr, [this] { Button1Click(); });
}

void TForm1::SetUpControls() {
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(kClientWidth, kClientHeight);
  setWindowIcon(app::WindowIcon());

  MakeLabelsPlainText();
  FitLabels();
  ui_->Image2->setPixmap(app::LogoPicture());
  // The on-air verdict shows only where a monitor is set up; its texts are kept, translated,
  // in labels of their own that are never shown.
  ui_->ONAIR->hide();
  onair_place_ = ui_->ONAIR->geometry();
  for (QLabel* text : {ui_->ONAIRWAIT, ui_->ONAIROK, ui_->ONAIRDIFF, ui_->ONAIRWEAK, ui_->ONAIRNONE,
                       ui_->AIRTIPCHANGED, ui_->AIRTIPFIELD, ui_->WARNPI, ui_->WARNPIDEF,
                       ui_->WARNTATP, ui_->WARNAF, ui_->WARNPS}) {
    text->hide();
  }

  UseToolTipColours(ui_->PS);
  UseToolTipColours(ui_->HelpBox);
  ui_->PI->setValidator(new Cp1252Validator(true, ui_->PI));
  for (QLineEdit* box : AfBoxes()) box->setValidator(new Cp1252Validator(false, box));
  ui_->PS->setValidator(new Cp1252Validator(false, ui_->PS));

  auto* check_list_style = new CheckListStyle(QApplication::style()->name());
  check_list_style->setParent(ui_->DI);
  ui_->DI->setStyle(check_list_style);
  QPalette face = ui_->DI->palette();
  face.setColor(QPalette::Base, face.color(QPalette::Button));
  ui_->DI->setPalette(face);
  ui_->DI->installEventFilter(this);
  for (int row = 0; row < ui_->DI->count(); ++row) {
    ui_->DI->item(row)->setSizeHint(QSize(0, kCheckListItemHeight));
  }

  // All four drop-down lists open the same way, whichever is long enough to scroll.
  auto* list_style = new ScrollingListStyle(QApplication::style()->name());
  list_style->setParent(this);
  for (QComboBox* box : {ui_->PTY, ui_->MS, ui_->TP, ui_->TA}) {
    box->setStyle(list_style);
    // The list was set up for a menu, without a scroll bar; a scrolling list shows one.
    box->view()->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  }

  // The two read-only texts keep Enter, so that a stray one while reading starts no send.
  ui_->SENT->installEventFilter(this);
  ui_->HelpBox->installEventFilter(this);
  UpdatePortTabStop();

  ui_->EX->setIcon(app::ExitButtonIcon());
  ui_->UP->setIcon(app::SendButtonIcon());

  ui_->HelpBox->setPlainText(app::AboutLine() + QStringLiteral("\n\n(Help file \"") +
                             QString::fromLatin1(app::kHelpFileName) +
                             QStringLiteral("\" is missing)"));
}

// Labels take the size of their text, also after the translation has replaced it.
void TForm1::FitLabels() {
  for (QLabel* label : findChildren<QLabel*>()) {
    if (label != ui_->Image2 && label != ui_->ONAIR) label->adjustSize();
  }
}

// Captions are plain text whatever they hold, also a translation's.
void TForm1::MakeLabelsPlainText() {
  for (QLabel* label : findChildren<QLabel*>()) {
    if (label != ui_->Image2) label->setTextFormat(Qt::PlainText);
  }
}

// Tab enters the port group at the chosen button only, as in a radio group; the arrow keys
// move within the group (and choose). With no choice the first button takes Tab.
void TForm1::UpdatePortTabStop() {
  const int chosen = std::max(PortIndex(), 0);
  QRadioButton* items[] = {ui_->PORTItem0, ui_->PORTItem1, ui_->PORTItem2, ui_->PORTItem3};
  for (int i = 0; i < 4; ++i) {
    items[i]->setFocusPolicy(i == chosen ? Qt::StrongFocus : Qt::ClickFocus);
  }
}

void TForm1::ConnectHandlers() {
  connect(ui_->EX, &QPushButton::clicked, this,
          [this] { app::RunGuarded(this, [this] { EXClick(); }); });
  connect(ui_->UP, &QPushButton::clicked, this,
          [this] { app::RunGuarded(this, [this] { UPClick(); }); });
  connect(ui_->ALONTOP, &QCheckBox::toggled, this,
          [this] { app::RunGuarded(this, [this] { ALONTOPClick(); }); });
  connect(ui_->HIPRI, &QCheckBox::toggled, this,
          [this] { app::RunGuarded(this, [this] { HIPRIClick(); }); });
  // Every change shows the names; only the operator's click keeps the choice.
  connect(ui_->RBDS, &QCheckBox::toggled, this, [this] { SetPtyList(PtyList()); });
  connect(ui_->RBDS, &QCheckBox::clicked, this,
          [this] { app::RunGuarded(this, [this] { RBDSClick(); }); });
  // Every change of the choice checks one button; only that toggle counts.
  for (QRadioButton* item : {ui_->PORTItem0, ui_->PORTItem1, ui_->PORTItem2, ui_->PORTItem3}) {
    connect(item, &QRadioButton::toggled, this, &TForm1::UpdatePortTabStop);
    connect(item, &QRadioButton::toggled, this, [this](bool checked) {
      if (!checked) return;
      unopened_port_index_.reset();
      app::RunGuarded(this, [this] { PORTClick(); });
    });
  }
}

// Brings every part of the program into its starting state, in this order. An error stops
// the sequence (the constructor reports it); the window is shown all the same.
void TForm1::StartDIRI() {
  TranslateForm();  // 1
  FitLabels();
  Run(hooks_.reset_port_setting);                                // 2
  ui_->Image2->setToolTip(app::PlainToolTip(app::AboutLine()));  // 3
  Run(hooks_.reset_time_of_last_send);                           // 4
  app::SetProgramFolder(app::ExecutableFolder());                // 5
  LoadRDSFN();                                                   // 6
  PORTClick();                                                   // 7
  ALONTOPClick();                                                // 8
  ShowLastSent();                                                // 9
  ShowHelp();                                                    // 10
  HIPRIClick();                                                  // 11
  SetDirectPortAccess();                                         // 12
  ui_->DI->setCurrentRow(-1);                                    // 13
  ui_->DI->clearSelection();
}

// The window's destruction: save the settings, close the serial port. Runs once.
void TForm1::Button1Click() {
  if (destroyed_) return;
  destroyed_ = true;
  SaveRDSFN();
  CloseSerialPort();
}

void TForm1::EXClick() {
  close();
  SaveRDSFN();
  CloseSerialPort();
}

void TForm1::UPClick() {
  Run(hooks_.send);
}

void TForm1::PORTClick() {
  Run(hooks_.apply_port_choice);
}

void TForm1::ALONTOPClick() {
  const bool on = ui_->ALONTOP->isChecked();
  if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on) return;
  // Changing a flag of a shown window hides it; show it again where it was.
  const bool visible = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, on);
  if (visible) show();
}

void TForm1::HIPRIClick() {
  app::SetHighPriority(ui_->HIPRI->isChecked());
}

void TForm1::RBDSClick() {
  Run(hooks_.keep_pty_list);
}

void TForm1::ShowLastSent() {
  QStringList lines;
  for (const std::string& line : last_sent_) lines << app::FromCp1252(line);
  ui_->SENT->setPlainText(lines.join(u'\n'));
}

// A missing help file leaves the default lines; one that exists but cannot be read is an
// error of the caller's.
void TForm1::ShowHelp() {
  const QString path = app::DataFilePath(app::kHelpFileName);
  const app::BoundedRead read =
      app::ReadBoundedFile(std::filesystem::path(path.toStdU16String()), app::kHelpFileLimit);
  if (!read.found) return;
  if (read.failure != app::ReadFailure::kNone) {
    throw std::runtime_error("Cannot open file " + path.toStdString() + ": " +
                             app::DescribeReadFailure(read.failure, app::kHelpFileLimit));
  }
  app::LoadRichOrPlainText(QByteArray::fromStdString(read.bytes), *ui_->HelpBox->document());
  ui_->HelpBox->moveCursor(QTextCursor::Start);
}

void TForm1::TranslateForm() {
  Run(hooks_.translate_form);
}

void TForm1::LoadRDSFN() {
  Run(hooks_.load_settings);
}

void TForm1::SaveRDSFN() {
  Run(hooks_.save_settings);
}

// The port's own errors on closing do not matter any more at exit.
void TForm1::CloseSerialPort() {
  try {
    Run(hooks_.close_serial_port);
  } catch (...) {
  }
}

void TForm1::SetDirectPortAccess() {
  Run(hooks_.enable_direct_port_access);
}

std::array<QLineEdit*, rds::kAfCount> TForm1::AfBoxes() const {
  return {ui_->AF1, ui_->AF2, ui_->AF3, ui_->AF4, ui_->AF5, ui_->AF6, ui_->AF7};
}

rds::StationSettings TForm1::StationValues() const {
  rds::StationSettings station;
  station.ps = app::ToCp1252(ui_->PS->text());
  station.pi = app::ToCp1252(ui_->PI->text());
  station.pty = ui_->PTY->currentIndex();
  station.tp = ui_->TP->currentIndex();
  station.ta = ui_->TA->currentIndex();
  station.ms = ui_->MS->currentIndex();
  for (int item = 0; item < 4; ++item) {
    station.di[item] = ui_->DI->item(item)->checkState() == Qt::Checked;
  }
  const auto boxes = AfBoxes();
  for (std::size_t i = 0; i < boxes.size(); ++i) station.af[i] = app::ToCp1252(boxes[i]->text());
  return station;
}

void TForm1::ShowStationValues(const rds::StationSettings& station) {
  ui_->PS->setText(app::FromCp1252(station.ps));
  ui_->PTY->setCurrentIndex(station.pty);
  ui_->TP->setCurrentIndex(station.tp);
  ui_->TA->setCurrentIndex(station.ta);
  ui_->MS->setCurrentIndex(station.ms);
  for (int item = 0; item < 4; ++item) {
    ui_->DI->item(item)->setCheckState(station.di[item] ? Qt::Checked : Qt::Unchecked);
  }
  ShowCorrectedTexts(station.pi, station.af);
}

void TForm1::ShowCorrectedTexts(const std::string& pi, const rds::AfTexts& af) {
  ui_->PI->setText(app::FromCp1252(pi));
  const auto boxes = AfBoxes();
  for (std::size_t i = 0; i < boxes.size(); ++i) boxes[i]->setText(app::FromCp1252(af[i]));
}

app::SettingsValues TForm1::StoredValues() const {
  app::SettingsValues values;
  values.station = StationValues();
  values.system.always_on_top = ui_->ALONTOP->isChecked();
  values.system.port_index = unopened_port_index_.value_or(PortIndex());
  values.system.high_priority = ui_->HIPRI->isChecked();
  values.last_sent = last_sent_;
  return values;
}

void TForm1::ShowStoredValues(const app::SettingsValues& values) {
  ShowStationValues(values.station);
  SetAlwaysOnTop(values.system.always_on_top);
  SetPortIndex(values.system.port_index);
  if (values.system.port_index > 1 && PortIndex() != values.system.port_index) {
    unopened_port_index_ = values.system.port_index;  // it would not open: LPT1 stands in
  }
  SetHighPriority(values.system.high_priority);
  last_sent_ = values.last_sent;
}

void TForm1::SetAlwaysOnTop(bool on) {
  ui_->ALONTOP->setChecked(on);
}

void TForm1::SetHighPriority(bool on) {
  ui_->HIPRI->setChecked(on);
}

void TForm1::SetPortIndex(int index) {
  QRadioButton* items[] = {ui_->PORTItem0, ui_->PORTItem1, ui_->PORTItem2, ui_->PORTItem3};
  if (index >= 0 && index < 4) {
    items[index]->setChecked(true);
    return;
  }
  for (QRadioButton* item : items) {
    item->setAutoExclusive(false);
    item->setChecked(false);
    item->setAutoExclusive(true);
  }
}

int TForm1::PortIndex() const {
  const QRadioButton* items[] = {ui_->PORTItem0, ui_->PORTItem1, ui_->PORTItem2, ui_->PORTItem3};
  for (int i = 0; i < 4; ++i) {
    if (items[i]->isChecked()) return i;
  }
  return -1;
}

void TForm1::SetPtyList(rds::PtyNames names) {
  ui_->RBDS->setChecked(names == rds::PtyNames::kRbds);
  for (int code = 0; code < ui_->PTY->count(); ++code) {
    const std::string_view name = rds::PtyName(code, names);
    ui_->PTY->setItemText(code,
                          QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
  }
  // North America's names are longer: the open list is as wide as they are.
  QAbstractItemView* list = ui_->PTY->view();
  list->setMinimumWidth(list->sizeHintForColumn(0) + list->verticalScrollBar()->sizeHint().width() +
                        2 * list->frameWidth());
}

rds::PtyNames TForm1::PtyList() const {
  return ui_->RBDS->isChecked() ? rds::PtyNames::kRbds : rds::PtyNames::kRds;
}

void TForm1::SetBusyCursor(bool busy) {
  if (busy) {
    QApplication::setOverrideCursor(Qt::BusyCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

// Shown at once: the send holds the event loop, so no later paint would come in time.
void TForm1::SetProgress(int position) {
  if (position > 0) {
    send_warnings_.clear();
    ShowAirVerdict(AirVerdict::kNone);
  }
  ui_->ProgressBar1->setValue(position);
  ui_->ProgressBar1->repaint();
}

void TForm1::ShowAirVerdict(AirVerdict verdict, const QString& detail,
                            const std::vector<AirField>& fields) {
  QLabel* text = nullptr;
  switch (verdict) {
    case AirVerdict::kNone:
      break;
    case AirVerdict::kChecking:
      text = ui_->ONAIRWAIT;
      break;
    case AirVerdict::kConfirmed:
      text = ui_->ONAIROK;
      break;
    case AirVerdict::kDiffers:
    case AirVerdict::kChanged:
      text = ui_->ONAIRDIFF;
      break;
    case AirVerdict::kWeak:
      text = ui_->ONAIRWEAK;
      break;
    case AirVerdict::kNoRds:
      text = ui_->ONAIRNONE;
      break;
  }
  air_verdict_ = FilledText(text, {detail});
  QStringList tip;
  if (verdict == AirVerdict::kChanged) {
    tip << FilledText(ui_->AIRTIPCHANGED,
                      {QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))});
  }
  for (const AirField& field : fields) {
    tip << FilledText(ui_->AIRTIPFIELD, {field.name, field.on_air, field.sent});
  }
  air_tip_ = tip.join(u'\n');
  air_fault_ = verdict == AirVerdict::kDiffers || verdict == AirVerdict::kChanged;
  ShowOnAirArea();
}

void TForm1::ShowSendWarnings(const std::vector<rds::StationWarning>& warnings) {
  const auto filled = [](const QLabel* label, const QString& value, const QString& detail = {}) {
    return FilledText(label, {value, detail});
  };
  send_warnings_.clear();
  for (const rds::StationWarning& w : warnings) {
    const QString value = app::FromCp1252(w.value), detail = app::FromCp1252(w.detail);
    switch (w.kind) {
      case rds::WarningKind::kPiCorrected:
        send_warnings_ << filled(ui_->WARNPI, value, detail);
        break;
      case rds::WarningKind::kPiDefault:
        send_warnings_ << filled(ui_->WARNPIDEF, value);
        break;
      case rds::WarningKind::kTaWithoutTp:
        send_warnings_ << ui_->WARNTATP->text();
        break;
      case rds::WarningKind::kAfTwice:
        send_warnings_ << filled(ui_->WARNAF, value);
        break;
      case rds::WarningKind::kPsDefault:
        send_warnings_ << filled(ui_->WARNPS, value);
        break;
      case rds::WarningKind::kPiNotCall:  // the window takes no call letters
        send_warnings_ << app::FromCp1252(rds::WarningText(w));
        break;
    }
  }
  ShowOnAirArea();
}

// The area beside Send: the progress bar, the on-air verdict, or the last send's first warning
// above it. A warning takes the strip's whole height, unframed, in a point smaller where the
// window's size does not hold it; the tooltip holds them all.
void TForm1::ShowOnAirArea() {
  QLabel* area = ui_->ONAIR;
  const bool shown = !air_verdict_.isEmpty() || !send_warnings_.isEmpty();
  area->setVisible(shown);
  ui_->ProgressBar1->setVisible(!shown);
  QStringList tip = send_warnings_;
  if (!air_tip_.isEmpty()) tip << air_tip_;
  area->setToolTip(app::PlainToolTip(tip.join(u'\n')));
  QPalette colours = palette();
  if (air_fault_) colours.setColor(QPalette::WindowText, QColor(kFaultColour));
  area->setPalette(colours);
  if (!shown) return;
  const bool warned = !send_warnings_.isEmpty();
  QRect place = onair_place_;
  if (warned) {
    place.setTop(ui_->PageControl1->geometry().bottom() + 2);
    place.setBottom(height() - 1);
  }
  area->setGeometry(place);
  area->setFrameShape(warned ? QFrame::NoFrame : QFrame::StyledPanel);
  area->setAlignment(warned ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
  QFont font = app::WindowFont();
  area->setFont(font);
  if (!warned) {
    area->setText(air_verdict_);
    return;
  }
  const QString more = send_warnings_.size() > 1
                           ? QStringLiteral(" (+%1)").arg(send_warnings_.size() - 1)
                           : QString();
  const int verdict_lines = air_verdict_.isEmpty() ? 0 : 1;
  QStringList lines;
  for (const int points : {font.pointSize(), font.pointSize() - 1}) {
    font.setPointSize(points);
    const QFontMetrics metrics(font);
    const int room =
        std::max(1, area->contentsRect().height() / metrics.lineSpacing() - verdict_lines);
    bool cut = false;
    lines =
        WrapLines(send_warnings_.first(), more, metrics, area->contentsRect().width(), room, cut);
    if (!cut) break;
  }
  if (verdict_lines > 0) lines << air_verdict_;
  area->setFont(font);
  area->setText(lines.join(u'\n'));
}

void TForm1::ProcessPendingMessages() {
  QCoreApplication::processEvents();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
  const auto* key = static_cast<QKeyEvent*>(event);
  // The check list has no type-ahead search: a typed letter neither moves nor selects.
  if (watched == ui_->DI) {
    const QString text = key->text();
    if (key->key() != Qt::Key_Space && !text.isEmpty() && text.front().isPrint()) return true;
  }
  // The read-only texts swallow Enter instead of passing it on to the Send button.
  if (watched == ui_->SENT || watched == ui_->HelpBox) {
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TForm1::keyPressEvent(QKeyEvent* event) {
  // Keys that no control used: Enter presses the default button, Esc the cancel button.
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (ui_->UP->isEnabled()) ui_->UP->click();
      return;
    case Qt::Key_Escape:
      if (ui_->EX->isEnabled()) ui_->EX->click();
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

void TForm1::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  if (event->isAccepted()) emit Closed();
}

void TForm1::showEvent(QShowEvent* event) {
  if (!shown_before_ && !event->spontaneous()) {
    shown_before_ = true;
    if (const QScreen* shown_on = screen()) {
      QRect place = frameGeometry();
      place.moveCenter(shown_on->availableGeometry().center());
      move(place.topLeft());
    }
  }
  QWidget::showEvent(event);
}
