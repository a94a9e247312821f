// Paces the transfer with the pacer and with a plain-sleep loop of the same pauses, in turn,
// on an idle machine and under a busy load of its own, and prints how long the sends took
// against their nominal length. Not a test: the figures depend on the machine.
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "rds/station.h"
#include "transfer/clock_out.h"
#include "transfer/precise_pacer.h"
#include "transfer/recording_line_driver.h"
#include "transfer/thread_priority.h"
#include "transfer/trace_timing.h"

namespace {

using std::chrono::duration;
using std::chrono::nanoseconds;
using Clock = std::chrono::steady_clock;

// Busy processes per core for each load level.
constexpr std::array<int, 3> kLoadsPerCore = {0, 1, 3};
// A busy process ends by itself after this long, whatever becomes of the benchmark.
constexpr unsigned kLoadLifeSeconds = 120;

struct SendFigures {
  double ratio = 0;
  nanoseconds cpu{};
  nanoseconds min_bit_pause{};
  nanoseconds min_run_pause{};
};

nanoseconds ThreadCpuTime() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return std::chrono::seconds(t.tv_sec) + nanoseconds(t.tv_nsec);
}

SendFigures Measure(const std::function<void(transfer::WireTrace&)>& send) {
  transfer::WireTrace trace;
  const nanoseconds cpu_before = ThreadCpuTime();
  send(trace);
  SendFigures figures;
  figures.cpu = ThreadCpuTime() - cpu_before;
  const transfer::TraceTiming timing = transfer::MeasureTrace(trace);
  figures.ratio = duration<double>(timing.elapsed) / transfer::kNominalTransferTime;
  figures.min_bit_pause = timing.min_bit_pause.value_or(nanoseconds{});
  figures.min_run_pause = timing.min_run_pause.value_or(nanoseconds{});
  return figures;
}

// The transfer as a send runs it, recorded instead of driving a port.
void PacedSend(const rds::EncoderImage& image, bool high_priority, transfer::WireTrace& trace) {
  transfer::PrecisePacer pacer;
  pacer.SetHighPriority(high_priority);
  const transfer::LineDriverChoice recorder = [&] {
    return std::make_unique<transfer::RecordingLineDriver>(trace);
  };
  transfer::ClockOut(image, recorder, pacer, [](int) {});
}

void PlainSleep(std::chrono::milliseconds pause) {
  const timespec t{0, static_cast<long>(nanoseconds(pause).count())};
  clock_nanosleep(CLOCK_MONOTONIC, 0, &t, nullptr);
}

// The same line changes with plain relative sleeps: two 1 ms sleeps per bit cell and a
// 30 ms sleep after every 8 cells, at the thread's usual timer slack.
void PlainSend(const rds::EncoderImage& image, bool high_priority, transfer::WireTrace& trace) {
  std::optional<transfer::RaisedThreadPriority> raised;
  if (high_priority) raised.emplace();
  transfer::RecordingLineDriver lines(trace);
  const transfer::Preamble& preamble = transfer::PreambleCells();
  lines.ResetLines();
  for (std::size_t cell = 0; cell < preamble.size() + image.size(); ++cell) {
    const rds::BitCell bit =
        cell < preamble.size() ? preamble[cell] : image[cell - preamble.size()];
    PlainSleep(transfer::kBitPause);
    lines.ClockHigh(bit);
    PlainSleep(transfer::kBitPause);
    lines.ClockLow(bit);
    if (cell % transfer::kRunBits == transfer::kRunBits - 1) PlainSleep(transfer::kRunPause);
  }
  lines.ResetLines();
}

// Busy processes, one per slot, killed when it ends (or when this process dies).
class BusyLoad {
 public:
  explicit BusyLoad(int processes) {
    for (int i = 0; i < processes; ++i) {
      const pid_t pid = fork();
      if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        alarm(kLoadLifeSeconds);
        for (;;) asm volatile("" ::: "memory");  // spins without being optimised away
      }
      if (pid > 0) children_.push_back(pid);
    }
  }
  ~BusyLoad() {
    for (const pid_t pid : children_) kill(pid, SIGKILL);
    for (const pid_t pid : children_) waitpid(pid, nullptr, 0);
  }
  BusyLoad(const BusyLoad&) = delete;
  BusyLoad& operator=(const BusyLoad&) = delete;

 private:
  std::vector<pid_t> children_;
};

