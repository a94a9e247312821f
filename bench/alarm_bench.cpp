// Measures how long a fault on air takes to reach an alarm command, with serve's default
// delays. Not a test: it plays the air at real time and takes about a minute.
//
//   alarm_bench [--cli PROGRAM] [--runs N]
//
// serve (PROGRAM, default rdsq7-cli beside this program) sends PS "SENT" and watches a
// monitor command that plays a synthesized multiplex at the rate of the air: 12 s of the PS
// sent, then another PS. The monitor command notes the time it switches; the alarm command
// notes the time it starts. Prints each run's time from the switch to the alarm command's
// start, and what serve's delays make of it.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "rds/station.h"
#include "tests/receiver/mpx_synth.h"

namespace {

namespace fs = std::filesystem;

void WriteMpx(const fs::path& path, const std::string& ps, double seconds) {
  rds::StationSettings station;
  station.ps = ps;
  const auto image = rds::Encode(station).image;
  const auto mpx = receiver::testing::SynthesizeMpx(
      std::vector<std::uint8_t>(image.begin(), image.end()), seconds, {});
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(mpx.data()),
             static_cast<std::streamsize>(mpx.size() * sizeof mpx[0]));
}

double ReadTime(const fs::path& path, const std::string& after) {
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(after, 0) == 0) return std::stod(line.substr(after.size()));
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  fs::path cli = fs::absolute(fs::path(argv[0])).parent_path() / "rdsq7-cli";
  int runs = 1;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--cli") cli = argv[i + 1];
    if (option == "--runs") runs = std::atoi(argv[i + 1]);
  }
  char folder_name[] = "/tmp/alarm_bench.XXXXXX";
  if (!mkdtemp(folder_name)) return 1;
  const fs::path dir = folder_name;
  WriteMpx(dir / "a.raw", "SENT", 12);
  WriteMpx(dir / "b.raw", "OTHER", 60);
  const int port = 47000 + static_cast<int>(getpid() % 1000);
  // SEND over serve's text port once it listens, then the air at its own pace (171 kHz, s16:
  // 85500 bytes a quarter second).
  std::ofstream(dir / "monitor.sh")
      << "cd " << dir.string() << " || exit 1\n"
      << "( sleep 2; exec 3<>/dev/tcp/127.0.0.1/" << port
      << " && printf 'SEND\\r\\n' >&3 && sleep 1 ) &\n"
      << "for f in a b; do n=$(( $(wc -c < $f.raw) / 85500 )); i=0\n"
      << "  [ $f = b ] && date +switch%s.%N >> times\n"
      << "  while [ $i -lt $n ]; do dd if=$f.raw bs=85500 skip=$i count=1 2>/dev/null\n"
      << "    i=$((i+1)); sleep 0.25; done; done\n";
  std::printf("| run | switch to alarm command start (s) |\n|---|---|\n");
  for (int run = 1; run <= runs; ++run) {
    fs::remove(dir / "times");
    std::ostringstream serve;
    serve << "cd " << dir.string() << " && timeout 90 " << cli.string()
          << " serve --dry-run --listen 127.0.0.1:" << port
          << " --ps SENT --full-scale-khz 75 --monitor-command 'bash monitor.sh'"
          << " --alarm-command 'case $RDSQ7_EVENT in alarm) date +alarm%s.%N >> times;"
          << " kill $PPID;; esac' > serve.log 2>&1";
    std::system(serve.str().c_str());
    const double switched = ReadTime(dir / "times", "switch");
    const double alarmed = ReadTime(dir / "times", "alarm");
    if (switched < 0 || alarmed < 0) {
      std::printf("| %d | no alarm (see %s/serve.log) |\n", run, dir.string().c_str());
      continue;
    }
    std::printf("| %d | %.1f |\n", run, alarmed - switched);
  }
  std::printf(
      "\nDefault delays: a change on air counts after it has held 5 s, its alarm trips "
      "after 30 s more (looked at once a second).\n");
  return 0;
}
