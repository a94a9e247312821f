// Decodes synthesized FM multiplex with the receiver and prints (a) how many times faster
// than real time it runs on one core at the common sample rates, with the level meter beside
// it, (b) the levels it reads through a simulated FM receiver, and (c) how many groups it
// decodes as the noise rises. Not a test: the speed depends on the machine.
//
//   monitor_bench [--seconds S] [--raw FOLDER]
//
// --raw writes every signal of table (c) as raw signed 16-bit little-endian mono files
// (mpx-171000-noise-0.10.s16, ...), so that another decoder can be run on the very same
// samples.
#include <time.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "bench/fm_receiver_levels.h"
#include "rds/group_assembly.h"
#include "rds/station.h"
#include "receiver/level_meter.h"
#include "receiver/mpx_decoder.h"
#include "tests/receiver/mpx_synth.h"

namespace {

using std::chrono::duration;
using std::chrono::nanoseconds;

constexpr std::array kRatesHz{171000.0, 192000.0, 228000.0, 250000.0};
constexpr double kNoiseRateHz = 171000;
constexpr double kNoiseStep = 0.02;
constexpr double kHighestNoise = 1.0;
constexpr double kGroupsPerSecond = 1187.5 / 104;

nanoseconds ThreadCpuTime() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return std::chrono::seconds(t.tv_sec) + nanoseconds(t.tv_nsec);
}

rds::Encoding BenchStation() {
  rds::StationSettings s;
  s.ps = "BENCH FM";
  s.pi = "D3C2";
  s.pty = 10;
  s.tp = 1;
  s.af = {"87.6", "98.5", "107.9", "", "", "", ""};
  return rds::Encode(s);
}

struct Decoded {
  std::uint64_t groups = 0;  // every block valid and the group one of those sent
  nanoseconds cpu{};
  nanoseconds levels_cpu{};  // the level meter's, when measured
};

Decoded Decode(const std::vector<std::int16_t>& mpx, double rate_hz,
               const rds::EncoderImage& image, bool levels = false) {
  const auto sent = rds::SplitImage(image);
  Decoded result;
  receiver::MpxDecoder decoder(rate_hz, [&](const receiver::Group& group) {
    for (const bool ok : group.ok) {
      if (!ok) return;
    }
    for (const rds::Group& expected : sent) {
      bool same = true;
      for (std::size_t b = 0; b < expected.size(); ++b) {
        same = same && expected[b].info == group.words[b];
      }
      if (same) {
        ++result.groups;
        return;
      }
    }
  });
  if (!levels) {
    const nanoseconds before = ThreadCpuTime();
    decoder.Feed(std::span<const std::int16_t>(mpx));
    result.cpu = ThreadCpuTime() - before;
    return result;
  }
  // As the monitor runs them: both fed the same float samples, a chunk at a time.
  std::vector<float> samples(mpx.size());
  for (std::size_t i = 0; i < mpx.size(); ++i) samples[i] = mpx[i] / 32768.f;
  receiver::LevelMeter meter(rate_hz, {}, nullptr);
  constexpr std::size_t kChunk = 8192;
  for (std::size_t at = 0; at < samples.size(); at += kChunk) {
    const std::span<const float> chunk(samples.data() + at, std::min(kChunk, samples.size() - at));
    const nanoseconds before = ThreadCpuTime();
    decoder.Feed(chunk);
    const nanoseconds between = ThreadCpuTime();
    meter.CountBlocks(decoder.stats().blocks_received - decoder.stats().blocks_bad);
    meter.Feed(chunk);
    result.cpu += between - before;
    result.levels_cpu += ThreadCpuTime() - between;
  }
  return result;
}

void WriteRaw(const std::filesystem::path& path, const std::vector<std::int16_t>& mpx) {
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

}  // namespace

int main(int argc, char** argv) {
  double seconds = 60;
  std::filesystem::path raw_folder;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--seconds" && i + 1 < argc) {
      seconds = std::atof(argv[++i]);
    } else if (arg == "--raw" && i + 1 < argc) {
      raw_folder = argv[++i];
    } else {
      std::fprintf(stderr, "usage: monitor_bench [--seconds S] [--raw FOLDER]\n");
      return 2;
    }
  }
  if (!(seconds > 0)) {
    std::fprintf(stderr, "monitor_bench: --seconds wants a positive number\n");
    return 2;
  }
  if (!raw_folder.empty()) std::filesystem::create_directories(raw_folder);

  const rds::Encoding station = BenchStation();
  const std::vector<std::uint8_t> bits(station.image.begin(), station.image.end());
  const double expected = kGroupsPerSecond * seconds;

  std::printf(
      "Decode speed, %.0f s of multiplex (audio, stereo, pilot, RDS; no noise), "
      "one core: decoding, the level meter, and both\n\n",
      seconds);
  std::printf(
      "| rate (Hz) | decoding CPU (s) | levels CPU (s) | levels' share | x real time, both "
      "| groups | expected |\n");
  std::printf("|---:|---:|---:|---:|---:|---:|---:|\n");
  for (const double rate_hz : kRatesHz) {
    receiver::testing::MpxOptions options;
    options.rate_hz = rate_hz;
    const auto mpx = receiver::testing::SynthesizeMpx(bits, seconds, options);
    const Decoded d = Decode(mpx, rate_hz, station.image, true);
    const double cpu_s = duration<double>(d.cpu).count();
    const double levels_s = duration<double>(d.levels_cpu).count();
    std::printf("| %.0f | %.2f | %.2f | %.0f%% | %.0f | %llu | %.0f |\n", rate_hz, cpu_s, levels_s,
                100 * levels_s / (cpu_s + levels_s), seconds / (cpu_s + levels_s),
                static_cast<unsigned long long>(d.groups), expected);
    std::fflush(stdout);
  }

  bench::PrintLevelsThroughReceiver(std::min(seconds, 10.0));

  std::printf(
      "\nGroups decoded against noise, %.0f s each at %.0f Hz (RDS peak 4.5%% of full "
      "scale; noise as RMS share of full scale, white over the whole band)\n\n",
      seconds, kNoiseRateHz);
  std::printf("| noise RMS | groups | expected | share |\n");
  std::printf("|---:|---:|---:|---:|\n");
  // Up to the highest level, or until two levels in a row decode nothing.
  int empty_rows = 0;
  for (int step = 0; step * kNoiseStep <= kHighestNoise + 1e-9 && empty_rows < 2; ++step) {
    receiver::testing::MpxOptions options;
    options.rate_hz = kNoiseRateHz;
    options.noise_rms = step * kNoiseStep;
    options.seed = static_cast<unsigned>(step + 1);
    const auto mpx = receiver::testing::SynthesizeMpx(bits, seconds, options);
    if (!raw_folder.empty()) {
      char name[64];
      std::snprintf(name, sizeof name, "mpx-%.0f-noise-%.2f.s16", kNoiseRateHz, options.noise_rms);
      WriteRaw(raw_folder / name, mpx);
    }
    const Decoded d = Decode(mpx, kNoiseRateHz, station.image);
    std::printf("| %.2f | %llu | %.0f | %.0f%% |\n", options.noise_rms,
                static_cast<unsigned long long>(d.groups), expected,
                100.0 * static_cast<double>(d.groups) / expected);
    std::fflush(stdout);
    empty_rows = d.groups == 0 ? empty_rows + 1 : 0;
  }
  return 0;
}