std::string LoadAverage() {
  std::array<double, 3> load{};
  if (getloadavg(load.data(), 3) != 3) return "?";
  char text[64];
  std::snprintf(text, sizeof text, "%.2f %.2f %.2f", load[0], load[1], load[2]);
  return text;
}

void PrintRow(const char* load, const char* sender, std::vector<SendFigures> sends,
              const std::string& load_average) {
  std::sort(sends.begin(), sends.end(),
            [](const SendFigures& a, const SendFigures& b) { return a.ratio < b.ratio; });
  nanoseconds cpu{}, bit = sends.front().min_bit_pause, run = sends.front().min_run_pause;
  for (const SendFigures& s : sends) {
    cpu += s.cpu;
    bit = std::min(bit, s.min_bit_pause);
    run = std::min(run, s.min_run_pause);
  }
  const double cpu_ms = duration<double, std::milli>(cpu).count() / sends.size();
  const double nominal_ms = duration<double, std::milli>(transfer::kNominalTransferTime).count();
  std::printf("| %s | %s | %.4f | %.4f | %.4f | %.1f ms (%.1f%%) | %.1f | %.1f | %s |\n", load,
              sender, sends.front().ratio, sends[sends.size() / 2].ratio, sends.back().ratio,
              cpu_ms, 100 * cpu_ms / (nominal_ms * sends.front().ratio),
              duration<double, std::micro>(bit).count(), duration<double, std::micro>(run).count(),
              load_average.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  bool high_priority = false;
  int sends = 3;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--high-priority") {
      high_priority = true;
    } else if (arg == "--sends" && i + 1 < argc) {
      sends = std::max(1, std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr, "usage: pacing_bench [--high-priority] [--sends N]\n");
      return 2;
    }
  }
  const long cores = std::max(1L, sysconf(_SC_NPROCESSORS_ONLN));
  const rds::EncoderImage image = rds::Encode(rds::StationSettings{}).image;

  std::string priority = "normal";
  if (high_priority) priority = transfer::RaisedThreadPriority().Description();
  std::printf(
      "load average at start: %s; %ld cores; priority: %s; %d sends each; nominal %lld ms\n\n",
      LoadAverage().c_str(), cores, priority.c_str(), sends,
      static_cast<long long>(transfer::kNominalTransferTime.count()));
  std::printf(
      "| busy load | pauses | ratio min | median | max | CPU per send | shortest 1 ms "
      "pause (us) | shortest 31 ms pause (us) | load average before |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|\n");
  for (const int per_core : kLoadsPerCore) {
    const std::string load_average = LoadAverage();
    std::vector<SendFigures> paced, plain;
    {
      const BusyLoad load(static_cast<int>(per_core * cores));
      for (int i = 0; i < sends; ++i) {
        // Alternating which goes first, so that neither always meets the load's start.
        auto pace = [&] {
          paced.push_back(Measure([&](auto& t) { PacedSend(image, high_priority, t); }));
        };
        auto sleep = [&] {
          plain.push_back(Measure([&](auto& t) { PlainSend(image, high_priority, t); }));
        };
        if (i % 2 == 0) {
          pace();
          sleep();
        } else {
          sleep();
          pace();
        }
      }
    }
    char label[32];
    if (per_core == 0) {
      std::snprintf(label, sizeof label, "idle");
    } else {
      std::snprintf(label, sizeof label, "%d per core (%ld)", per_core, per_core * cores);
    }
    PrintRow(label, "pacer", paced, load_average);
    PrintRow(label, "plain sleeps", plain, load_average);
    std::fflush(stdout);
  }
  return 0;
}
