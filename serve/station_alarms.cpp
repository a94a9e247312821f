#include "serve/station_alarms.h"

#include "rds/cp1252.h"
#include "serve/system_alarm_log.h"

namespace serve {
namespace {

constexpr std::chrono::seconds kTick{1};

nlohmann::ordered_json FieldsJson(const std::vector<FieldValues>& fields) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const FieldValues& f : fields)
    list.push_back({{"field", f.field}, {"on_air", f.on_air}, {"sent", f.sent}});
  return list;
}

}  // namespace

StationAlarms::StationAlarms(asio::io_context& io, AlarmOptions options, ServeLog& log)
    : options_(std::move(options)),
      log_(log),
      conditions_(options_.delays),
      tick_(io),
      heartbeat_(io) {
  if (options_.history) history_.emplace(*options_.history, log_);
  AlarmDelivery::SystemLog system_log;
  if (options_.system_log) system_log = SystemAlarmLog(options_.service);
  if (!options_.commands.empty() || system_log) {
    delivery_ = std::make_unique<AlarmDelivery>(options_.commands, options_.instance, log_,
                                                options_.delivery, std::move(system_log));
  }
}

StationAlarms::~StationAlarms() {
  Stop();
}

void StationAlarms::Start(bool monitored) {
  if (history_) history_->Write("start", {{"instance", options_.instance}, {"monitor", monitored}});
  AlarmEvent event;
  event.kind = EventKind::kStart;
  event.time = std::chrono::system_clock::now();
  Raise(event);
  ArmTick();
  if (options_.heartbeat.count() > 0) {
    heartbeat_.expires_after(options_.heartbeat);
    ArmHeartbeat();
  }
}

void StationAlarms::Stop() {
  if (std::exchange(stopped_, true)) return;
  tick_.cancel();
  heartbeat_.cancel();
  if (history_) history_->Write("stop");
}

void StationAlarms::Observe(Condition condition, std::optional<Fault> fault) {
  Handle(conditions_.Observe(condition, std::move(fault), Moment::Now()));
}

void StationAlarms::Unknown(Condition condition) {
  Handle(conditions_.Unknown(condition, Moment::Now()));
}

void StationAlarms::Measure(const std::vector<Measurement>& measurements) {
  for (const Measurement& m : measurements) Handle(conditions_.Take(m, Moment::Now()));
}

bool StationAlarms::Test() {
  if (options_.commands.empty()) return false;
  AlarmEvent event;
  event.kind = EventKind::kTest;
  event.time = std::chrono::system_clock::now();
  event.active = ActiveNames();
  Raise(event);
  return true;
}

std::string StationAlarms::StatusText() const {
  std::string names;
  for (const Condition c : ActiveNames())
    names += (names.empty() ? "" : ",") + std::string(ConditionName(c));
  return names.empty() ? "" : " CONDITIONS=" + names;
}

std::vector<Condition> StationAlarms::ActiveNames() const {
  std::vector<Condition> names;
  for (const ActiveCondition& a : conditions_.Active()) names.push_back(a.condition);
  return names;
}

void StationAlarms::SendEnded(bool ok, const std::string& changes,
                              const transfer::LastSentRecord& values,
                              std::chrono::steady_clock::duration took, const std::string& text) {
  if (history_) {
    nlohmann::ordered_json record;
    record["result"] = ok ? "ok" : "failed";
    record["changes"] = changes;
    record["duration_s"] =
        std::chrono::duration_cast<std::chrono::milliseconds>(took).count() / 1000.0;
    if (ok) {
      // The Last-sent record's lines, "PS=…", as names and values.
      nlohmann::ordered_json fields;
      for (const std::string& line : values) {
        const auto eq = line.find('=');
        if (eq != std::string::npos)
          fields[line.substr(0, eq)] = rds::Cp1252ToUtf8(line.substr(eq + 1));
      }
      record["values"] = fields;
    }
    record[ok ? "text" : "error"] = text;
    history_->Write("send", record);
  }
  Observe(
      Condition::kSendFailed,
      ok ? std::nullopt : std::optional<Fault>(Fault{"sends to the encoder fail: " + text, {}}));
}

void StationAlarms::Verdict(const std::string& verdict, const std::vector<FieldValues>& fields) {
  if (verdict == verdict_) return;
  verdict_ = verdict;
  if (!history_) return;
  nlohmann::ordered_json record{{"verdict", verdict}};
  if (!fields.empty()) record["fields"] = FieldsJson(fields);
  history_->Write("verdict", record);
}

void StationAlarms::Handle(const std::vector<ConditionChange>& changes) {
  for (const ConditionChange& change : changes) {
    const AlarmEvent event = ChangeEvent(change, ActiveNames(), std::chrono::system_clock::now());
    if (history_) {
      nlohmann::ordered_json record{{"condition", ConditionName(change.condition)},
                                    {"detail", change.fault.detail},
                                    {"since", IsoTime(change.since.wall)}};
      if (event.lasted) record["duration_s"] = event.lasted->count() / 1000.0;
      if (!change.fault.fields.empty()) record["fields"] = FieldsJson(change.fault.fields);
      history_->Write(change.raised ? "alarm" : "recovery", record);
    }
    Raise(event);
  }
}

void StationAlarms::Raise(const AlarmEvent& event) {
  log_.Line(EventSummary(event, options_.instance));
  if (delivery_) delivery_->Post(event);
}

void StationAlarms::ArmTick() {
  tick_.expires_after(kTick);
  tick_.async_wait([this](const std::error_code& error) {
    if (error || stopped_) return;
    Handle(conditions_.Tick(Moment::Now()));
    ArmTick();
  });
}

// Every heartbeat period from the start, without drift.
void StationAlarms::ArmHeartbeat() {
  heartbeat_.async_wait([this](const std::error_code& error) {
    if (error || stopped_) return;
    AlarmEvent event;
    event.kind = EventKind::kHeartbeat;
    event.time = std::chrono::system_clock::now();
    event.active = ActiveNames();
    if (delivery_) delivery_->Post(event);
    heartbeat_.expires_at(heartbeat_.expiry() + options_.heartbeat);
    ArmHeartbeat();
  });
}

}  // namespace serve
