#include "serve/service_host.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/cli/run_cli.h"

namespace serve {
namespace {

// What the service manager runs must split back into exactly the arguments given, by the
// rules of the Windows C runtime.
TEST(WindowsCommandLine, QuotesWhatWouldNotSplitBackAsGiven) {
  struct Case {
    std::vector<std::string> args;
    std::string line;  // after the program
  };
  const std::vector<Case> cases = {
      {{"serve", "--listen", "127.0.0.1:4001"}, "serve --listen 127.0.0.1:4001"},
      {{"--ps", "RADIO 1"}, R"(--ps "RADIO 1")"},
      {{"--ps", ""}, R"(--ps "")"},
      {{"--ps", "tab\there"}, "--ps \"tab\there\""},
      {{R"(C:\rds\tolvex.dat)"}, R"(C:\rds\tolvex.dat)"},           // backslashes alone stay single
      {{R"(C:\Program Data\rds\)"}, R"("C:\Program Data\rds\\")"},  // before the closing quote
      {{R"(say "hi")"}, R"("say \"hi\"")"},
      {{R"(a\"b)"}, R"("a\\\"b")"},
      {{R"(a\\ b)"}, R"("a\\ b")"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WindowsCommandLine(R"(C:\Program Files\rdsq7\rdsq7-cli.exe)", c.args),
              R"("C:\Program Files\rdsq7\rdsq7-cli.exe" )" + c.line)
        << c.line;
  }
}

// The folders below are POSIX paths, joined as this platform joins them: the table holds on
// the build machine; under Wine the same joins give backslashes.
#ifndef _WIN32
TEST(ServiceArguments, RunServeAsTheServiceWithALogAndAbsoluteFiles) {
  struct Case {
    std::vector<std::string> options;
    std::vector<std::string> args;  // after "serve --service studio"
  };
  const std::string log = "/var/log/rdsq7/serve-studio.log";
  const std::vector<Case> cases = {
      {{"--install-service", "studio", "--dry-run", "--listen", "127.0.0.1:4001"},
       {"--log", log, "--dry-run", "--listen", "127.0.0.1:4001"}},
      {{"--dry-run", "--install-service=studio", "--ps", "A B"},
       {"--log", log, "--dry-run", "--ps", "A B"}},
      // A log of the user's own replaces the default one; files become absolute.
      {{"--log", "serve.log", "--install-service", "studio", "--settings", "rds/tolvex.dat"},
       {"--log", "/home/op/serve.log", "--settings", "/home/op/rds/tolvex.dat"}},
      {{"--log=/tmp/s.log", "--config=../studio.conf", "--vcd", "./x.vcd"},
       {"--log=/tmp/s.log", "--config=/home/studio.conf", "--vcd", "/home/op/x.vcd"}},
      {{"--bytes", "b.txt", "--fallback-settings", "/etc/station.dat", "--port", "com1"},
       {"--log", log, "--bytes", "/home/op/b.txt", "--fallback-settings", "/etc/station.dat",
        "--port", "com1"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> want = {"serve", "--service", "studio"};
    want.insert(want.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(ServiceArguments("studio", c.options, "/var/log/rdsq7", "/home/op"), want)
        << c.options[0];
  }
}
#else
// The documented install keeps its settings in %ProgramData%\rdsq7, which a fresh system
// lacks: the install makes it before it checks that --settings has a folder.
TEST(WindowsService, InstallMakesItsFolderBeforeCheckingTheOptions) {
  namespace fs = std::filesystem;
  const fs::path folder = DefaultServiceLogFolder();
  const fs::path kept = folder.string() + ".kept-by-test";
  std::error_code error;
  if (fs::exists(folder)) fs::rename(folder, kept, error);  // fails while a service logs there
  if (error) GTEST_SKIP() << "the folder is in use: " << error.message();
  const cli::testing::Result r =
      cli::testing::RunCli({"serve", "--install-service", "rdsq7-folder-test", "--dry-run",
                            "--listen", "127.0.0.1:0", "--settings", (folder / "s.dat").string()});
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_EQ(r.err.find("no such folder"), std::string::npos) << r.err;
  if (r.status == 0) RemoveService("rdsq7-folder-test");  // elsewhere than as administrator: 1
  fs::remove_all(folder);
  if (fs::exists(kept)) fs::rename(kept, folder);
}
#endif

}  // namespace
}  // namespace serve
