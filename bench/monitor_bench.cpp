// Measures the receiver and prints Markdown tables. Not a test: the speed depends on the
// machine, and the counts are figures to compare, not limits.
//
//   monitor_bench [--table speed|fm|silent|levels] [--seconds S] [--records N] [--raw FOLDER]
//                 [--redsea PROGRAM]
//
// speed:  how many times faster than real time the receiver and the level meter beside it
//         run on one core, at 171, 192, 228 and 250 kHz.
// fm:     a station through an FM radio chain (tests/receiver/mpx_synth.h) at falling
//         carrier-to-noise ratios: the complete groups received right and wrong, the field
//         values shown that are not on air, and the verdict --expect gives at the end of
//         each record; beside them redsea's right and wrong groups on the very same samples
//         when redsea is installed (on the PATH, or --redsea PROGRAM).
// silent: inputs with no RDS on air (noise, an empty channel, a station with its RDS
//         encoder off, a file read at the wrong rate): how many records show a PI or any
//         value, and their verdicts.
// levels: the levels the meter reads through a simulated FM receiver at rtl_fm's rates.
// Records last --seconds (20) each, --records (20) of them per row, each with its own seed.
// --raw FOLDER keeps the first record of each row as raw signed 16-bit little-endian mono
// (the form rtl_fm writes) for other decoders.
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "bench/fm_receiver_levels.h"
#include "rds/group_assembly.h"
#include "rds/station.h"
#include "receiver/air_check.h"
#include "receiver/level_meter.h"
#include "receiver/mpx_decoder.h"
#include "tests/receiver/mpx_synth.h"

namespace {

using receiver::testing::FmChainOptions;
using receiver::testing::MpxOptions;
using Samples = std::vector<std::int16_t>;
using std::chrono::nanoseconds;

constexpr std::array kRatesHz{171000.0, 192000.0, 228000.0, 250000.0};
// From a clean channel down to where nothing decodes any more.
constexpr std::array kCarrierToNoiseDb{40, 25, 20, 18, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6};
constexpr double kGroupsPerSecond = 1187.5 / 104;

struct Settings {
  double seconds = 20;
  int records = 20;
  std::string table;
  std::filesystem::path raw_folder;
  std::string redsea;
};

nanoseconds ThreadCpuTime() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return std::chrono::seconds(t.tv_sec) + nanoseconds(t.tv_nsec);
}

rds::StationSettings BenchStation() {
  rds::StationSettings s;
  s.ps = "BENCH FM";
  s.pi = "D3C2";
  s.pty = 10;
  s.tp = 1;
  s.di = {true, false, false, false};
  s.af = {"87.6", "98.5", "107.9", "", "", "", ""};
  return s;
}

std::vector<std::uint8_t> Bits(const rds::StationSettings& station) {
  const auto image = rds::Encode(station).image;
  return {image.begin(), image.end()};
}

// Complete groups counted against those sent.
struct GroupCount {
  std::uint64_t right = 0;
  std::uint64_t wrong = 0;
  void Count(const std::array<std::uint16_t, 4>& words, const rds::StationSettings& station) {
    static const auto sent = rds::SplitImage(rds::Encode(station).image);
    for (const rds::Group& g : sent) {
      if (g[0].info == words[0] && g[1].info == words[1] && g[2].info == words[2] &&
          g[3].info == words[3]) {
        ++right;
        return;
      }
    }
    ++wrong;
  }
};

// What the monitor makes of one record.
struct Reception {
  GroupCount groups;
  std::uint64_t wrong_shown = 0;  // field values shown that the station does not send
  bool pi_shown = false;
  bool any_shown = false;
  receiver::Verdict verdict = receiver::Verdict::kNoRds;
  nanoseconds cpu{};
};

Reception Receive(const Samples& mpx, double rate_hz, const rds::StationSettings& station) {
  Reception r;
  receiver::AirCheck check(station);
  const receiver::AirFields& expected = check.expected();
  receiver::MpxDecoder decoder(rate_hz, [&](const receiver::Group& group) {
    if (group.ok == std::array<bool, 4>{true, true, true, true})
      r.groups.Count(group.words, station);
    for (const receiver::Field field : check.Take(group)) {
      r.any_shown = true;
      r.pi_shown = r.pi_shown || field == receiver::Field::kPi;
      const std::string shown = receiver::FieldText(check.view().fields(), field);
      if (!shown.empty() && shown != receiver::FieldText(expected, field)) ++r.wrong_shown;
    }
  });
  const nanoseconds before = ThreadCpuTime();
  decoder.Feed(std::span<const std::int16_t>(mpx));
  r.cpu = ThreadCpuTime() - before;
  r.verdict = check.Final();
  return r;
}

