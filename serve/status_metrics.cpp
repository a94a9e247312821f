#include "serve/status_metrics.h"

#include <array>
#include <iomanip>
#include <sstream>

#include "serve/status_json.h"

namespace serve {
namespace {

constexpr std::array kVerdicts = {AirVerdict::kNotMonitored, AirVerdict::kChecking,
                                  AirVerdict::kConfirmed,    AirVerdict::kMismatch,
                                  AirVerdict::kWeak,         AirVerdict::kNoRds,
                                  AirVerdict::kNoSignal};

// A label value: backslash, double quote and line feed escaped, as the text format asks.
std::string Label(const std::string& value) {
  std::string out;
  for (const char c : value) {
    if (c == '\\' || c == '"') out += '\\';
    out += c == '\n' ? std::string("\\n") : std::string(1, c);
  }
  return out;
}

double Seconds(StationStatus::Time time) {
  return std::chrono::duration<double>(time.time_since_epoch()).count();
}

class Metrics {
 public:
  Metrics() { out_.imbue(std::locale::classic()); }

  // Starts a metric: its HELP and TYPE lines.
  Metrics& Family(const char* name, const char* type, const char* help) {
    name_ = name;
    out_ << "# HELP " << name << ' ' << help << "\n# TYPE " << name << ' ' << type << '\n';
    return *this;
  }
  Metrics& Sample(double value, const std::string& labels = "") {
    out_ << name_ << (labels.empty() ? "" : "{" + labels + "}") << ' ' << std::setprecision(15)
         << value << '\n';
    return *this;
  }
  Metrics& Time(const std::optional<StationStatus::Time>& time) {
    if (time) out_ << name_ << ' ' << std::fixed << std::setprecision(3) << Seconds(*time)
                   << std::defaultfloat << '\n';
    return *this;
  }
  std::string Text() const { return out_.str(); }

 private:
  std::ostringstream out_;
  const char* name_ = "";
};

}  // namespace

std::string StatusMetrics(const StationStatus& status, const ServeIdentity& identity) {
  Metrics m;
  m.Family("rdsq7_info", "gauge", "Always 1; the labels name this serve and its encoder.")
      .Sample(1, "instance=\"" + Label(identity.instance) + "\",version=\"" RDSQ7_VERSION
                 "\",port=\"" + Label(identity.port.value_or("dry-run")) + "\"");
  m.Family("rdsq7_start_time_seconds", "gauge", "When serve started, in Unix time.")
      .Time(identity.started);
  m.Family("rdsq7_on_air", "gauge",
           "The monitor's verdict on what is on air: 1 for the verdict that holds, 0 for the "
           "others.");
  for (const AirVerdict verdict : kVerdicts) {
    m.Sample(status.air == verdict ? 1 : 0,
             std::string("verdict=\"") + AirVerdictName(verdict) + "\"");
  }
  m.Family("rdsq7_alarm", "gauge",
           "1 while STATUS says ALARM: a mismatch after its one resend, or any alarm condition.")
      .Sample(AlarmRaised(status) ? 1 : 0);
  m.Family("rdsq7_condition_active", "gauge",
           "1 while the alarm condition is raised (it held for the trip delay), else 0.");
  for (std::size_t i = 0; i < kConditionCount; ++i) {
    const auto condition = static_cast<Condition>(i);
    m.Sample(ConditionActive(status, condition) ? 1 : 0,
             std::string("condition=\"") + ConditionName(condition) + "\"");
  }
  m.Family("rdsq7_sends_total", "counter", "Sends that went out since serve started.")
      .Sample(static_cast<double>(status.sends));
  m.Family("rdsq7_send_failures_total", "counter", "Sends that failed since serve started.")
      .Sample(static_cast<double>(status.failed_sends));
  m.Family("rdsq7_last_send_time_seconds", "gauge",
           "When the last send that went out ended, in Unix time; absent before the first.")
      .Time(status.last_ok_send);
  m.Family("rdsq7_last_confirmation_time_seconds", "gauge",
           "When the monitor last confirmed a send on air, in Unix time; absent before the "
           "first.")
      .Time(status.last_confirmed);
  m.Family("rdsq7_encoder_ok", "gauge",
           "0 while the last send (or the check of the port at start) failed, else 1.")
      .Sample(status.send == SendResult::kFailed ? 0 : 1);
  m.Family("rdsq7_sends_last_hour", "gauge", "Sends that started within the last hour.")
      .Sample(static_cast<double>(status.sends_last_hour));
  m.Family("rdsq7_send_budget_per_hour", "gauge",
           "The most sends allowed in any hour (--max-sends-per-hour); 0: no limit.")
      .Sample(static_cast<double>(status.sends_per_hour));
  m.Family("rdsq7_send_budget_used_ratio", "gauge",
           "The share of the hour's send budget used, 0 to 1; 0 without a limit.")
      .Sample(status.sends_per_hour == 0 ? 0.0
                                         : static_cast<double>(status.sends_last_hour) /
                                               static_cast<double>(status.sends_per_hour));
  m.Family("rdsq7_changes_pending", "gauge", "1 while changes wait for a send.")
      .Sample(status.changes_pending ? 1 : 0);
  m.Family("rdsq7_fallback_active", "gauge",
           "1 while PS, PTY and TA are on their fallback values.")
      .Sample(status.fallback_since ? 1 : 0);
  m.Family("rdsq7_settings_save_failed", "gauge", "1 while saves of the settings file fail.")
      .Sample(status.save_failure ? 1 : 0);
  // The levels: absent until the monitor has measured them; the deviations also while no
  // scale is known.
  if (status.levels && status.levels_time) {
    const receiver::Levels& l = *status.levels;
    m.Family("rdsq7_levels_time_seconds", "gauge",
             "When the monitor last measured the levels, in Unix time.")
        .Time(status.levels_time);
    m.Family("rdsq7_block_error_ratio", "gauge",
             "The share of the blocks of the last 20 s that were not received valid, 0 to 1.")
        .Sample(l.block_errors_percent / 100);
    if (l.scaled) {
      m.Family("rdsq7_pilot_deviation_hertz", "gauge", "The 19 kHz pilot's deviation.")
          .Sample(l.pilot_khz * 1000);
      m.Family("rdsq7_rds_deviation_hertz", "gauge", "The RDS subcarrier's deviation.")
          .Sample(l.rds_khz * 1000);
      m.Family("rdsq7_peak_deviation_hertz", "gauge",
               "The multiplex's peak deviation (99.9th percentile of its highest second).")
          .Sample(l.peak_khz * 1000);
      m.Family("rdsq7_overdeviation_ratio", "gauge",
               "The share of samples above the deviation in the label, 0 to 1.")
          .Sample(l.over_percent / 100,
                  "over_hertz=\"" + std::to_string(static_cast<long>(l.over_khz * 1000)) + "\"");
      m.Family("rdsq7_mpx_power_dbr", "gauge",
               "The multiplex power over the last 60 s, in dB against a sine of 19 kHz "
               "deviation.")
          .Sample(l.mpx_power_dbr);
    }
  }
  return m.Text();
}

}  // namespace serve
