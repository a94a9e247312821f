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
  // True while part of a line has come and its end has not.
  bool Unfinished() const { return overlong_ || !line_.empty(); }

 private:
  std::string line_;
  bool overlong_ = false;
};

// What automation systems send by default that this encoder cannot carry.
enum class NotCarried { kNone, kRadioText, kDynamicPs };

// TEXT= RT= RT1= RT2= and RT+... are RadioText, DPS= and DPS1= dynamic PS (any case).
NotCarried NotCarriedCommand(std::string_view line);

// Gets the answer to one command line, without its line break.
using TextAnswer = std::function<void(std::string answer)>;

// Carries out one command line and gives answer its answer, at once or, for a change, once
// the change is saved:
//   PS= PI= PTY= TP= TA= MS= DI= AF=  set a field, checked as the command-line option of
//                                     the same name: "OK" ("OK but not saved: reason"
//                                     when the settings file could not hold it), with
//                                     " warning: ..." after it for the mistakes the change
//                                     makes (a default PI, TA without TP, ...), or
//                                     "NO reason" and no change;
//   TEXT= RT= DPS= ...                "NO this encoder carries no RadioText" (or "no
//                                     dynamic PS");
//   PS? PI? ... AF?                   "PS=value" and so on;
//   SEND                              asks for a send now: "OK";
//   STATUS                            the last send's result and time;
//   ALARMTEST                         a test event to the alarm commands: "OK".
// Names are taken in any case; AF values are MHz with a full stop, separated by commas.
void RunTextCommand(std::string_view line, StationControl& station, const TextAnswer& answer);

}  // namespace serve
