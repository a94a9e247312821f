#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "serve/station_control.h"

namespace serve {

// The text command port: one command per line, LF or CR LF, at most 255 bytes of UTF-8.
constexpr std::size_t kMaxCommandLine = 255;

// Cuts a byte stream into lines. A line longer than kMaxCommandLine is dropped up to its
// end and reported once as overlong; the reader never holds more than one line.
class TextLineReader {
 public:
  // line is the text without its line break; overlong is true for a dropped line.
  using Sink = std::function<void(std::string_view line, bool overlong)>;

  void Feed(std::string_view bytes, const Sink& sink);

 private:
  std::string line_;
  bool overlong_ = false;
};

// Carries out one command line and returns the answer, without its line break:
//   PS= PI= PTY= TP= TA= MS= DI= AF=  set a field, checked as the command-line option of
//                                     the same name: "OK" ("OK but not saved: reason"
//                                     while the settings file cannot be saved), or
//                                     "NO reason" and no change;
//   PS? PI? ... AF?                   "PS=value" and so on;
//   SEND                              asks for a send now: "OK";
//   STATUS                            the last send's result and time.
// Names are taken in any case; AF values are MHz with a full stop, separated by commas.
std::string RunTextCommand(std::string_view line, StationControl& station);

}  // namespace serve
