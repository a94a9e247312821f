#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "cmdline/send_lines.h"
#include "rds/station.h"
#include "transfer/last_sent_record.h"

namespace serve {

// How one send ended.
struct SendOutcome {
  bool ok = false;
  std::string text;  // the timing summary, or the error
  transfer::LastSentRecord record{};
  std::string pi_text;  // PI and AF as the send corrected them
  rds::AfTexts af_texts{};
  std::optional<std::chrono::steady_clock::time_point> first_bit;
};

// The one thread that runs sends: a send takes about 2.6 s of exact pauses and must not
// hold up the network. The port is opened for each send and closed after it, so a port
// that was unplugged works again once it is back.
class SendWorker {
 public:
  using Done = std::function<void(SendOutcome)>;

  explicit SendWorker(cmdline::SendTarget target);  // no port: record only (a dry run)
  ~SendWorker();                                    // waits for a running send
  SendWorker(const SendWorker&) = delete;
  SendWorker& operator=(const SendWorker&) = delete;

  // Starts a send of settings; done is called on the worker thread when it has ended.
  // Only one send at a time: the caller waits for done before the next Start.
  void Start(rds::StationSettings settings, Done done);

 private:
  void Loop();
  SendOutcome Send(const rds::StationSettings& settings);

  cmdline::SendTarget options_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::optional<std::pair<rds::StationSettings, Done>> job_;
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace serve