void WriteRaw(const std::filesystem::path& path, const Samples& mpx) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (const std::int16_t s : mpx) {
    const auto u = static_cast<std::uint16_t>(s);
    out.put(static_cast<char>(u & 0xFF)).put(static_cast<char>(u >> 8));
  }
  if (!out.flush()) {
    std::fprintf(stderr, "monitor_bench: cannot write %s\n", path.string().c_str());
    std::exit(1);
  }
}

std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const std::string candidate = dir + "/" + name;
    if (!dir.empty() && access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

// redsea's complete groups from the same samples (its RDS Spy hex output, "----" for a
// block it lost).
GroupCount Redsea(const std::string& program, const Samples& mpx, double rate_hz,
                  const rds::StationSettings& station) {
  char name[] = "/tmp/monitor_bench_XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) {
    std::perror("monitor_bench: mkstemp");
    std::exit(1);
  }
  close(fd);
  WriteRaw(name, mpx);
  const std::string command =
      "'" + program + "' -r " + std::to_string(std::lround(rate_hz)) + " -o hex < " + name;
  GroupCount count;
  FILE* pipe = popen(command.c_str(), "r");
  char line[256];
  while (pipe && std::fgets(line, sizeof line, pipe)) {
    std::array<std::uint16_t, 4> words{};
    std::array<unsigned, 4> parsed{};
    if (std::sscanf(line, "%4x %4x %4x %4x", &parsed[0], &parsed[1], &parsed[2], &parsed[3]) != 4)
      continue;
    for (int b = 0; b < 4; ++b) words[b] = static_cast<std::uint16_t>(parsed[b]);
    count.Count(words, station);
  }
  if (!pipe || pclose(pipe) != 0) {
    std::fprintf(stderr, "monitor_bench: %s failed\n", command.c_str());
    std::exit(1);
  }
  std::filesystem::remove(name);
  return count;
}

// The level meter's CPU time on the samples, fed as the monitor feeds it, a chunk at a time.
nanoseconds MeterCpu(const Samples& mpx, double rate_hz) {
  std::vector<float> samples(mpx.size());
  for (std::size_t i = 0; i < mpx.size(); ++i) samples[i] = mpx[i] / 32768.f;
  receiver::LevelMeter meter(rate_hz, {}, nullptr);
  constexpr std::size_t kChunk = 8192;
  const nanoseconds before = ThreadCpuTime();
  for (std::size_t at = 0; at < samples.size(); at += kChunk) {
    meter.Feed(std::span<const float>(samples.data() + at, std::min(kChunk, samples.size() - at)));
  }
  return ThreadCpuTime() - before;
}

void SpeedTable(const Settings& settings) {
  const auto station = BenchStation();
  std::printf(
      "Decode speed, %.0f s of multiplex (audio, stereo, pilot, RDS; no noise), one core: "
      "decoding, the level meter, and both\n\n",
      settings.seconds);
  std::printf(
      "| rate (Hz) | decoding CPU (s) | levels CPU (s) | x real time, both | groups | sent |\n"
      "|---:|---:|---:|---:|---:|---:|\n");
  for (const double rate_hz : kRatesHz) {
    MpxOptions options;
    options.rate_hz = rate_hz;
    const auto mpx = receiver::testing::SynthesizeMpx(Bits(station), settings.seconds, options);
    const Reception r = Receive(mpx, rate_hz, station);
    const double cpu_s = std::chrono::duration<double>(r.cpu).count();
    const double levels_s = std::chrono::duration<double>(MeterCpu(mpx, rate_hz)).count();
    std::printf("| %.0f | %.2f | %.2f | %.0f | %llu | %.0f |\n", rate_hz, cpu_s, levels_s,
                settings.seconds / (cpu_s + levels_s),
                static_cast<unsigned long long>(r.groups.right),
                kGroupsPerSecond * settings.seconds);
    std::fflush(stdout);
  }
  std::printf("\n");
}

