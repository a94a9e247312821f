#include "serve/station.h"

#include <array>
#include <asio/post.hpp>
#include <cstdio>
#include <iomanip>
#include <sstream>

#include "rds/cp1252.h"
#include "rds/station_checks.h"
#include "serve/monitor_health.h"
#include "serve/reception_watch.h"
#include "transfer/last_sent_record.h"
#include "transfer/send_throttle.h"

namespace serve {
namespace {

using Clock = std::chrono::steady_clock;

// How often a send that waits for the throttle looks again when the time of day disagrees
// with the steady clock (the clock was set).
constexpr std::chrono::milliseconds kThrottlePoll{10};

void AddFields(std::string& to, const std::string& fields) {
  std::istringstream in(fields);
  for (std::string field; std::getline(in, field, ',');) {
    if (("," + to + ",").find("," + field + ",") != std::string::npos) continue;
    if (!to.empty()) to += ',';
    to += field;
  }
}

// The level conditions in the order of receiver::LevelCondition.
constexpr std::array<Condition, receiver::kLevelConditionCount> kLevelConditions = {
    Condition::kRdsLevel, Condition::kPilotLevel, Condition::kOverdeviation, Condition::kMpxPower};

bool Has(const std::string& fields, const std::string& field) {
  return ("," + fields + ",").find("," + field + ",") != std::string::npos;
}

}  // namespace

Clock::time_point SendStartTime(Clock::time_point first_change, Clock::time_point last_change,
                                std::optional<Clock::time_point> throttle_free) {
  const Clock::time_point at =
      std::min(last_change + kCoalesceWindow, first_change + kCoalesceLimit);
  return throttle_free ? std::max(at, *throttle_free) : at;
}

ServeStation::ServeStation(asio::io_context& io, app::SettingsValues start,
                           ServeStationOptions options, SendWorker& worker, ServeLog& log)
    : io_(io),
      values_(std::move(start)),
      options_(std::move(options)),
      worker_(worker),
      log_(log),
      send_timer_(io),
      ta_timer_(io),
      fallback_timer_(io),
      fallback_(options_.fallback.value_or(values_.station)),
      budget_(options_.max_sends_per_hour) {
  if (options_.settings_file) {
    saver_ = std::make_unique<SettingsSaver>(
        *options_.settings_file, [this](std::uint64_t number, std::optional<std::string> failure) {
          asio::post(io_, [this, number, failure = std::move(failure)] { Saved(number, failure); });
        });
  }
  if (values_.station.ta == 1) ArmTaTimeout();
  ArmFallback();
}

void ServeStation::Change(const rds::StationSettings& next, const std::string& fields,
                          SaveReport saved) {
  if (stopping_) return;
  if (fallback_since_) log_.Line("fallback ended by a change of " + fields);
  fallback_since_.reset();
  ArmFallback();
  // Automation repeats its values with every song: what leaves the data on air as it is
  // reloads nothing and spends no send (SEND still sends). TA set again is held longer.
  if (rds::Encode(next).image == rds::Encode(values_.station).image) {
    if (Has(fields, "TA") && next.ta == 1) ArmTaTimeout();
    Report(Save(), std::move(saved));
    return;
  }
  resent_ = alarm_ = false;  // a new state earns a resend of its own
  Apply(next, fields, std::move(saved));
}

// A change from a client or from serve itself (the TA time-out, the fallback).
void ServeStation::Apply(const rds::StationSettings& next, const std::string& fields,
                         SaveReport saved) {
  LogWarnings(next, fields);
  values_.station = next;
  if (Has(fields, "TA")) {
    if (next.ta == 1) {
      ArmTaTimeout();
    } else {
      ta_timer_.cancel();
    }
  }
  if (!pending_) first_pending_ = Clock::now();
  last_change_ = Clock::now();
  pending_ = true;
  AddFields(pending_fields_, fields);
  Report(Save(), std::move(saved));
  Schedule(false);
}

// Tells saved once the save with this number (or a later one) has ended.
void ServeStation::Report(std::uint64_t number, SaveReport saved) {
  if (saved && saver_) {
    save_reports_.emplace_back(number, std::move(saved));
  } else if (saved) {
    saved(std::nullopt);
  }
}

// The mistakes stations make most, in the log: those of a change, or all at start ("").
void ServeStation::LogWarnings(const rds::StationSettings& settings, const std::string& fields) {
  for (const rds::StationWarning& warning : rds::CheckStation(settings, options_.call_letters)) {
    std::istringstream in(fields);
    bool concerns = fields.empty();
    for (std::string field; !concerns && std::getline(in, field, ',');) {
      concerns = rds::WarningConcerns(warning, field);
    }
    if (concerns) log_.Line("warning: " + rds::Cp1252ToUtf8(rds::WarningText(warning)));
  }
}

void ServeStation::RequestSend() {
  if (stopping_) return;
  if (!pending_) first_pending_ = Clock::now();
  last_change_ = Clock::now();
  pending_ = true;
  AddFields(pending_fields_, "SEND");
  Schedule(true);
}

std::string ServeStation::Status() const {
  return StatusLine(Report());
}

// The one place the station's status is put together: the last send, what holds changes
// back, the verdict on air.
StationStatus ServeStation::Report() const {
  StationStatus status;
  const Clock::time_point now = Clock::now();
  status.state = values_.station;
  status.sent = last_ok_;
  status.changes_pending = pending_ || sending_;
  status.send = send_result_;
  status.send_time = send_time_;
  status.send_text = send_text_;
  status.sends_per_hour = budget_.PerHour();
  if (budget_.PerHour() > 0) status.sends_last_hour = budget_.InLastHour(now);
  if (budget_wait_ && pending_) {
    status.changes_wait_until =
        std::chrono::system_clock::now() +
        std::chrono::duration_cast<std::chrono::system_clock::duration>(*budget_wait_ - now);
  }
  status.air = air_;
  status.air_time = air_time_;
  status.air_differences = air_differences_;
  status.alarm = alarm_;
  status.fallback_since = fallback_since_;
  status.save_failure = save_failure_;
  status.sends = sends_;
  status.failed_sends = failed_sends_;
  status.last_ok_send = last_ok_send_;
  status.last_confirmed = last_confirmed_;
  status.levels = levels_;
  status.levels_time = levels_time_;
  if (alarms_) {
    for (const auto& active : alarms_->Active()) {
      status.conditions.emplace_back(ConditionName(active.condition));
    }
  }
  return status;
}

std::string ServeStation::TestAlarm() {
  return alarms_ && alarms_->Test() ? "OK" : StationControl::TestAlarm();
}

void ServeStation::Start(bool saved, const std::optional<std::string>& port_problem) {
  LogWarnings(values_.station, "");
  if (port_problem) {
    send_result_ = SendResult::kFailed;
    send_time_ = std::chrono::system_clock::now();
    send_text_ = *port_problem;
    log_.Line("encoder port missing: " + *port_problem + "; sending until it is there");
  } else if (!saved || values_.last_sent == transfer::BuildLastSentRecord(values_.station)) {
    return;
  }
  first_pending_ = last_change_ = Clock::now();
  pending_ = true;
  AddFields(pending_fields_, port_problem ? "START" : "UNSENT");
  Schedule(true);
}

void ServeStation::Schedule(bool now) {
  // A running send, or a failed one waiting for its retry, takes the changes along later.
  if (sending_ || retrying_) return;
  Clock::time_point at = now ? Clock::now() : SendStartTime(first_pending_, last_change_, {});
  if (throttle_free_) at = std::max(at, *throttle_free_);
  send_timer_.expires_at(at);
  send_timer_.async_wait([this](const std::error_code& error) {
    if (!error) TryStart();
  });
}

void ServeStation::TryStart() {
  if (!pending_ || sending_) return;
  if (last_send_end_ && !transfer::PressAccepted(*last_send_end_, clock_.Now())) {
    send_timer_.expires_after(kThrottlePoll);
    send_timer_.async_wait([this](const std::error_code& error) {
      if (!error) TryStart();
    });
    return;
  }
  // Beyond the budget changes wait, coalesced, except that TA (a traffic announcement) and
  // the last send at a stop always go out.
  const std::optional<Clock::time_point> free = budget_.NextFree(Clock::now());
  if (free && !stopping_ && !Has(pending_fields_, "TA")) {
    if (budget_wait_ != free) {
      log_.Line("send budget: " + std::to_string(budget_.PerHour()) +
                " sends in the last hour; changes wait");
    }
    budget_wait_ = free;
    send_timer_.expires_at(*free);
    send_timer_.async_wait([this](const std::error_code& error) {
      if (!error) TryStart();
    });
    return;
  }
  budget_wait_.reset();
  sending_ = true;
  pending_ = false;
  sent_fields_ = std::exchange(pending_fields_, {});
  sent_first_ = first_pending_;
  sent_start_ = Clock::now();
  sent_ = values_.station;
  worker_.Start(sent_, [this](SendOutcome outcome) {
    asio::post(io_, [this, outcome = std::move(outcome)] { Finished(outcome); });
  });
}

void ServeStation::Finished(const SendOutcome& outcome) {
  sending_ = false;
  last_send_end_ = clock_.Now();
  throttle_free_ = Clock::now() + kSendThrottle;
  const auto now = std::chrono::system_clock::now();
  send_time_ = now;
  send_text_ = outcome.text;
  std::ostringstream line;
  line.imbue(std::locale::classic());
  line << "send changes=" << (sent_fields_.empty() ? "-" : sent_fields_);
  if (outcome.ok) {
    retrying_ = false;
    budget_.Sent(sent_start_);  // a failed send reloaded nothing
    // The send corrects PI and AF as the window's does; a change since then wins.
    if (values_.station.pi == sent_.pi) values_.station.pi = outcome.pi_text;
    if (values_.station.af == sent_.af) values_.station.af = outcome.af_texts;
    values_.last_sent = outcome.record;
    Save();
    if (outcome.first_bit) {
      const std::chrono::duration<double, std::milli> latency = *outcome.first_bit - sent_first_;
      line << " latency_ms=" << std::fixed << std::setprecision(1) << latency.count();
    }
    line << ' ' << outcome.text;
    send_result_ = SendResult::kOk;
    ++sends_;
    last_ok_send_ = now;
    last_ok_ = sent_;
    if (on_sent_) {
      if (!monitor_silent_) {
        air_ = AirVerdict::kChecking;
        air_time_ = now;
        air_differences_.clear();
      }
      monitored_send_ = true;
      on_sent_(sent_);
    }
  } else {
    retrying_ = true;
    line << " failed: " << outcome.text;
    if (!stopping_) line << "; retrying in " << kRetryDelay.count() << " s";
    send_result_ = SendResult::kFailed;
    ++failed_sends_;
    // The retry sends the state as it is then, and tells everything it carries.
    if (!pending_) first_pending_ = sent_first_;
    std::string fields = sent_fields_;
    AddFields(fields, pending_fields_);
    pending_fields_ = fields;
    pending_ = true;
  }
  log_.Line(line.str());
  if (alarms_) {
    alarms_->SendEnded(outcome.ok, sent_fields_.empty() ? "-" : sent_fields_, outcome.record,
                       Clock::now() - sent_start_, outcome.text);
  }
  if (stopping_) {
    if (pending_ && !retrying_) {
      Schedule(true);  // what came during the send still goes out
    } else {
      EndStop();
    }
  } else if (retrying_) {
    send_timer_.expires_after(kRetryDelay);
    send_timer_.async_wait([this](const std::error_code& error) {
      if (error) return;
      retrying_ = false;
      TryStart();
    });
  } else if (pending_) {
    Schedule(false);
  }
}

void ServeStation::OnAir(receiver::AirEvent event,
                         const std::vector<receiver::FieldDifference>& differences) {
  if (event == receiver::AirEvent::kNone) return;
  TakeAir(event, differences);
  if (!alarms_) return;
  std::vector<FieldValues> fields;
  for (const auto& d : differences) {
    fields.push_back({receiver::FieldName(d.field), d.on_air, d.expected});
  }
  alarms_->Verdict(AirVerdictName(air_), fields);
  alarms_->Measure(FieldMeasurements(event, differences));
}

void ServeStation::TakeAir(receiver::AirEvent event,
                           const std::vector<receiver::FieldDifference>& differences) {
  using receiver::AirEvent;
  const auto now = std::chrono::system_clock::now();
  std::string details;
  for (const auto& d : differences) {
    details += ' ' + std::string(receiver::FieldName(d.field)) + " on air '" + d.on_air +
               "' sent '" + d.expected + "'";
  }
  switch (event) {
    case AirEvent::kNone:
      return;
    case AirEvent::kConfirmed:
      air_ = AirVerdict::kConfirmed;
      air_time_ = last_confirmed_ = now;
      air_differences_.clear();
      alarm_ = false;
      log_.Line("on air: confirmed");
      return;
    case AirEvent::kNoRds:
      air_ = AirVerdict::kNoRds;
      air_time_ = now;
      air_differences_.clear();
      log_.Line("on air: no RDS received from the monitor");
      return;
    case AirEvent::kIncomplete:
      // A weak signal proves nothing either way: no resend, no alarm.
      air_ = AirVerdict::kWeak;
      air_time_ = now;
      air_differences_ = differences;
      log_.Line("on air: " + receiver::DifferenceNames(differences) +
                " not received with certainty, the signal is too weak; what was received "
                "matches");
      return;
    case AirEvent::kMismatch:
    case AirEvent::kChangedOnAir:
      air_ = AirVerdict::kMismatch;
      air_time_ = now;
      air_differences_ = differences;
      break;
  }
  const std::string what = event == AirEvent::kMismatch ? "on air: differs from the send:"
                                                        : "on air: changed without a send:";
  if (resent_) {
    alarm_ = true;
    log_.Line("ALARM " + what + details + "; not sent again until the next change");
    return;
  }
  resent_ = true;
  log_.Line(what + details + "; sending once more");
  RequestSend();
}

void ServeStation::OnMonitorSamples(bool present) {
  monitor_silent_ = !present;
  if (alarms_) {
    alarms_->Observe(
        Condition::kMonitorFailed,
        present ? std::nullopt
                : std::optional<Fault>(Fault{"no samples from the monitor command for " +
                                                 std::to_string(kMonitorSilence.count()) + " s",
                                             {}}));
    // A blind monitor knows nothing of the air: those conditions hold as they are.
    if (!present) {
      for (const Condition c : {Condition::kRdsLost, Condition::kPiError, Condition::kMismatch,
                                Condition::kPilotLost, Condition::kPoorReception}) {
        alarms_->Unknown(c);
      }
      for (const Condition c : kLevelConditions) alarms_->Unknown(c);
      alarms_->Verdict("no-signal");
    }
  }
  if (!present) {
    air_ = AirVerdict::kNoSignal;
    air_time_ = std::chrono::system_clock::now();
    air_differences_.clear();
    log_.Line("on air: no samples from the monitor command for " +
              std::to_string(kMonitorSilence.count()) + " s; no verdict until they come");
    return;
  }
  // The monitor checks the last send again; before any there is nothing to check.
  air_ = monitored_send_ ? AirVerdict::kChecking : AirVerdict::kNotMonitored;
  air_time_ = std::chrono::system_clock::now();
  log_.Line("on air: samples from the monitor command again");
}

void ServeStation::OnLevels(const receiver::Levels& levels,
                            std::chrono::system_clock::time_point taken) {
  levels_ = levels;
  levels_time_ = taken;
  if (alarms_) {
    std::vector<Measurement> measurements;
    for (const auto& judged : receiver::JudgeLevels(levels, options_.level_limits)) {
      measurements.push_back(
          {kLevelConditions[static_cast<std::size_t>(judged.condition)], judged.judged,
           judged.fault ? std::optional<Fault>(Fault{*judged.fault, {}}) : std::nullopt});
    }
    alarms_->Measure(measurements);
  }
  std::string faults;
  for (const auto& fault : receiver::LevelFaults(levels, options_.level_limits)) {
    faults += (faults.empty() ? "" : "; ") + fault.text;
  }
  if (faults == level_faults_) return;
  log_.Line(faults.empty() ? "levels: back within limits" : "levels outside limits: " + faults);
  level_faults_ = faults;
}

void ServeStation::OnReception(const std::vector<Measurement>& measurements) {
  if (alarms_ && !monitor_silent_) alarms_->Measure(measurements);
}

std::uint64_t ServeStation::Save() {
  return saver_ ? saver_->Save(values_) : 0;
}

void ServeStation::Saved(std::uint64_t number, const std::optional<std::string>& failure) {
  if (ended_) return;  // the last save is told by EndStop
  if (failure) log_.Line("save failed: " + *failure);
  if (!failure && save_failure_) log_.Line("saved again");
  save_failure_ = failure;
  // A save writes the latest values handed over, so it holds every change before them too.
  while (!save_reports_.empty() && save_reports_.front().first <= number) {
    const SaveReport report = std::move(save_reports_.front().second);
    save_reports_.pop_front();
    report(failure);
  }
}

void ServeStation::ArmTaTimeout() {
  if (options_.ta_timeout.count() == 0) return;
  ta_timer_.expires_after(options_.ta_timeout);
  ta_timer_.async_wait([this](const std::error_code& error) {
    if (error || values_.station.ta != 1) return;
    rds::StationSettings next = values_.station;
    next.ta = 0;
    log_.Line("TA back to 0 after " + std::to_string(options_.ta_timeout.count()) + " s");
    Apply(next, "TA", nullptr);
  });
}

void ServeStation::ArmFallback() {
  if (options_.fallback_after.count() == 0) return;
  fallback_timer_.expires_after(options_.fallback_after);
  fallback_timer_.async_wait([this](const std::error_code& error) {
    if (error || stopping_) return;
    fallback_since_ = std::chrono::system_clock::now();
    rds::StationSettings next = values_.station;
    std::string fields;
    const auto take = [&](auto& field, const auto& value, const char* name) {
      if (field == value) return;
      field = value;
      fields += fields.empty() ? name : std::string(",") + name;
    };
    take(next.ps, fallback_.ps, "PS");
    take(next.pty, fallback_.pty, "PTY");
    take(next.ta, fallback_.ta, "TA");
    log_.Line("no change for " + std::to_string(options_.fallback_after.count()) + " s: fallback" +
              (fields.empty() ? " (PS, PTY and TA already hold it)" : ""));
    if (!fields.empty()) Apply(next, fields, nullptr);
  });
}

void ServeStation::Stop(std::function<void(bool saved)> done) {
  stopping_ = true;
  stopped_ = std::move(done);
  ta_timer_.cancel();
  fallback_timer_.cancel();
  if (sending_) return;  // Finished goes on
  if (pending_ && !retrying_) {
    Schedule(true);
    return;
  }
  EndStop();
}

void ServeStation::EndStop() {
  send_timer_.cancel();
  if (pending_) {
    log_.Line("not sent: changes=" + pending_fields_ + "; the next start sends them");
  }
  Save();
  ended_ = true;
  std::optional<std::string> failure;
  if (saver_) failure = saver_->Flush();
  if (failure) log_.Line("save failed: " + *failure);
  if (stopped_) std::exchange(stopped_, nullptr)(!failure);
}

}  // namespace serve
