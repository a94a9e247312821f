#include "serve/station.h"

#include <asio/post.hpp>
#include <iomanip>
#include <sstream>

#include "transfer/send_throttle.h"

namespace cli {
namespace {

using Clock = std::chrono::steady_clock;

// How often a send that waits for the throttle looks again.
constexpr std::chrono::milliseconds kThrottlePoll{50};

void AddFields(std::string& to, const std::string& fields) {
  std::istringstream in(fields);
  for (std::string field; std::getline(in, field, ',');) {
    if (("," + to + ",").find("," + field + ",") != std::string::npos) continue;
    if (!to.empty()) to += ',';
    to += field;
  }
}

bool Has(const std::string& fields, const std::string& field) {
  return ("," + fields + ",").find("," + field + ",") != std::string::npos;
}

}  // namespace

ServeStation::ServeStation(asio::io_context& io, app::SettingsValues start,
                           ServeStationOptions options, SendWorker& worker, ServeLog& log)
    : io_(io),
      values_(std::move(start)),
      options_(std::move(options)),
      worker_(worker),
      log_(log),
      send_timer_(io),
      ta_timer_(io) {
  if (values_.station.ta == 1) ArmTaTimeout();
}

void ServeStation::Change(const rds::StationSettings& next, const std::string& fields) {
  if (stopping_) return;
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
  Save();
  Schedule(false);
}

void ServeStation::RequestSend() {
  if (stopping_) return;
  if (!pending_) first_pending_ = Clock::now();
  pending_ = true;
  AddFields(pending_fields_, "SEND");
  Schedule(true);
}

void ServeStation::Schedule(bool now) {
  // A running send, or a failed one waiting for its retry, takes the changes along later.
  if (sending_ || retrying_ || stopping_) return;
  const Clock::time_point at =
      now ? Clock::now()
          : std::min(last_change_ + kCoalesceWindow, first_pending_ + kCoalesceLimit);
  send_timer_.expires_at(at);
  send_timer_.async_wait([this](const std::error_code& error) {
    if (!error) TryStart();
  });
}

void ServeStation::TryStart() {
  if (!pending_ || sending_ || stopping_) return;
  if (last_send_end_ && !transfer::PressAccepted(*last_send_end_, clock_.Now())) {
    send_timer_.expires_after(kThrottlePoll);
    send_timer_.async_wait([this](const std::error_code& error) {
      if (!error) TryStart();
    });
    return;
  }
  sending_ = true;
  pending_ = false;
  sent_fields_ = std::exchange(pending_fields_, {});
  sent_first_ = first_pending_;
  sent_ = values_.station;
  worker_.Start(sent_, [this](SendOutcome outcome) {
    asio::post(io_, [this, outcome = std::move(outcome)] { Finished(outcome); });
  });
}

void ServeStation::Finished(const SendOutcome& outcome) {
  sending_ = false;
  last_send_end_ = clock_.Now();
  const std::string when = IsoTime(std::chrono::system_clock::now());
  std::ostringstream line;
  line.imbue(std::locale::classic());
  line << "send changes=" << (sent_fields_.empty() ? "-" : sent_fields_);
  if (outcome.ok) {
    retrying_ = false;
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
    status_ = "STATUS ok " + when + ' ' + outcome.text;
  } else {
    retrying_ = true;
    line << " failed: " << outcome.text << "; retrying in " << kRetryDelay.count() << " s";
    status_ = "STATUS failed " + when + ' ' + outcome.text;
    // The retry sends the state as it is then, and tells everything it carries.
    if (!pending_) first_pending_ = sent_first_;
    std::string fields = sent_fields_;
    AddFields(fields, pending_fields_);
    pending_fields_ = fields;
    pending_ = true;
  }
  log_.Line(line.str());
  if (stopping_) {
    Save();
    if (stopped_) std::exchange(stopped_, nullptr)();
    return;
  }
  if (retrying_) {
    send_timer_.expires_after(kRetryDelay);
    send_timer_.async_wait([this](const std::error_code& error) {
      if (!error) TryStart();
    });
  } else if (pending_) {
    Schedule(false);
  }
}

void ServeStation::Save() {
  if (!options_.settings_file) return;
  try {
    app::SaveSettingsFile(*options_.settings_file, values_);
  } catch (const std::exception& e) {
    log_.Line(std::string("save failed: ") + e.what());
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
    Change(next, "TA");
  });
}

void ServeStation::Stop(std::function<void()> done) {
  stopping_ = true;
  send_timer_.cancel();
  ta_timer_.cancel();
  if (sending_) {
    stopped_ = std::move(done);
    return;
  }
  Save();
  done();
}

}  // namespace cli