const char* VerdictName(receiver::Verdict verdict) {
  switch (verdict) {
    case receiver::Verdict::kConfirmed:
      return "confirmed";
    case receiver::Verdict::kMismatch:
      return "mismatch";
    case receiver::Verdict::kNoRds:
      return "no RDS";
    default:
      return "incomplete";
  }
}

std::string Verdicts(const std::vector<receiver::Verdict>& verdicts) {
  std::string out;
  for (const auto v : {receiver::Verdict::kConfirmed, receiver::Verdict::kIncomplete,
                       receiver::Verdict::kNoRds, receiver::Verdict::kMismatch}) {
    const auto n = std::count(verdicts.begin(), verdicts.end(), v);
    if (n > 0) out += (out.empty() ? "" : ", ") + std::to_string(n) + " " + VerdictName(v);
  }
  return out;
}

void FmTable(const Settings& settings) {
  const auto station = BenchStation();
  const bool redsea = !settings.redsea.empty();
  std::printf(
      "A station through an FM chain (75 kHz deviation, 3 kHz carrier offset, an echo 10 dB "
      "down, quadrature demodulation to 171 kHz), %d records of %.0f s per row\n\n",
      settings.records, settings.seconds);
  std::printf("| C/N (dB) | groups sent | right | wrong | wrong values shown | verdicts |%s\n",
              redsea ? " redsea right | redsea wrong | right / redsea's |" : "");
  std::printf("|---:|---:|---:|---:|---:|---|%s\n", redsea ? "---:|---:|---:|" : "");
  int empty_rows = 0;
  for (const int cn_db : kCarrierToNoiseDb) {
    GroupCount ours, theirs;
    std::uint64_t wrong_shown = 0;
    std::vector<receiver::Verdict> verdicts;
    for (int record = 0; record < settings.records; ++record) {
      MpxOptions options;
      options.seed = static_cast<unsigned>(1000 * cn_db + record + 1);
      FmChainOptions chain;
      chain.cn_db = cn_db;
      chain.seed = options.seed;
      const auto mpx = receiver::testing::ThroughFmChain(
          receiver::testing::SynthesizeMpx(Bits(station), settings.seconds, options), chain);
      if (record == 0 && !settings.raw_folder.empty()) {
        WriteRaw(settings.raw_folder / ("fm-cn-" + std::to_string(cn_db) + ".s16"), mpx);
      }
      const Reception r = Receive(mpx, receiver::testing::kFmChainRateHz, station);
      ours.right += r.groups.right;
      ours.wrong += r.groups.wrong;
      wrong_shown += r.wrong_shown;
      verdicts.push_back(r.verdict);
      if (redsea) {
        const GroupCount g =
            Redsea(settings.redsea, mpx, receiver::testing::kFmChainRateHz, station);
        theirs.right += g.right;
        theirs.wrong += g.wrong;
      }
    }
    std::printf("| %d | %.0f | %llu | %llu | %llu | %s |", cn_db,
                kGroupsPerSecond * settings.seconds * settings.records,
                static_cast<unsigned long long>(ours.right),
                static_cast<unsigned long long>(ours.wrong),
                static_cast<unsigned long long>(wrong_shown), Verdicts(verdicts).c_str());
    if (redsea) {
      std::printf(" %llu | %llu |", static_cast<unsigned long long>(theirs.right),
                  static_cast<unsigned long long>(theirs.wrong));
      if (theirs.right > 0) {
        std::printf(" %.0f%% |", 100.0 * static_cast<double>(ours.right) / theirs.right);
      } else {
        std::printf(" |");
      }
    }
    std::printf("\n");
    std::fflush(stdout);
    empty_rows = ours.right == 0 && theirs.right == 0 ? empty_rows + 1 : 0;
    if (empty_rows == 2) break;
  }
  std::printf("\n");
}

// An input with nothing of the station's RDS in it, made for a seed.
struct Silent {
  const char* what;
  double rate_hz;  // the rate the receiver is told
  std::function<Samples(unsigned seed, double seconds)> make;
};

