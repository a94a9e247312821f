#pragma once

#include <string>
#include <utility>

#include "rds/af_encoding.h"
#include "rds/station.h"
#include "transfer/last_sent_record.h"

namespace transfer {

// What a send needs from the main window. The window implements it; all calls come on
// the user-interface thread, during SendSequence::UploadRDS.
class SendView {
 public:
  virtual ~SendView() = default;

  // The Main tab's values as the controls hold them now.
  virtual rds::StationSettings ReadSettings() = 0;
  // Puts the corrected PI text and the compacted AF texts into their boxes.
  virtual void WriteBackTexts(const std::string& pi, const rds::AfTexts& af) = 0;
  // Lets the pending window messages run, once.
  virtual void ProcessPendingMessages() = 0;
  // The progress bar's position, 0 to 56.
  virtual void SetProgress(int position) = 0;
  // The application-wide busy cursor (arrow with hourglass) on or off.
  virtual void SetBusyCursor(bool busy) = 0;
  // Shows the record in the Last-sent box.
  virtual void ShowLastSent(const LastSentRecord& record) = 0;
};

// A send without a window: the station values are held here, the corrections are kept
// for the next send, and nothing is shown but what a subclass chooses to.
class StationSendView : public SendView {
 public:
  explicit StationSendView(rds::StationSettings settings) : settings_(std::move(settings)) {}

  rds::StationSettings ReadSettings() override { return settings_; }
  void WriteBackTexts(const std::string& pi, const rds::AfTexts& af) override {
    settings_.pi = pi;
    settings_.af = af;
  }
  void ProcessPendingMessages() override {}
  void SetProgress(int) override {}
  void SetBusyCursor(bool) override {}
  void ShowLastSent(const LastSentRecord&) override {}

 private:
  rds::StationSettings settings_;
};

}  // namespace transfer
