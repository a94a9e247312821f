#pragma once

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "transfer/va_comm.h"

namespace transfer {

// A serial port object over ports that exist or not. Logs opens, closes and line calls;
// an Open without a Close before it would leave two handles open, and max_open shows it.
class FakeComm : public TVaCustomComm {
 public:
  std::set<int> existing_ports = {1};
  std::vector<std::string> log;
  int max_open = 0;
  bool fail_lines = false;

  void Open() override {
    log.push_back("open " + PortName());
    if (!existing_ports.count(PortNum())) {
      throw EVaCommError("Specified device not found (" + PortName() + ").", 2);
    }
    max_open = std::max(max_open, ++handles_);
  }
  void Close() override {
    log.push_back("close");
    handles_ = 0;
  }
  bool Active() const override { return handles_ > 0; }
  void SetDtrLine(bool level) override { Line("DTR", level); }
  void SetRtsLine(bool level) override { Line("RTS", level); }

 private:
  void Line(const char* name, bool level) {
    if (handles_ == 0) return;
    if (fail_lines) throw EVaCommError("Error calling comm function (25), no modem lines", 25);
    log.push_back(std::string(name) + (level ? "+" : "-"));
  }
  int handles_ = 0;
};

}  // namespace transfer
