#include "transfer/vcd_writer.h"

#include <optional>

namespace transfer {
namespace {

constexpr char kDataId = 'd';
constexpr char kClockId = 'c';

}  // namespace

void WriteVcd(const WireTrace& trace, std::ostream& out) {
  out << "$version rdsq7-cli send --dry-run $end\n"
         "$timescale 1 us $end\n"
         "$scope module encoder $end\n"
      << "$var wire 1 " << kDataId << " data $end\n"
      << "$var wire 1 " << kClockId << " clock $end\n"
      << "$upscope $end\n"
         "$enddefinitions $end\n";
  if (trace.empty()) return;

  const auto start = trace.front().time;
  std::optional<rds::BitCell> data, clock;
  for (const LineChange& change : trace) {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(change.time - start);
    // Every operation gets its time stamp, also one that changes no level (a reset with
    // both lines low already), so the dump ends at the last operation.
    out << '#' << us.count() << '\n';
    if (!data) out << "$dumpvars\n";
    if (data != change.Data()) out << static_cast<int>(change.Data()) << kDataId << '\n';
    if (clock != change.Clock()) out << static_cast<int>(change.Clock()) << kClockId << '\n';
    if (!data) out << "$end\n";
    data = change.Data();
    clock = change.Clock();
  }
}

}  // namespace transfer