std::vector<Silent> SilentInputs() {
  const auto bits = Bits(BenchStation());
  const auto noise = [bits](double rms) {
    return [bits, rms](unsigned seed, double seconds) {
      MpxOptions o;
      o.pilot = o.audio = o.stereo = false;
      o.rds_level = 0;
      o.noise_rms = rms;
      o.seed = seed;
      return receiver::testing::SynthesizeMpx(bits, seconds, o);
    };
  };
  return {
      {"white noise, RMS 1% of full scale", 171000, noise(0.01)},
      {"white noise, RMS 10% of full scale", 171000, noise(0.1)},
      {"white noise, RMS 50% of full scale", 171000, noise(0.5)},
      {"an empty channel through an FM receiver", 171000,
       [](unsigned seed, double seconds) {
         FmChainOptions chain;
         chain.carrier = false;
         chain.seed = seed;
         return receiver::testing::ThroughFmChain(
             Samples(static_cast<std::size_t>(seconds * receiver::testing::kFmChainRateHz)), chain);
       }},
      {"pilot and programme without RDS, FM at 30 dB", 171000,
       [bits](unsigned seed, double seconds) {
         MpxOptions o;
         o.rds_level = 0;
         o.seed = seed;
         FmChainOptions chain;
         chain.seed = seed;
         return receiver::testing::ThroughFmChain(
             receiver::testing::SynthesizeMpx(bits, seconds, o), chain);
       }},
      {"the station at 250 kHz read as 192 kHz", 192000,
       [bits](unsigned seed, double seconds) {
         MpxOptions o;
         o.rate_hz = 250000;
         o.noise_rms = 0.01;
         o.seed = seed;
         return receiver::testing::SynthesizeMpx(bits, seconds * 192 / 250, o);
       }},
  };
}

void SilentTable(const Settings& settings) {
  const auto station = BenchStation();
  const bool redsea = !settings.redsea.empty();
  std::printf("Inputs without the station's RDS, %d records of %.0f s each\n\n", settings.records,
              settings.seconds);
  std::printf("| input | PI shown | any value shown | verdicts |%s\n",
              redsea ? " redsea groups |" : "");
  std::printf("|---|---:|---:|---|%s\n", redsea ? "---:|" : "");
  int row = 0;
  for (const Silent& input : SilentInputs()) {
    int pi = 0, any = 0;
    std::uint64_t redsea_groups = 0;
    std::vector<receiver::Verdict> verdicts;
    ++row;
    for (int record = 0; record < settings.records; ++record) {
      const auto mpx = input.make(static_cast<unsigned>(100 * row + record + 1), settings.seconds);
      if (record == 0 && !settings.raw_folder.empty()) {
        WriteRaw(settings.raw_folder / ("silent-" + std::to_string(row) + ".s16"), mpx);
      }
      const Reception r = Receive(mpx, input.rate_hz, station);
      pi += r.pi_shown ? 1 : 0;
      any += r.any_shown ? 1 : 0;
      verdicts.push_back(r.verdict);
      if (redsea) {
        const GroupCount g = Redsea(settings.redsea, mpx, input.rate_hz, station);
        redsea_groups += g.right + g.wrong;
      }
    }
    std::printf("| %s | %d | %d | %s |", input.what, pi, any, Verdicts(verdicts).c_str());
    if (redsea) std::printf(" %llu |", static_cast<unsigned long long>(redsea_groups));
    std::printf("\n");
    std::fflush(stdout);
  }
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool value = i + 1 < argc;
    if (arg == "--seconds" && value) {
      settings.seconds = std::atof(argv[++i]);
    } else if (arg == "--records" && value) {
      settings.records = std::atoi(argv[++i]);
    } else if (arg == "--table" && value) {
      settings.table = argv[++i];
    } else if (arg == "--raw" && value) {
      settings.raw_folder = argv[++i];
    } else if (arg == "--redsea" && value) {
      settings.redsea = argv[++i];
    } else {
      std::fprintf(
          stderr,
          "usage: monitor_bench [--table speed|fm|silent|levels] [--seconds S] [--records N] "
          "[--raw FOLDER] [--redsea PROGRAM]\n");
      return 2;
    }
  }
  if (!(settings.seconds > 0) || settings.records < 1) {
    std::fprintf(stderr, "monitor_bench: --seconds and --records want positive numbers\n");
    return 2;
  }
  if (!settings.raw_folder.empty()) std::filesystem::create_directories(settings.raw_folder);
  if (settings.redsea.empty()) settings.redsea = FindOnPath("redsea");
  const bool all = settings.table.empty();
  if (all || settings.table == "speed") SpeedTable(settings);
  if (all || settings.table == "fm") FmTable(settings);
  if (all || settings.table == "silent") SilentTable(settings);
  if (all || settings.table == "levels")
    bench::PrintLevelsThroughReceiver(std::min(settings.seconds, 10.0));
  return 0;
}
